// Tokens: the token table, the token source interface and the tokenizer.
//
// A token source writes one token at a time into a caller buffer: a u32 kind
// followed by its payload (see ETokenKind). Fixed strings (punctuation,
// keywords, type names, operator symbols) come from a token table that maps
// each string to its code; the table is generated from the configured types
// and operators, so the words the language knows follow the configuration.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/memory.h"

class CFile;

enum ETokenKind : uint32_t {
  kTokInteger = 0x1001,     // u32 value
  kTokFloat = 0x1002,       // f64
  kTokString = 0x1003,      // u32 count (characters + 1), characters, NUL
  kTokIdentifier = 0x1004,  // characters, NUL
  kTokEnd = 0x1232,         // written by the compiler at the end of input
  kTokDot = 0x20001,
  kTokComma = 0x20002,
  kTokSemicolon = 0x20003,
  kTokLeftParen = 0x20004,
  kTokRightParen = 0x20005,
  kTokLeftBrace = 0x20008,
  kTokRightBrace = 0x20009,
  kTokIf = 0x2000A,
  kTokThen = 0x2000B,
  kTokElse = 0x2000C,
  kTokWhile = 0x2000D,
  kTokDo = 0x2000E,
  kTokReturn = 0x2000F,
  kTokFalse = 0x20012,
  kTokTrue = 0x20013,
  kTokBreak = 0x20014,
  kTokContinue = 0x20015,
  kTokTypeBase = 0x80000,        // | type id
  kTokOperatorBase = 0x40000,    // | index of the symbol's first operator
  kTokIndexCloseBase = 0x100000  // | index of the index operator
};

// Statuses of NextToken besides 0 and the file service's EOF.
enum ETokenError : uint32_t {
  kTokErrTooLong = 0x5020001,
  kTokErrOpenString = 0x5020002,
  kTokErrBadEscape = 0x5020003,
  kTokErrBadChar = 0x5020004,
  kTokErrNoToken = 0x5020005,
  kTokErrOpenComment = 0x5020006,
  kTokErrNoDelimiter = 0x5020007,
};

inline constexpr uint32_t kTokenBufferSize = 1024;
inline constexpr uint32_t kScriptTabWidth = 2;

struct STokenEntry {
  const char* text;  // null ends the table
  uint32_t code;
};

// An owned token table in the pointer pool; the texts point into the tables
// it was built from.
class CTokenTable {
 public:
  CTokenTable() = default;
  ~CTokenTable() { PtrFree(m_entries); }
  CTokenTable(const CTokenTable&) = delete;
  CTokenTable& operator=(const CTokenTable&) = delete;

  // Drops every entry and makes room for `count` entries and the closing
  // one; false when the pool has no room (the table is then empty).
  bool Allocate(size_t count);
  // Within the room Allocate made.
  void Add(const char* text, uint32_t code) { m_entries[m_count++] = {text, code}; }
  void Close() { m_entries[m_count] = {nullptr, 0}; }
  const STokenEntry* Entries() const { return m_entries; }
  size_t Count() const { return m_count; }
  // The code of `text`, or 0.
  uint32_t CodeOf(const char* text) const;

 private:
  STokenEntry* m_entries = nullptr;
  size_t m_count = 0;
};

// The fixed part of every script token table, in table order.
extern const STokenEntry kFixedTokens[];
extern const size_t kFixedTokenCount;

class CTokenSource {
 public:
  virtual ~CTokenSource() = default;
  // Builds the first-character index; false on allocation failure.
  virtual bool AttachTable(const STokenEntry* table) = 0;
  // 0 when a token was stored; err::kEof at the end; an ETokenError.
  virtual uint32_t NextToken(uint8_t* buffer, uint32_t size) = 0;
  virtual void SkipLine() = 0;
  // Line and start column of the current token.
  virtual void Position(uint32_t* line, uint32_t* column) const = 0;
  virtual const char* SourceName() const = 0;
  // -1 at the end of the text.
  virtual int ReadChar() = 0;
  // Reads up to (not including) `delimiter` on the current line; the
  // delimiter is consumed. kTokErrNoDelimiter at the line end.
  virtual uint32_t ReadRaw(char delimiter, std::string* text) = 0;
  virtual void SkipTo(char c) = 0;
};

// The plain tokenizer over a text in memory (the normal case) or over a
// readable stream refilled 512 bytes at a time.
class CTokenizer : public CTokenSource {
 public:
  static constexpr size_t kRefillSize = 512;

  // `text` ends at its NUL; it must outlive the tokenizer.
  explicit CTokenizer(const char* text, uint32_t tab_width = kScriptTabWidth);
  CTokenizer(const char* text, size_t length, uint32_t tab_width = kScriptTabWidth);
  // Reads `file` (not owned) from its current position; `name` is the
  // source name of diagnostics.
  CTokenizer(CFile* file, std::string name, uint32_t tab_width = kScriptTabWidth);
  ~CTokenizer() override;

  bool AttachTable(const STokenEntry* table) override;
  uint32_t NextToken(uint8_t* buffer, uint32_t size) override;
  void SkipLine() override;
  void Position(uint32_t* line, uint32_t* column) const override;
  const char* SourceName() const override { return m_name.c_str(); }
  int ReadChar() override;
  uint32_t ReadRaw(char delimiter, std::string* text) override;
  void SkipTo(char c) override;

 private:
  // The character `ahead` places after the read position, or -1.
  int Peek(size_t ahead = 0) {
    if (m_end - m_pos > static_cast<ptrdiff_t>(ahead)) return static_cast<uint8_t>(m_pos[ahead]);
    return PeekSlow(ahead);
  }
  int PeekSlow(size_t ahead);
  void Advance(size_t count = 1) {
    m_pos += count;
    m_column += static_cast<uint32_t>(count);
  }
  bool Refill();
  // Consumes a line end at the read position (CR LF and LF CR count once).
  void NewLine();
  bool IsLineEnd() { return Peek() == '\r' || Peek() == '\n'; }
  void SkipSpace();
  uint32_t SkipComment(bool* skipped);
  bool MatchTable(uint32_t* code);
  uint32_t ReadIdentifier(uint8_t* buffer, uint32_t size);
  uint32_t ReadNumber(uint8_t* buffer);
  uint32_t ReadString(uint8_t* buffer, uint32_t size);
  uint32_t ReadCharLiteral(uint8_t* buffer);
  // One character or escape of a literal; false on a bad escape.
  bool ReadLiteralChar(uint32_t* value);

  const char* m_pos;
  const char* m_end;
  uint32_t m_line = 1;
  uint32_t m_column = 1;
  uint32_t m_token_column = 1;
  uint32_t m_token_line = 1;
  uint32_t m_tab_width;
  std::string m_name;
  // The chains of table entries by first character, longest candidate first.
  std::vector<const STokenEntry*> m_chains[256];
  CFile* m_file = nullptr;
  bool m_file_end = true;
  std::unique_ptr<char[]> m_buffer;
};
