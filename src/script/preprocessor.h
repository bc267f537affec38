// The preprocessing token source: the plain tokenizer plus directive lines
// beginning with "#".
//
// Directives: define and undef; if, ifdef, ifndef, elif, else, endif; include
// ("file" or <file>, searched in the include directories); line; error;
// pragma (ignored). Macros:
//   #define NAME tokens...            object-like
//   #define NAME(a, b) tokens...      function-like ("(" right after NAME)
// A backslash at the end of a directive line continues it. A macro is not
// expanded again inside its own expansion. Conditions compare integers with
// ==, !=, >=, <=, <, > and group with parentheses; `defined NAME` or
// `defined(NAME)` is 1 or 0, a macro whose body is one integer is that
// integer, any other identifier is 0, and a lone value is true when nonzero.
// __LINE__ and __FILE__ expand to the current line and source name.
//
// The preprocessor reads with its own token table, which must hold the
// directive symbols; tokens it passes on get the codes of the table the
// compiler attaches, and words that table does not know become identifiers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "script/tokenizer.h"

class CFile;

enum EPreprocessorError : uint32_t {
  kPpErrSyntax = 0x8A00001,         // a directive that cannot be read
  kPpErrMissingSymbol = 0x8A00002,  // the token table lacks a directive symbol
  kPpErrDirective = 0x8A00003,      // #error
  kPpErrOpenCondition = 0x8A00004,  // #if without #endif at the end
};

class CPreprocessor : public CTokenSource {
 public:
  // `include_dirs` is a semicolon-separated list. The main source is opened
  // through the file service by Start.
  CPreprocessor(std::string main_name, const std::string& include_dirs,
                const STokenEntry* table);
  ~CPreprocessor() override;

  // Checks the table and opens the main source: 0, kPpErrMissingSymbol, or
  // the file service's error.
  uint32_t Start();
  // Starts on a text in memory instead of a file (named `main_name`).
  uint32_t StartText(const char* text);

  bool AttachTable(const STokenEntry* table) override;
  uint32_t NextToken(uint8_t* buffer, uint32_t size) override;
  void SkipLine() override;
  void Position(uint32_t* line, uint32_t* column) const override;
  const char* SourceName() const override;
  int ReadChar() override;
  uint32_t ReadRaw(char delimiter, std::string* text) override;
  void SkipTo(char c) override;

 private:
  struct SToken {
    std::vector<uint8_t> bytes;  // kind and payload, codes of the own table
    uint32_t line = 0;
    uint32_t column = 0;
    uint32_t Kind() const;
    std::string Text() const;
  };
  struct SMacro {
    bool function_like = false;
    std::vector<std::string> params;
    std::vector<SToken> body;
  };
  struct SSource {
    std::unique_ptr<CFile> file;
    std::unique_ptr<std::string> text;
    std::unique_ptr<CTokenizer> tokenizer;
    std::string name;
    int32_t line_delta = 0;
  };
  struct SCondition {
    bool active;      // this section's tokens are passed on
    bool taken;       // a branch of this chain was taken
    bool outer;       // the enclosing section is active
  };
  struct SExpansion {
    std::vector<SToken> tokens;
    size_t next = 0;
    std::string macro;
  };

  uint32_t CheckTable();
  // The next token of the current file (after a pending one); 0 or a status.
  uint32_t ReadToken(SToken* token);
  // The next token of the directive on `line`; false at the line's end.
  bool DirectiveToken(uint32_t line, SToken* token, uint32_t* status);
  uint32_t Directive(const SToken& hash);
  uint32_t RestOfLine(uint32_t line, std::vector<SToken>* tokens);
  uint32_t Define(uint32_t line);
  uint32_t Include();
  uint32_t Condition(uint32_t line, bool* value);
  bool Evaluate(const std::vector<SToken>& tokens, size_t* at, int64_t* value) const;
  bool Operand(const std::vector<SToken>& tokens, size_t* at, int64_t* value) const;
  // Next token after macro expansion, before translation.
  uint32_t Expanded(SToken* token);
  uint32_t Expand(const SToken& name, const SMacro& macro);
  bool Active() const { return m_conditions.empty() || m_conditions.back().active; }
  bool Is(const SToken& token, uint32_t code) const { return token.Kind() == code; }
  uint32_t Code(const char* text) const;
  bool Expanding(const std::string& name) const;
  SToken MakeInteger(uint32_t value, const SToken& at) const;
  SToken MakeString(const std::string& text, const SToken& at) const;

  std::string m_main_name;
  std::vector<std::string> m_include_dirs;
  const STokenEntry* m_table;
  const STokenEntry* m_output_table = nullptr;
  std::vector<SSource> m_sources;
  std::vector<SToken> m_pending;
  std::vector<SExpansion> m_expansions;
  std::vector<SCondition> m_conditions;
  std::map<std::string, SMacro> m_macros;
  uint32_t m_line = 0;
  uint32_t m_column = 0;
  uint32_t m_last_line = 0;
  uint8_t m_buffer[kTokenBufferSize] = {};
};
