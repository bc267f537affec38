#include "script/preprocessor.h"

#include <algorithm>
#include <cstring>

#include "fs/file_service.h"

namespace {

constexpr const char* kDirectiveSymbols[] = {
    "#",     "<",    ">",     "\\",     "define", "if",   "ifdef", "ifndef",
    "elif",  "else", "endif", "include", "line",  "undef", "error", "pragma",
    "==",    "!=",   ">=",    "<=",     "(",      ")",    ","};

// Expansions deeper than this are cut off (macros naming each other).
constexpr size_t kMaxExpansionDepth = 64;

std::vector<uint8_t> KindBytes(uint32_t kind) {
  std::vector<uint8_t> bytes(4);
  std::memcpy(bytes.data(), &kind, 4);
  return bytes;
}

}  // namespace

uint32_t CPreprocessor::SToken::Kind() const {
  uint32_t kind = 0;
  std::memcpy(&kind, bytes.data(), 4);
  return kind;
}

std::string CPreprocessor::SToken::Text() const {
  return Kind() == kTokIdentifier ? std::string(reinterpret_cast<const char*>(bytes.data() + 4))
                                  : std::string();
}

CPreprocessor::CPreprocessor(std::string main_name, const std::string& include_dirs,
                             const STokenEntry* table)
    : m_main_name(std::move(main_name)), m_table(table) {
  size_t start = 0;
  while (start <= include_dirs.size()) {
    const size_t end = std::min(include_dirs.find(';', start), include_dirs.size());
    if (end > start) m_include_dirs.push_back(include_dirs.substr(start, end - start));
    start = end + 1;
  }
}

CPreprocessor::~CPreprocessor() = default;

uint32_t CPreprocessor::Code(const char* text) const {
  for (const STokenEntry* entry = m_table; entry->text; ++entry)
    if (std::strcmp(entry->text, text) == 0) return entry->code;
  return 0;
}

uint32_t CPreprocessor::CheckTable() {
  for (const char* symbol : kDirectiveSymbols)
    if (!Code(symbol)) return kPpErrMissingSymbol;
  return 0;
}

uint32_t CPreprocessor::Start() {
  if (uint32_t status = CheckTable()) return status;
  ErrCode error = err::kOk;
  SSource source;
  source.file = FsOpen(m_main_name.c_str(), kOpenRead | kOpenShareRead, &error);
  if (!source.file) return error;
  source.tokenizer = std::make_unique<CTokenizer>(source.file.get(), m_main_name);
  source.tokenizer->AttachTable(m_table);
  source.name = m_main_name;
  m_sources.push_back(std::move(source));
  return 0;
}

uint32_t CPreprocessor::StartText(const char* text) {
  if (uint32_t status = CheckTable()) return status;
  SSource source;
  source.text = std::make_unique<std::string>(text);
  source.tokenizer = std::make_unique<CTokenizer>(source.text->c_str());
  source.tokenizer->AttachTable(m_table);
  source.name = m_main_name;
  m_sources.push_back(std::move(source));
  return 0;
}

bool CPreprocessor::AttachTable(const STokenEntry* table) {
  m_output_table = table;
  return true;
}

uint32_t CPreprocessor::ReadToken(SToken* token) {
  if (!m_pending.empty()) {
    *token = std::move(m_pending.back());
    m_pending.pop_back();
    return 0;
  }
  while (!m_sources.empty()) {
    SSource& source = m_sources.back();
    const uint32_t status = source.tokenizer->NextToken(m_buffer, sizeof m_buffer);
    if (status == err::kEof) {
      if (m_sources.size() == 1) return status;
      m_sources.pop_back();
      m_last_line = 0;
      continue;
    }
    source.tokenizer->Position(&token->line, &token->column);
    token->line = static_cast<uint32_t>(static_cast<int32_t>(token->line) + source.line_delta);
    m_line = token->line;
    m_column = token->column;
    if (status) return status;
    uint32_t code = 0;
    std::memcpy(&code, m_buffer, 4);
    size_t length = 4;
    if (code == kTokInteger) length = 8;
    else if (code == kTokFloat) length = 12;
    else if (code == kTokString) length = 8 + std::strlen(reinterpret_cast<char*>(m_buffer + 8)) + 1;
    else if (code == kTokIdentifier) length = 4 + std::strlen(reinterpret_cast<char*>(m_buffer + 4)) + 1;
    token->bytes.assign(m_buffer, m_buffer + length);
    return 0;
  }
  return err::kEof;
}

bool CPreprocessor::DirectiveToken(uint32_t line, SToken* token, uint32_t* status) {
  for (;;) {
    *status = ReadToken(token);
    if (*status == err::kEof) {
      *status = 0;
      return false;
    }
    if (*status) return false;
    if (token->line != line) {
      m_pending.push_back(std::move(*token));
      return false;
    }
    if (!Is(*token, Code("\\"))) return true;
    ++line;  // the directive continues on the next line
  }
}

uint32_t CPreprocessor::RestOfLine(uint32_t line, std::vector<SToken>* tokens) {
  SToken token;
  uint32_t status = 0;
  while (DirectiveToken(line, &token, &status)) {
    line = token.line;
    tokens->push_back(std::move(token));
  }
  return status;
}

uint32_t CPreprocessor::Directive(const SToken& hash) {
  SToken word;
  uint32_t status = 0;
  if (!DirectiveToken(hash.line, &word, &status)) return status ? status : kPpErrSyntax;
  const uint32_t line = hash.line;
  const uint32_t kind = word.Kind();
  if (kind == Code("ifdef") || kind == Code("ifndef")) {
    SToken name;
    if (!DirectiveToken(line, &name, &status) || name.Kind() != kTokIdentifier)
      return status ? status : kPpErrSyntax;
    const bool defined = m_macros.count(name.Text()) != 0;
    const bool value = kind == Code("ifdef") ? defined : !defined;
    m_conditions.push_back({Active() && value, value, Active()});
    std::vector<SToken> rest;
    return RestOfLine(line, &rest);
  }
  if (kind == Code("if")) {
    bool value = false;
    if ((status = Condition(line, &value))) return status;
    m_conditions.push_back({Active() && value, value, Active()});
    return 0;
  }
  if (kind == Code("elif")) {
    if (m_conditions.empty()) return kPpErrSyntax;
    bool value = false;
    if ((status = Condition(line, &value))) return status;
    SCondition& condition = m_conditions.back();
    condition.active = condition.outer && !condition.taken && value;
    condition.taken = condition.taken || value;
    return 0;
  }
  std::vector<SToken> rest;
  if (kind == Code("else") || kind == Code("endif")) {
    if (m_conditions.empty()) return kPpErrSyntax;
    if (kind == Code("endif")) {
      m_conditions.pop_back();
    } else {
      SCondition& condition = m_conditions.back();
      condition.active = condition.outer && !condition.taken;
      condition.taken = true;
    }
    return RestOfLine(line, &rest);
  }
  if (!Active()) return RestOfLine(line, &rest);
  if (kind == Code("define")) return Define(line);
  if (kind == Code("undef")) {
    SToken name;
    if (!DirectiveToken(line, &name, &status) || name.Kind() != kTokIdentifier)
      return status ? status : kPpErrSyntax;
    m_macros.erase(name.Text());
    return RestOfLine(line, &rest);
  }
  if (kind == Code("include")) return Include();
  if (kind == Code("line")) {
    SToken number;
    if (!DirectiveToken(line, &number, &status) || number.Kind() != kTokInteger)
      return status ? status : kPpErrSyntax;
    uint32_t value = 0;
    std::memcpy(&value, number.bytes.data() + 4, 4);
    // The next line gets the given number.
    m_sources.back().line_delta += static_cast<int32_t>(value) - static_cast<int32_t>(line + 1);
    return RestOfLine(line, &rest);
  }
  if (kind == Code("error")) {
    status = RestOfLine(line, &rest);
    return status ? status : kPpErrDirective;
  }
  if (kind == Code("pragma")) return RestOfLine(line, &rest);
  return kPpErrSyntax;
}

uint32_t CPreprocessor::Define(uint32_t line) {
  SToken name;
  uint32_t status = 0;
  if (!DirectiveToken(line, &name, &status) || name.Kind() != kTokIdentifier)
    return status ? status : kPpErrSyntax;
  SMacro macro;
  std::vector<SToken> rest;
  if ((status = RestOfLine(line, &rest))) return status;
  size_t body = 0;
  const std::string text = name.Text();
  if (!rest.empty() && Is(rest[0], Code("(")) && rest[0].line == name.line &&
      rest[0].column == name.column + text.size()) {
    macro.function_like = true;
    body = 1;
    while (body < rest.size() && !Is(rest[body], Code(")"))) {
      if (rest[body].Kind() != kTokIdentifier) return kPpErrSyntax;
      macro.params.push_back(rest[body].Text());
      ++body;
      if (body < rest.size() && Is(rest[body], Code(","))) ++body;
    }
    if (body == rest.size()) return kPpErrSyntax;
    ++body;
  }
  macro.body.assign(rest.begin() + static_cast<ptrdiff_t>(body), rest.end());
  m_macros[text] = std::move(macro);
  return 0;
}

uint32_t CPreprocessor::Include() {
  CTokenizer& tokenizer = *m_sources.back().tokenizer;
  int c = tokenizer.ReadChar();
  while (c == ' ' || c == '\t') c = tokenizer.ReadChar();
  if (c != '"' && c != '<') return kPpErrSyntax;
  std::string name;
  if (uint32_t status = tokenizer.ReadRaw(c == '"' ? '"' : '>', &name)) return status;
  // The rest of the line goes unread: a token read past it would belong to
  // this file but come out after the included one.
  tokenizer.SkipLine();
  for (const std::string& dir : m_include_dirs) {
    const std::string path = dir + (dir.back() == '/' ? "" : "/") + name;
    if (!FsExists(path.c_str())) continue;
    SSource source;
    ErrCode error = err::kOk;
    source.file = FsOpen(path.c_str(), kOpenRead | kOpenShareRead, &error);
    if (!source.file) return error;
    source.tokenizer = std::make_unique<CTokenizer>(source.file.get(), path);
    source.tokenizer->AttachTable(m_table);
    source.name = path;
    m_sources.push_back(std::move(source));
    m_last_line = 0;
    return 0;
  }
  return err::kFileNotFound;
}

uint32_t CPreprocessor::Condition(uint32_t line, bool* value) {
  std::vector<SToken> tokens;
  if (uint32_t status = RestOfLine(line, &tokens)) return status;
  size_t at = 0;
  int64_t result = 0;
  if (!Evaluate(tokens, &at, &result) || at != tokens.size()) return kPpErrSyntax;
  *value = result != 0;
  return 0;
}

// comparison := operand [op operand]; operands nest in parentheses.
bool CPreprocessor::Evaluate(const std::vector<SToken>& tokens, size_t* at,
                             int64_t* value) const {
  if (!Operand(tokens, at, value)) return false;
  if (*at == tokens.size()) return true;
  const uint32_t op = tokens[*at].Kind();
  const char* const kOps[] = {"==", "!=", ">=", "<=", "<", ">"};
  int which = -1;
  for (int i = 0; i < 6; ++i)
    if (op == Code(kOps[i])) which = i;
  if (which < 0) return true;
  ++*at;
  int64_t right = 0;
  if (!Operand(tokens, at, &right)) return false;
  const int64_t left = *value;
  const bool results[] = {left == right, left != right, left >= right,
                          left <= right, left < right,  left > right};
  *value = results[which];
  return true;
}

bool CPreprocessor::Operand(const std::vector<SToken>& tokens, size_t* at,
                            int64_t* value) const {
  if (*at == tokens.size()) return false;
  const SToken& token = tokens[(*at)++];
  if (Is(token, Code("("))) {
    if (!Evaluate(tokens, at, value) || *at == tokens.size() || !Is(tokens[*at], Code(")")))
      return false;
    ++*at;
    return true;
  }
  if (token.Kind() == kTokInteger) {
    uint32_t number = 0;
    std::memcpy(&number, token.bytes.data() + 4, 4);
    *value = number;
    return true;
  }
  if (token.Kind() != kTokIdentifier) return false;
  if (token.Text() == "defined") {
    const bool paren = *at < tokens.size() && Is(tokens[*at], Code("("));
    if (paren) ++*at;
    if (*at == tokens.size() || tokens[*at].Kind() != kTokIdentifier) return false;
    *value = m_macros.count(tokens[(*at)++].Text()) != 0;
    if (paren && (*at == tokens.size() || !Is(tokens[(*at)++], Code(")")))) return false;
    return true;
  }
  *value = 0;
  const auto macro = m_macros.find(token.Text());
  if (macro != m_macros.end() && macro->second.body.size() == 1 &&
      macro->second.body[0].Kind() == kTokInteger) {
    uint32_t number = 0;
    std::memcpy(&number, macro->second.body[0].bytes.data() + 4, 4);
    *value = number;
  }
  return true;
}

bool CPreprocessor::Expanding(const std::string& name) const {
  for (const SExpansion& expansion : m_expansions)
    if (expansion.macro == name) return true;
  return false;
}

CPreprocessor::SToken CPreprocessor::MakeInteger(uint32_t value, const SToken& at) const {
  SToken token{KindBytes(kTokInteger), at.line, at.column};
  token.bytes.resize(8);
  std::memcpy(token.bytes.data() + 4, &value, 4);
  return token;
}

CPreprocessor::SToken CPreprocessor::MakeString(const std::string& text, const SToken& at) const {
  const std::string cut = text.substr(0, kTokenBufferSize - 9);
  SToken token{KindBytes(kTokString), at.line, at.column};
  const uint32_t count = static_cast<uint32_t>(cut.size() + 1);
  token.bytes.resize(8 + count);
  std::memcpy(token.bytes.data() + 4, &count, 4);
  std::memcpy(token.bytes.data() + 8, cut.c_str(), count);
  return token;
}

uint32_t CPreprocessor::Expand(const SToken& name, const SMacro& macro) {
  std::vector<std::vector<SToken>> args;
  if (macro.function_like) {
    SToken open;
    uint32_t status = Expanded(&open);
    if (status || !Is(open, Code("("))) return status ? status : kPpErrSyntax;
    args.emplace_back();
    int depth = 0;
    for (;;) {
      SToken token;
      if ((status = Expanded(&token))) return status == err::kEof ? kPpErrSyntax : status;
      if (Is(token, Code(")")) && depth == 0) break;
      if (Is(token, Code("("))) ++depth;
      if (Is(token, Code(")"))) --depth;
      if (Is(token, Code(",")) && depth == 0) {
        args.emplace_back();
        continue;
      }
      args.back().push_back(std::move(token));
    }
    if (args.size() == 1 && args[0].empty() && macro.params.empty()) args.clear();
    if (args.size() != macro.params.size()) return kPpErrSyntax;
  }
  SExpansion expansion;
  expansion.macro = name.Text();
  for (const SToken& token : macro.body) {
    size_t param = macro.params.size();
    if (token.Kind() == kTokIdentifier)
      for (size_t i = 0; i < macro.params.size(); ++i)
        if (macro.params[i] == token.Text()) param = i;
    if (param < macro.params.size()) {
      for (SToken arg : args[param]) expansion.tokens.push_back(std::move(arg));
    } else {
      expansion.tokens.push_back(token);
    }
  }
  for (SToken& token : expansion.tokens) {
    token.line = name.line;
    token.column = name.column;
  }
  if (m_expansions.size() == kMaxExpansionDepth) return kPpErrSyntax;
  m_expansions.push_back(std::move(expansion));
  return 0;
}

uint32_t CPreprocessor::Expanded(SToken* token) {
  for (;;) {
    bool from_macro = false;
    while (!m_expansions.empty()) {
      SExpansion& expansion = m_expansions.back();
      if (expansion.next < expansion.tokens.size()) {
        *token = expansion.tokens[expansion.next++];
        from_macro = true;
        break;
      }
      m_expansions.pop_back();
    }
    if (!from_macro) {
      if (uint32_t status = ReadToken(token)) return status;
      const bool line_start = token->line != m_last_line;
      m_last_line = token->line;
      if (line_start && Is(*token, Code("#"))) {
        if (uint32_t status = Directive(*token)) return status;
        continue;
      }
      if (!Active()) continue;
    }
    m_line = token->line;
    m_column = token->column;
    if (token->Kind() != kTokIdentifier) return 0;
    const std::string name = token->Text();
    if (name == "__LINE__") {
      *token = MakeInteger(token->line, *token);
      return 0;
    }
    if (name == "__FILE__") {
      *token = MakeString(SourceName(), *token);
      return 0;
    }
    const auto macro = m_macros.find(name);
    if (macro == m_macros.end() || Expanding(name)) return 0;
    const SMacro copy = macro->second;
    if (uint32_t status = Expand(*token, copy)) return status;
  }
}

uint32_t CPreprocessor::NextToken(uint8_t* buffer, uint32_t size) {
  if (m_sources.empty()) return err::kEof;
  SToken token;
  uint32_t status = Expanded(&token);
  if (status == err::kEof && !m_conditions.empty()) return kPpErrOpenCondition;
  if (status) return status;
  // Table words keep their text for the compiler's table.
  uint32_t kind = token.Kind();
  if (kind != kTokInteger && kind != kTokFloat && kind != kTokString && kind != kTokIdentifier) {
    const char* text = nullptr;
    for (const STokenEntry* entry = m_table; entry->text; ++entry)
      if (entry->code == kind) text = entry->text;
    uint32_t output = 0;
    for (const STokenEntry* entry = m_output_table; entry && entry->text; ++entry)
      if (text && std::strcmp(entry->text, text) == 0) output = entry->code;
    if (output) {
      token.bytes = KindBytes(output);
    } else {
      const size_t length = text ? std::strlen(text) : 0;
      token.bytes.assign(4 + length + 1, 0);
      const uint32_t identifier = kTokIdentifier;
      std::memcpy(token.bytes.data(), &identifier, 4);
      if (text) std::memcpy(token.bytes.data() + 4, text, length);
    }
  }
  if (token.bytes.size() > size) return kTokErrTooLong;
  std::memcpy(buffer, token.bytes.data(), token.bytes.size());
  return 0;
}

void CPreprocessor::SkipLine() {
  if (!m_sources.empty()) m_sources.back().tokenizer->SkipLine();
}

void CPreprocessor::Position(uint32_t* line, uint32_t* column) const {
  *line = m_line;
  *column = m_column;
}

const char* CPreprocessor::SourceName() const {
  return m_sources.empty() ? m_main_name.c_str() : m_sources.back().name.c_str();
}

int CPreprocessor::ReadChar() {
  return m_sources.empty() ? -1 : m_sources.back().tokenizer->ReadChar();
}

uint32_t CPreprocessor::ReadRaw(char delimiter, std::string* text) {
  return m_sources.empty() ? kTokErrNoDelimiter
                           : m_sources.back().tokenizer->ReadRaw(delimiter, text);
}

void CPreprocessor::SkipTo(char c) {
  if (!m_sources.empty()) m_sources.back().tokenizer->SkipTo(c);
}
