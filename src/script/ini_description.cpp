// Loading the script tables from an INI description.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "base/log.h"
#include "fs/file_service.h"
#include "script/type_tables.h"
#include "store/hash_ini.h"

namespace {

constexpr uint32_t kIniBuckets = 64;

std::string Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

// A decimal number filling the whole (trimmed) text.
bool ParseNumber(std::string_view text, long* value) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return false;
  char* end = nullptr;
  *value = std::strtol(trimmed.c_str(), &end, 10);
  return *end == 0;
}

// Splits "first, rest" at the first comma; false when there is none.
bool SplitComma(const std::string& text, std::string* first, std::string* rest) {
  const size_t comma = text.find(',');
  *first = Trim(std::string_view(text).substr(0, comma));
  if (comma == std::string::npos) return false;
  *rest = text.substr(comma + 1);
  return true;
}

struct SLiteralKey {
  const char* key;
  ELiteral literal;
};
constexpr SLiteralKey kLiteralKeys[] = {{"IntConst", kIntLiteral},
                                        {"FloatConst", kFloatLiteral},
                                        {"StrConst", kStringLiteral},
                                        {"BoolConst", kBoolLiteral}};

struct SOperatorKey {
  const char* prefix;
  EOpKind kind;
};
constexpr SOperatorKey kOperatorKeys[] = {
    {"pref", EOpKind::kPrefix}, {"inf", EOpKind::kInfix}, {"postf", EOpKind::kPostfix}};

}  // namespace

std::unique_ptr<CScriptCompiler> CScriptCompiler::FromIni(const char* path) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> file = FsOpen(path, kOpenRead | kOpenShareRead, &error);
  if (!file) {
    auto compiler = std::make_unique<CScriptCompiler>(0);
    compiler->m_error = err::kNotFound;
    return compiler;
  }
  return FromIni(file.get());
}

std::unique_ptr<CScriptCompiler> CScriptCompiler::FromIni(CFile* file) {
  auto compiler = std::make_unique<CScriptCompiler>(0);
  CHashIni ini(kIniBuckets, kIniBuckets);
  if (ErrCode error = ini.Load(file)) {
    compiler->Fail(error, "Error on ini file loading.\n");
    return compiler;
  }
  if (compiler->LoadIni(ini)) compiler->Finish();
  return compiler;
}

bool CScriptCompiler::Fail(ErrCode error, const char* format, ...) {
  m_error = error;
  va_list args;
  va_start(args, format);
  char text[256];
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  TraceOut("%s", text);
  return false;
}

bool CScriptCompiler::LoadIni(const CHashIni& ini) {
  return LoadBaseTypes(ini) && LoadDataTypes(ini) && LoadCasts(ini) && LoadLiterals(ini) &&
         LoadOperators(ini) && LoadGlobals(ini) && LoadFunctions(ini);
}

bool CScriptCompiler::LoadBaseTypes(const CHashIni& ini) {
  const char* value = ini.GetString("BaseTypes", "MaxUserTypes");
  if (!value) return Fail(err::kNoKey, "MaxUserTypes key in BaseTypes section is required.\n");
  long capacity = 0;
  if (!ParseNumber(value, &capacity) || capacity <= 0 || capacity > 256)
    return Fail(err::kBadKeyVal, "MaxUserTypes key have invalid value.\n");
  m_type_capacity = static_cast<uint16_t>(capacity);
  return true;
}

bool CScriptCompiler::LoadDataTypes(const CHashIni& ini) {
  if (!ini.FindSection("DataTypes"))
    return Fail(err::kNoSection, "Required section DataTypes not available.\n");
  m_types = static_cast<STypeRecord*>(PtrAlloc(sizeof(STypeRecord) * m_type_capacity));
  if (!m_types) return Fail(err::kAllocFail, "Can't allocate memory for types array.\n");
  std::memset(static_cast<void*>(m_types), 0, sizeof(STypeRecord) * m_type_capacity);
  size_t taken = 0;
  for (const auto& [name, value] : SectionEntries(ini, "DataTypes")) {
    if (taken++ == m_type_capacity) break;
    if (!LoadType(ini, name.c_str())) return false;
  }
  return true;
}

bool CScriptCompiler::LoadType(const CHashIni& ini, const char* name) {
  uint16_t existing = 0;
  if (!IsIdentifier(name) || std::strlen(name) > kMaxNameLength || FindType(name, &existing))
    return Fail(err::kBadKeyVal, "Invalid type name.\n");
  if (!ini.FindSection(name)) return Fail(err::kNoSection, "Type section not available.\n");
  const auto number = [&](const char* key, long* value) {
    const char* text = ini.GetString(name, key);
    return text && ParseNumber(text, value);
  };
  long id = 0;
  if (!ini.GetString(name, "TypeID")) return Fail(err::kNoKey, "Missing TypeID key.\n");
  if (!number("TypeID", &id) || id < 1 || id >= m_type_capacity)
    return Fail(err::kBadKeyVal, "Invalid type ID.\n");
  if (m_types[id].name[0]) return Fail(err::kBadKeyVal, "Type ID duplicates.\n");
  long size = 0;
  if (!ini.GetString(name, "Size"))
    return Fail(err::kNoKey, "Required key Size in type section not available.\n");
  if (!number("Size", &size) || size <= 0 || size > 0xFFFF)
    return Fail(err::kBadKeyVal, "Value of Size key incorrect.\n");
  long entries[3] = {};
  static const char* const kEntryKeys[3] = {"VoidConstr", "AddrConstr", "Destr"};
  for (int i = 0; i < 3; ++i)
    if (!number(kEntryKeys[i], &entries[i]) || entries[i] <= 0 || entries[i] > 0xFFFF)
      return Fail(err::kNoKey, "%s key is required for all types.\n", kEntryKeys[i]);
  long is_true = 0;
  if (!number("IsTrue", &is_true)) is_true = 0;
  AddType(name, static_cast<uint16_t>(id), static_cast<uint16_t>(size));
  STypeRecord& type = m_types[id];
  type.void_constructor = static_cast<uint16_t>(entries[0]);
  type.addr_constructor = static_cast<uint16_t>(entries[1]);
  type.destructor = static_cast<uint16_t>(entries[2]);
  type.is_true = static_cast<uint16_t>(is_true);
  return true;
}

bool CScriptCompiler::LoadCasts(const CHashIni& ini) {
  for (uint16_t id = 1; id < m_type_capacity; ++id) {
    STypeRecord& type = m_types[id];
    if (!type.name[0]) continue;
    for (int n = 1; n <= kMaxCasts; ++n) {
      const std::string key = "Cast" + std::to_string(n);
      const char* value = ini.GetString(type.name, key.c_str());
      if (!value) break;
      std::string target_name;
      std::string rest;
      const bool has_comma = SplitComma(value, &target_name, &rest);
      uint16_t target = 0;
      if (!FindType(target_name.c_str(), &target) || IsAddress(target))
        return Fail(err::kBadKeyVal, "Incorrect cast target type.\n");
      if (!has_comma) return Fail(err::kBadKeyVal, "Incorrect cast info: no function index.\n");
      std::string index_text;
      std::string weight_text;
      const bool has_weight = SplitComma(rest, &index_text, &weight_text);
      long index = 0;
      if (!ParseNumber(index_text, &index) || index <= 0 || index > 0xFFFF)
        return Fail(err::kBadKeyVal, "Incorrect cast info: bad function index.\n");
      long weight = 0;
      if (!has_weight || !ParseNumber(weight_text, &weight) || weight <= 0 || weight > 0xFFFF)
        weight = kDefaultCastWeight;
      type.casts[type.cast_count++] = {target, static_cast<uint16_t>(index),
                                       static_cast<uint16_t>(weight)};
    }
  }
  return true;
}

bool CScriptCompiler::LoadLiterals(const CHashIni& ini) {
  if (!ini.FindSection("BaseTypes"))
    return Fail(err::kNoSection, "Required section BaseTypes not available.\n");
  for (const SLiteralKey& key : kLiteralKeys) {
    const char* value = ini.GetString("BaseTypes", key.key);
    if (!value)
      return Fail(err::kNoKey, "Required key %s in BaseTypes section not available.\n", key.key);
    std::string index_text;
    std::string type_name;
    long index = 0;
    uint16_t type = 0;
    if (!SplitComma(value, &index_text, &type_name) || !ParseNumber(index_text, &index) ||
        index <= 0 || index > 0xFFFF || !FindType(Trim(type_name).c_str(), &type))
      return Fail(err::kBadKeyVal, "Incorrect key %s in BaseTypes section.\n", key.key);
    SetLiteralConstructor(key.literal, static_cast<uint16_t>(index), type);
  }
  return true;
}

bool CScriptCompiler::LoadOperators(const CHashIni& ini) {
  if (!ini.FindSection("Operators"))
    return Fail(err::kNoSection, "Operators section is required.\n");
  long previous = 0;
  EAssoc assoc = EAssoc::kLeft;
  for (const auto& [key, value] : SectionEntries(ini, "Operators")) {
    const SOperatorKey* kind = nullptr;
    for (const SOperatorKey& candidate : kOperatorKeys)
      if (strncasecmp(key.c_str(), candidate.prefix, std::strlen(candidate.prefix)) == 0)
        kind = &candidate;
    if (!kind) continue;
    long priority = 0;
    if (!ParseNumber(key.c_str() + std::strlen(kind->prefix), &priority) || priority == 0 ||
        priority < -1 || priority > 255)
      return Fail(err::kBadKeyVal, "Invalid operators key.\n");
    if (priority == -1) continue;
    if (priority != previous) {
      const std::string assoc_key = "assoc" + std::to_string(priority);
      const char* assoc_text = ini.GetString("Operators", assoc_key.c_str());
      assoc = assoc_text && std::strncmp(assoc_text, "right", 5) == 0 ? EAssoc::kRight
                                                                      : EAssoc::kLeft;
      previous = priority;
    }
    if (!LoadOperatorList(value.c_str(), kind->kind, static_cast<uint8_t>(priority), assoc))
      return false;
  }
  std::stable_sort(m_operators, m_operators + m_operator_count,
                   [](const SOperatorRecord& a, const SOperatorRecord& b) {
                     return std::strcmp(a.symbol, b.symbol) < 0;
                   });
  return true;
}

bool CScriptCompiler::LoadOperatorList(const char* list, EOpKind kind, uint8_t priority,
                                       EAssoc assoc) {
  const char* p = list;
  for (;;) {
    while (*p == ' ') ++p;
    if (*p != '"') return Fail(err::kBadKeyVal, "Operator symbol must be quoted.\n");
    const char* start = ++p;
    while (*p && *p != '"') ++p;
    if (static_cast<size_t>(p - start) > kMaxSymbolLength || !*p)
      return Fail(err::kBadKeyVal, "Too long operator symbol.\n");
    const std::string symbol(start, p);
    ++p;
    while (*p == ' ') ++p;
    if (*p != ',' && *p) return Fail(err::kBadKeyVal, "Invalid symbol after quoted op symbol.\n");
    if (m_operator_count < kMaxOperators && !symbol.empty())
      AddOperator(symbol.c_str(), nullptr, priority, kind, assoc);
    if (!*p) return true;
    ++p;
  }
}

// Record 0 of the list stays empty; the variables start at 1.
bool CScriptCompiler::LoadGlobals(const CHashIni& ini) {
  if (!AddIniGlobal(SGlobalRecord{})) return false;
  for (const auto& [name, value] : SectionEntries(ini, "GlobalVars")) {
    if (!IsIdentifier(name.c_str()) || name.size() > kMaxNameLength ||
        FindGlobal(name.c_str(), false))
      return Fail(err::kBadKeyVal, "Invalid name for global variable.\n");
    std::string type_name;
    std::string rest;
    const bool has_comma = SplitComma(value, &type_name, &rest);
    uint16_t type = 0;
    if (!FindType(type_name.c_str(), &type))
      return Fail(err::kBadKeyVal, "Invalid type name for global variable.\n");
    if (!has_comma) return Fail(err::kBadKeyVal, "Global variable index missing.\n");
    std::string index_text;
    std::string size_text;
    const bool has_size = SplitComma(rest, &index_text, &size_text);
    long index = 0;
    if (!ParseNumber(index_text, &index) || index < 1 || index > 0xFFFF)
      return Fail(err::kBadKeyVal, "Global variable index incorrect.\n");
    long size = 1;
    if (!has_size || !ParseNumber(size_text, &size) || size < 1 || size > 0xFFFF) size = 1;
    SGlobalRecord record{};
    std::memcpy(record.name, name.data(), std::min(name.size(), kMaxNameLength));
    record.index = static_cast<uint16_t>(index);
    record.type = type;
    record.size = static_cast<uint16_t>(size);
    if (!AddIniGlobal(record)) return false;
  }
  return true;
}

bool CScriptCompiler::AddIniGlobal(const SGlobalRecord& record) {
  return m_globals.Add(record) || Fail(err::kAllocFail, "Not enough mem for GLOBALS.\n");
}

bool CScriptCompiler::LoadFunctions(const CHashIni& ini) {
  if (!ini.FindSection("Functions"))
    return Fail(err::kNoSection, "Required section Functions not available.\n");
  for (const auto& [section, value] : SectionEntries(ini, "Functions"))
    if (!LoadFunction(ini, section.c_str())) return false;
  return true;
}

bool CScriptCompiler::LoadFunction(const CHashIni& ini, const char* section) {
  if (!ini.FindSection(section))
    return Fail(err::kNoSection, "Function definition section not available.\n");
  SFunctionRecord record{};
  const char* index_text = ini.GetString(section, "Index");
  long index = 0;
  if (!index_text || !ParseNumber(index_text, &index) || index < 0 || index > 0xFFFF)
    return Fail(err::kNoKey, "Index key is required for functions.\n");
  record.function = static_cast<uint16_t>(index);
  const char* name = ini.GetString(section, "Name");
  if (!name) name = section;
  std::memcpy(record.name, name, std::min(std::strlen(name), kMaxNameLength));
  const char* result = ini.GetString(section, "Result");
  if (!result) return Fail(err::kNoKey, "Result key is required for functions.\n");
  const std::string result_name = Trim(result);
  if (!result_name.empty() && result_name != "void" &&
      !FindType(result_name.c_str(), &record.result))
    return Fail(err::kBadKeyVal, "Invalid return type name.\n");
  for (int n = 1; n <= kMaxArgs; ++n) {
    const std::string key = "Arg" + std::to_string(n);
    const char* arg = ini.GetString(section, key.c_str());
    if (!arg) break;
    if (!FindType(Trim(arg).c_str(), &record.args[record.arg_count]))
      return Fail(err::kBadKeyVal, "Invalid argument type name.\n");
    ++record.arg_count;
  }
  if (!m_functions.Add(record)) return Fail(err::kAllocFail, "Not enough mem for FUNCTIONS.\n");
  return true;
}
