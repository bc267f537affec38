#include "script/script_ini.h"

#include <cstring>

#include "store/hash_ini.h"

namespace {
constexpr uint32_t kSectionBuckets = 31;
constexpr uint32_t kKeyBuckets = 127;
}  // namespace

struct CScriptInis::SLoaded {
  std::string name;
  std::unique_ptr<CHashIni> ini;
};

CScriptInis::CScriptInis() = default;
CScriptInis::~CScriptInis() = default;

bool CScriptInis::Define(std::string_view file) {
  if (Find(file)) return false;
  auto ini = std::make_unique<CHashIni>(kSectionBuckets, kKeyBuckets);
  const std::string name(file);
  if (ini->Load(name.c_str()) != err::kOk) return false;
  m_files.push_front({name, std::move(ini)});
  return true;
}

bool CScriptInis::Undefine(std::string_view file) {
  return m_files.remove_if([file](const SLoaded& loaded) { return loaded.name == file; }) != 0;
}

const CHashIni* CScriptInis::Find(std::string_view file) const {
  for (const SLoaded& loaded : m_files)
    if (loaded.name == file) return loaded.ini.get();
  return nullptr;
}

StrHandle CScriptInis::Get(std::string_view file, const char* section, const char* key) const {
  const CHashIni* ini = Find(file);
  const SIniSection* found = ini ? ini->FindSection(section) : nullptr;
  if (!found) return 0;
  const char* value = nullptr;
  for (const SIniKey* entry = found->first_key; entry; entry = entry->next)
    if (std::strcmp(entry->name, key) == 0) value = entry->value;
  return value ? StrNew(value) : 0;
}

void CScriptInis::Clear() { m_files.clear(); }

