#include "script/tokenizer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "fs/file.h"

const STokenEntry kFixedTokens[] = {
    {".", kTokDot},           {",", kTokComma},       {";", kTokSemicolon},
    {"(", kTokLeftParen},     {")", kTokRightParen},  {"{", kTokLeftBrace},
    {"}", kTokRightBrace},    {"if", kTokIf},         {"then", kTokThen},
    {"else", kTokElse},       {"while", kTokWhile},   {"do", kTokDo},
    {"return", kTokReturn},   {"false", kTokFalse},   {"true", kTokTrue},
    {"break", kTokBreak},     {"continue", kTokContinue},
};
const size_t kFixedTokenCount = sizeof(kFixedTokens) / sizeof(kFixedTokens[0]);

bool CTokenTable::Allocate(size_t count) {
  PtrFree(m_entries);
  m_count = 0;
  m_entries = static_cast<STokenEntry*>(PtrAlloc((count + 1) * sizeof(STokenEntry)));
  if (!m_entries) return false;
  Close();
  return true;
}

uint32_t CTokenTable::CodeOf(const char* text) const {
  for (size_t i = 0; i < m_count; ++i)
    if (std::strcmp(m_entries[i].text, text) == 0) return m_entries[i].code;
  return 0;
}

namespace {

bool IsLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsWordChar(int c) { return IsLetter(c) || IsDigit(c); }

int HexValue(int c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void PutKind(uint8_t* buffer, uint32_t kind) { std::memcpy(buffer, &kind, 4); }

// Escapes after a backslash that stand for one fixed character.
struct SEscape {
  char letter;
  uint8_t value;
};
constexpr SEscape kEscapes[] = {{'"', '"'}, {'\'', '\''}, {'?', '?'}, {'\\', '\\'},
                                {'a', 7},   {'b', 8},     {'f', 12},  {'n', 10},
                                {'r', 13},  {'t', 9},     {'v', 11}};

constexpr uint32_t kMaxEscapeValue = 255;
constexpr int kMaxHexEscapeDigits = 4;

}  // namespace

CTokenizer::CTokenizer(const char* text, uint32_t tab_width)
    : CTokenizer(text, std::strlen(text), tab_width) {}

CTokenizer::CTokenizer(const char* text, size_t length, uint32_t tab_width)
    : m_pos(text), m_end(text + length), m_tab_width(tab_width) {}

CTokenizer::CTokenizer(CFile* file, std::string name, uint32_t tab_width)
    : m_tab_width(tab_width),
      m_name(std::move(name)),
      m_file(file),
      m_file_end(false),
      m_buffer(new char[kRefillSize]) {
  m_pos = m_end = m_buffer.get();
}

CTokenizer::~CTokenizer() = default;

bool CTokenizer::AttachTable(const STokenEntry* table) {
  for (auto& chain : m_chains) chain.clear();
  for (const STokenEntry* entry = table; entry->text; ++entry)
    if (entry->text[0]) m_chains[static_cast<uint8_t>(entry->text[0])].push_back(entry);
  for (auto& chain : m_chains)
    std::stable_sort(chain.begin(), chain.end(), [](const STokenEntry* a, const STokenEntry* b) {
      return std::strcmp(a->text, b->text) > 0;
    });
  return true;
}

bool CTokenizer::Refill() {
  if (m_file_end) return false;
  const size_t tail = static_cast<size_t>(m_end - m_pos);
  char* start = m_buffer.get();
  std::memmove(start, m_pos, tail);
  uint32_t count = 0;
  const ErrCode error =
      m_file->Read(start + tail, static_cast<uint32_t>(kRefillSize - tail), &count);
  if (error || count == 0) m_file_end = true;
  m_pos = start;
  m_end = start + tail + count;
  return count > 0;
}

int CTokenizer::PeekSlow(size_t ahead) {
  while (m_end - m_pos <= static_cast<ptrdiff_t>(ahead))
    if (!Refill()) return -1;
  return static_cast<uint8_t>(m_pos[ahead]);
}

void CTokenizer::NewLine() {
  const int first = Peek();
  ++m_pos;
  const int second = Peek();
  if ((second == '\r' || second == '\n') && second != first) ++m_pos;
  ++m_line;
  m_column = 1;
}

void CTokenizer::SkipSpace() {
  for (;;) {
    const int c = Peek();
    if (c == ' ') {
      Advance();
    } else if (c == '\t') {
      ++m_pos;
      m_column += m_tab_width;
    } else if (c == '\r' || c == '\n') {
      NewLine();
    } else {
      return;
    }
  }
}

// Skips one comment at the read position, if there is one.
uint32_t CTokenizer::SkipComment(bool* skipped) {
  *skipped = false;
  if (Peek() != '/') return 0;
  if (Peek(1) == '*') {
    *skipped = true;
    Advance(2);
    for (;;) {
      const int c = Peek();
      if (c < 0) return kTokErrOpenComment;
      if (c == '*' && Peek(1) == '/') {
        Advance(2);
        return 0;
      }
      if (c == '\r' || c == '\n') NewLine(); else Advance();
    }
  }
  if (Peek(1) == '/') {
    *skipped = true;
    Advance(2);
    int last = 0;
    for (;;) {
      const int c = Peek();
      if (c < 0) return 0;
      if (c == '\r' || c == '\n') {
        if (last != '\\') return 0;
        NewLine();
        last = 0;
        continue;
      }
      last = c;
      Advance();
    }
  }
  return 0;
}

bool CTokenizer::MatchTable(uint32_t* code) {
  for (const STokenEntry* entry : m_chains[static_cast<uint8_t>(Peek())]) {
    size_t length = 1;
    while (entry->text[length] && Peek(length) == static_cast<uint8_t>(entry->text[length]))
      ++length;
    if (entry->text[length]) continue;
    if (IsLetter(static_cast<uint8_t>(entry->text[0])) && IsWordChar(Peek(length))) return false;
    Advance(length);
    *code = entry->code;
    return true;
  }
  return false;
}

uint32_t CTokenizer::NextToken(uint8_t* buffer, uint32_t size) {
  for (;;) {
    SkipSpace();
    bool skipped = false;
    if (uint32_t error = SkipComment(&skipped)) return error;
    if (!skipped) break;
  }
  m_token_line = m_line;
  m_token_column = m_column;
  const int c = Peek();
  if (c < 0) return err::kEof;
  if (IsDigit(c) || (c == '.' && IsDigit(Peek(1)))) return ReadNumber(buffer);
  uint32_t code = 0;
  if (MatchTable(&code)) {
    PutKind(buffer, code);
    return 0;
  }
  if (IsLetter(c)) return ReadIdentifier(buffer, size);
  if (c == '"') return ReadString(buffer, size);
  if (c == '\'') return ReadCharLiteral(buffer);
  Advance();
  PutKind(buffer, 0);
  buffer[4] = static_cast<uint8_t>(c);
  buffer[5] = 0;
  return kTokErrNoToken;
}

uint32_t CTokenizer::ReadIdentifier(uint8_t* buffer, uint32_t size) {
  const uint32_t limit = size - 5;
  uint32_t length = 0;
  bool too_long = false;
  for (int c = Peek(); IsWordChar(c); c = Peek()) {
    if (length < limit) buffer[4 + length++] = static_cast<uint8_t>(c);
    else too_long = true;
    Advance();
  }
  if (too_long) return kTokErrTooLong;
  PutKind(buffer, kTokIdentifier);
  buffer[4 + length] = 0;
  return 0;
}

uint32_t CTokenizer::ReadNumber(uint8_t* buffer) {
  uint32_t value = 0;
  if (Peek() == '0' && (Peek(1) == 'x' || Peek(1) == 'X') && HexValue(Peek(2)) >= 0) {
    Advance(2);
    for (int digit = HexValue(Peek()); digit >= 0; digit = HexValue(Peek())) {
      value = value * 16 + static_cast<uint32_t>(digit);
      Advance();
    }
    PutKind(buffer, kTokInteger);
    std::memcpy(buffer + 4, &value, 4);
    return 0;
  }
  while (IsDigit(Peek())) {
    value = value * 10 + static_cast<uint32_t>(Peek() - '0');
    Advance();
  }
  if (Peek() != '.') {
    PutKind(buffer, kTokInteger);
    std::memcpy(buffer + 4, &value, 4);
    return 0;
  }
  Advance();
  double number = value;
  for (int k = 1; IsDigit(Peek()); ++k) {
    number += (Peek() - '0') * std::pow(10.0, -k);
    Advance();
  }
  PutKind(buffer, kTokFloat);
  std::memcpy(buffer + 4, &number, 8);
  return 0;
}

bool CTokenizer::ReadLiteralChar(uint32_t* value) {
  const int c = Peek();
  Advance();
  if (c != '\\') {
    *value = static_cast<uint32_t>(c);
    return true;
  }
  const int letter = Peek();
  for (const SEscape& escape : kEscapes) {
    if (letter != escape.letter) continue;
    Advance();
    *value = escape.value;
    return true;
  }
  if (letter == '0' && Peek(1) == 'x' && HexValue(Peek(2)) >= 0) {
    Advance(2);
    uint32_t number = 0;
    for (int i = 0; i < kMaxHexEscapeDigits && HexValue(Peek()) >= 0; ++i) {
      number = number * 16 + static_cast<uint32_t>(HexValue(Peek()));
      Advance();
    }
    *value = number;
    return number <= kMaxEscapeValue;
  }
  if (!IsDigit(letter)) return false;
  uint32_t number = 0;
  while (IsDigit(Peek())) {
    number = std::min<uint32_t>(number * 10 + static_cast<uint32_t>(Peek() - '0'),
                                kMaxEscapeValue + 1);
    Advance();
  }
  *value = number;
  return number <= kMaxEscapeValue;
}

uint32_t CTokenizer::ReadString(uint8_t* buffer, uint32_t size) {
  Advance();
  const uint32_t limit = size - 9;
  uint32_t length = 0;
  for (;;) {
    const int c = Peek();
    if (c < 0 || c == '\r' || c == '\n') return kTokErrOpenString;
    if (c == '"') break;
    uint32_t value = 0;
    if (!ReadLiteralChar(&value)) return kTokErrBadEscape;
    if (length == limit) return kTokErrTooLong;
    buffer[8 + length++] = static_cast<uint8_t>(value);
  }
  Advance();
  PutKind(buffer, kTokString);
  const uint32_t count = length + 1;
  std::memcpy(buffer + 4, &count, 4);
  buffer[8 + length] = 0;
  return 0;
}

uint32_t CTokenizer::ReadCharLiteral(uint8_t* buffer) {
  Advance();
  const int c = Peek();
  if (c < 0 || c == '\'' || c == '\r' || c == '\n') return kTokErrBadChar;
  uint32_t value = 0;
  if (!ReadLiteralChar(&value)) return kTokErrBadEscape;
  if (Peek() != '\'') return kTokErrBadChar;
  Advance();
  PutKind(buffer, kTokInteger);
  std::memcpy(buffer + 4, &value, 4);
  return 0;
}

void CTokenizer::SkipLine() {
  while (Peek() >= 0 && !IsLineEnd()) Advance();
}

void CTokenizer::Position(uint32_t* line, uint32_t* column) const {
  *line = m_token_line;
  *column = m_token_column;
}

int CTokenizer::ReadChar() {
  const int c = Peek();
  if (c < 0) return -1;
  if (c == '\r' || c == '\n') NewLine(); else Advance();
  return c;
}

uint32_t CTokenizer::ReadRaw(char delimiter, std::string* text) {
  text->clear();
  for (;;) {
    const int c = Peek();
    if (c < 0 || c == '\r' || c == '\n') return kTokErrNoDelimiter;
    Advance();
    if (c == static_cast<uint8_t>(delimiter)) return 0;
    text->push_back(static_cast<char>(c));
  }
}

void CTokenizer::SkipTo(char c) {
  for (int next = Peek(); next >= 0 && next != static_cast<uint8_t>(c); next = Peek()) ReadChar();
  if (Peek() >= 0) ReadChar();
}
