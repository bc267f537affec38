#include "script/type_tables.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "script/compiler.h"

bool IsIdentifier(const char* text) {
  const auto letter = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
  };
  if (!letter(text[0])) return false;
  size_t i = 1;
  while (letter(text[i]) || (text[i] >= '0' && text[i] <= '9')) ++i;
  while (text[i] == ' ') ++i;
  return text[i] == 0;
}

namespace {

// Copies an identifier without its trailing spaces.
void CopyName(char* out, const char* name) {
  size_t length = std::min(std::strlen(name), kMaxNameLength);
  while (length > 0 && name[length - 1] == ' ') --length;
  std::memcpy(out, name, length);
  out[length] = 0;
}

void Appendf(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Appendf(std::string* out, const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  out->append(line, static_cast<size_t>(std::clamp(length, 0, static_cast<int>(sizeof line) - 1)));
}

}  // namespace

CScriptCompiler::CScriptCompiler(uint16_t type_capacity) : m_type_capacity(type_capacity) {
  if (type_capacity == 0) return;
  m_types = static_cast<STypeRecord*>(PtrAlloc(sizeof(STypeRecord) * type_capacity));
  if (!m_types) {
    m_type_capacity = 0;
    m_error = err::kAllocFail;
    return;
  }
  std::memset(static_cast<void*>(m_types), 0, sizeof(STypeRecord) * type_capacity);
}

CScriptCompiler::~CScriptCompiler() { PtrFree(m_types); }

STypeRecord* CScriptCompiler::MutableType(uint16_t id) {
  if (id == 0 || id >= m_type_capacity || !m_types[id].name[0]) return nullptr;
  return &m_types[id];
}

const STypeRecord* CScriptCompiler::Type(uint16_t id) const {
  return const_cast<CScriptCompiler*>(this)->MutableType(id);
}

ErrCode CScriptCompiler::AddType(const char* name, uint16_t id, uint16_t size) {
  uint16_t existing = 0;
  if (id == 0 || id >= m_type_capacity || size == 0 || !IsIdentifier(name) ||
      std::strlen(name) > kMaxNameLength || FindType(name, &existing) || m_types[id].name[0])
    return err::kBadParams;
  STypeRecord& type = m_types[id];
  CopyName(type.name, name);
  type.id = id;
  type.size = size;
  return err::kOk;
}

ErrCode CScriptCompiler::SetTypeEntry(uint16_t id, ETypeEntry entry, uint16_t function) {
  STypeRecord* type = MutableType(id);
  if (!type) return err::kBadParams;
  uint16_t* fields[] = {&type->void_constructor, &type->addr_constructor, &type->destructor,
                        &type->is_true};
  *fields[static_cast<int>(entry)] = function;
  return err::kOk;
}

ErrCode CScriptCompiler::AddCast(uint16_t source, uint16_t target, uint16_t function,
                                 uint16_t weight) {
  STypeRecord* type = MutableType(source);
  if (!type) return err::kBadParams;
  if (type->cast_count == kMaxCasts) return err::kUnknownError;
  type->casts[type->cast_count++] = {target, function, weight};
  return err::kOk;
}

ErrCode CScriptCompiler::AddOperator(const char* symbol, const char* closing, uint8_t priority,
                                     EOpKind kind, EAssoc assoc) {
  const size_t length = std::strlen(symbol);
  const size_t closing_length = closing ? std::strlen(closing) : 0;
  if (length == 0 || length > kMaxSymbolLength ||
      (closing && length + 1 + closing_length > kMaxSymbolLength))
    return err::kBadParams;
  if (m_operator_count == kMaxOperators) return err::kUnknownError;
  SOperatorRecord& record = m_operators[m_operator_count++];
  record = SOperatorRecord{};
  std::memcpy(record.symbol, symbol, length);
  if (closing) std::memcpy(record.symbol + length + 1, closing, closing_length);
  record.priority = priority;
  record.kind = kind;
  record.assoc = assoc;
  m_highest_priority = std::max(m_highest_priority, priority);
  return err::kOk;
}

void CScriptCompiler::SetLiteralConstructor(ELiteral literal, uint16_t function, uint16_t type) {
  m_literals[literal] = {function, type};
}

void CScriptCompiler::SetAddressHandlers(uint16_t constructor, uint16_t destructor) {
  m_addr_constructor = constructor;
  m_addr_destructor = destructor;
}

ErrCode CScriptCompiler::AddFunction(const char* name, uint16_t result, uint16_t arg_count,
                                     const uint16_t* args, uint16_t function) {
  if (std::strlen(name) > kMaxNameLength || arg_count > kMaxArgs ||
      (result != kVoidType && !Type(TypeId(result))))
    return err::kBadParams;
  SFunctionRecord record{};
  std::memcpy(record.name, name, std::strlen(name));
  record.arg_count = arg_count;
  std::copy(args, args + arg_count, record.args);
  record.result = result;
  record.function = function;
  return m_functions.Add(record) ? err::kOk : err::kAllocFail;
}

ErrCode CScriptCompiler::AddGlobal(const char* name, uint16_t index, uint16_t type, bool world) {
  if (!IsIdentifier(name) || std::strlen(name) > kMaxNameLength || FindGlobal(name, true) ||
      !Type(TypeId(type)))
    return err::kBadParams;
  SGlobalRecord record{};
  CopyName(record.name, name);
  record.index = index;
  record.type = type;
  record.size = 1;
  return (world ? m_world_globals : m_globals).Add(record) ? err::kOk : err::kAllocFail;
}

ErrCode CScriptCompiler::Finish() {
  std::stable_sort(m_operators, m_operators + m_operator_count,
                   [](const SOperatorRecord& a, const SOperatorRecord& b) {
                     return std::strcmp(a.symbol, b.symbol) < 0;
                   });
  // Each operator gives at most its symbol and an index operator's closing
  // symbol.
  size_t words = kFixedTokenCount + 2 * m_operator_count;
  for (uint16_t id = 1; id < m_type_capacity; ++id)
    if (m_types[id].name[0]) ++words;
  if (!m_tokens.Allocate(words)) {
    m_error = err::kAllocFail;
    return m_error;
  }
  for (size_t i = 0; i < kFixedTokenCount; ++i)
    m_tokens.Add(kFixedTokens[i].text, kFixedTokens[i].code);
  for (uint16_t id = 1; id < m_type_capacity; ++id)
    if (m_types[id].name[0]) m_tokens.Add(m_types[id].name, kTokTypeBase | id);
  for (size_t i = 0; i < m_operator_count; ++i)
    if (i == 0 || std::strcmp(m_operators[i].symbol, m_operators[i - 1].symbol) != 0)
      m_tokens.Add(m_operators[i].symbol, kTokOperatorBase | static_cast<uint32_t>(i));
  for (size_t i = 0; i < m_operator_count; ++i) {
    const SOperatorRecord& record = m_operators[i];
    if (record.kind == EOpKind::kIndex)
      m_tokens.Add(record.symbol + std::strlen(record.symbol) + 1,
                   kTokIndexCloseBase | static_cast<uint32_t>(i));
  }
  m_tokens.Close();
  if (!m_tokens.CodeOf("=")) {
    Fail(err::kBadKeyVal, "Assignment operator must be defined.\n");
    return m_error;
  }
  return err::kOk;
}

bool CScriptCompiler::FindType(const char* name, uint16_t* code) const {
  for (uint16_t id = 1; id < m_type_capacity; ++id) {
    const char* type = m_types[id].name;
    if (!type[0]) continue;
    const size_t length = std::strlen(type);
    if (std::strncmp(name, type, length) != 0) continue;
    if (name[length] == 0) {
      *code = id;
      return true;
    }
    if (name[length] == '*' && name[length + 1] == 0) {
      *code = id | kAddrFlag;
      return true;
    }
  }
  return false;
}

uint16_t CScriptCompiler::StackSize(uint16_t code) const {
  if (code == kVoidType) return 0;
  if (IsAddress(code)) return kAddressSize;
  const STypeRecord* type = Type(TypeId(code));
  return type ? type->size : 0;
}

const SGlobalRecord* CScriptCompiler::FindGlobal(const char* name, bool world) const {
  for (const SGlobalRecord& global : m_globals)
    if (std::strcmp(global.name, name) == 0) return &global;
  if (world)
    for (const SGlobalRecord& global : m_world_globals)
      if (std::strcmp(global.name, name) == 0) return &global;
  return nullptr;
}

int CScriptCompiler::FindOperator(size_t start, EOpKind kind, uint8_t priority) const {
  for (size_t i = start; i < m_operator_count &&
                         std::strcmp(m_operators[i].symbol, m_operators[start].symbol) == 0;
       ++i)
    if (m_operators[i].kind == kind && m_operators[i].priority == priority)
      return static_cast<int>(i);
  return -1;
}

int32_t CScriptCompiler::NetStackEffect(const SFunctionRecord& function) const {
  int32_t effect = StackSize(function.result);
  for (uint16_t i = 0; i < function.arg_count; ++i) effect -= StackSize(function.args[i]);
  return effect;
}

std::string CScriptCompiler::Dump() const {
  std::string out;
  Appendf(&out, "Types max count = %d\r\n", m_type_capacity);
  for (uint16_t id = 1; id < m_type_capacity; ++id) {
    const STypeRecord& type = m_types[id];
    if (!type.name[0]) continue;
    Appendf(&out, "Name:%s ID:%d Size:%d\r\n", type.name, type.id, type.size);
    Appendf(&out, "Constr: void=%d addr=%d Destr=%d IsTrue=%d\r\n", type.void_constructor,
            type.addr_constructor, type.destructor, type.is_true);
    Appendf(&out, "Cast target types: %d\r\n", type.cast_count);
    for (uint16_t i = 0; i < type.cast_count; ++i)
      Appendf(&out, "Cast%d: type=%d func=%d weight=%d\r\n", i + 1, type.casts[i].target,
              type.casts[i].function, type.casts[i].weight);
  }
  static const char* const kLiteralLines[kLiteralKinds] = {
      "int: func=%d user_type=%d\r\n", "float: func=%d user_type=%d\r\n",
      "string: func=%d user_type=%d\r\n", "boolean: func=%d user_type=%d\r\n"};
  out += "Compiler constants:\r\n";
  for (int i = 0; i < kLiteralKinds; ++i)
    Appendf(&out, kLiteralLines[i], m_literals[i].function, m_literals[i].type);
  Appendf(&out, "Operators count = %d\r\n", static_cast<int>(m_operator_count));
  for (size_t i = 0; i < m_operator_count; ++i)
    Appendf(&out, "Sym:\"%s\" Prior=%d Type=%d Assoc=%d\r\n", m_operators[i].symbol,
            m_operators[i].priority, static_cast<int>(m_operators[i].kind),
            static_cast<int>(m_operators[i].assoc));
  Appendf(&out, "Global variables count = %d\r\n",
          static_cast<int>(m_globals.size() + m_world_globals.size()));
  for (const CPtrList<SGlobalRecord>* list : {&m_globals, &m_world_globals})
    for (const SGlobalRecord& global : *list)
      Appendf(&out, "Name:%s TypeID:%d Index:%d Size:%d\r\n", global.name, global.type,
              global.index, global.size);
  Appendf(&out, "Functions count = %d\r\n", static_cast<int>(m_functions.size()));
  for (const SFunctionRecord& function : m_functions) {
    Appendf(&out, "Name:%s Idx:%d RetTypeID:%d ParCount:%d\r\n", function.name,
            function.function, function.result, function.arg_count);
    for (uint16_t i = 0; i < function.arg_count; ++i)
      Appendf(&out, "Par%d:%d", i + 1, function.args[i]);
    out += "\r\n\r\n";
  }
  return out;
}
