#include "script/script_array.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "store/hash_ini.h"

namespace {

constexpr const char* kArraysSection = "Arrays";
constexpr const char* kCountKey = "Count";
constexpr const char* kTypeKey = "Type";

struct STypeName {
  EArrayType type;
  const char* name;
};
constexpr STypeName kTypeNames[] = {{EArrayType::kInt, "int"},
                                    {EArrayType::kStr, "str"},
                                    {EArrayType::kPoint, "TPoint"},
                                    {EArrayType::kRect, "TRect"}};

// Reads `count` decimal numbers separated by commas and blanks; false unless
// the whole text is exactly that.
bool ParseFields(std::string_view text, int32_t* fields, int count) {
  const char* at = text.data();
  const char* end = at + text.size();
  for (int i = 0; i < count; ++i) {
    while (at < end && (*at == ' ' || *at == '\t' || (i > 0 && *at == ','))) ++at;
    const auto [next, error] = std::from_chars(at, end, fields[i]);
    if (error != std::errc() || next == at) return false;
    at = next;
  }
  while (at < end && (*at == ' ' || *at == '\t')) ++at;
  return at == end;
}

bool ParseIndex(std::string_view text, int32_t* index) {
  if (text.empty() || text.size() > 5 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  return ParseFields(text, index, 1);
}

// The value of `key` in `section` with exactly that key name.
const char* ExactValue(const SIniSection* section, const char* key) {
  const char* value = nullptr;
  for (const SIniKey* entry = section->first_key; entry; entry = entry->next)
    if (std::strcmp(entry->name, key) == 0) value = entry->value;
  return value;
}

}  // namespace

bool ArrayTypeFromName(std::string_view name, EArrayType* type) {
  for (const STypeName& entry : kTypeNames) {
    if (name == entry.name) {
      *type = entry.type;
      return true;
    }
  }
  return false;
}

const char* ArrayTypeName(EArrayType type) {
  for (const STypeName& entry : kTypeNames)
    if (entry.type == type) return entry.name;
  return "";
}

CScriptArray::CScriptArray(std::string name, EArrayType type, int32_t size)
    : m_name(std::move(name)),
      m_type(type),
      m_size(size),
      m_bytes(static_cast<size_t>(size) * ElementSize()) {}

CScriptArray::~CScriptArray() {
  if (m_type != EArrayType::kStr) return;
  for (int32_t i = 0; i < m_size; ++i) StrRelease(GetStr(i));
}

std::string CScriptArray::AccessText(int32_t index) const {
  char text[64];
  std::snprintf(text, sizeof text, ", type %d, size %d, idx %d", static_cast<int>(m_type),
                m_size, index);
  return "Arr " + m_name + text;
}

StrHandle CScriptArray::GetStr(int32_t index) const { return Load<StrHandle>(index); }

void CScriptArray::SetStr(int32_t index, StrHandle value) {
  StrAddRef(value);
  StrRelease(GetStr(index));
  Store(index, value);
}

bool CScriptArray::FindInt(int32_t value, int32_t* index) const {
  if (m_type != EArrayType::kInt || *index < 0 || *index > kMaxArraySize) return false;
  for (int32_t i = *index; i < m_size; ++i) {
    if (GetInt(i) == value) {
      *index = i;
      return true;
    }
  }
  return false;
}

bool CScriptArray::FindStr(StrHandle value, int32_t* index) const {
  if (m_type != EArrayType::kStr || !value || *index < 0 || *index > kMaxArraySize)
    return false;
  const CStrText wanted(value);
  for (int32_t i = *index; i < m_size; ++i) {
    const StrHandle element = GetStr(i);
    if (element && CStrText(element).view() == wanted.view()) {
      *index = i;
      return true;
    }
  }
  return false;
}

bool CScriptArray::Scramble(int32_t first, int32_t groups, int32_t group_size,
                            CRandom& random) {
  if (first < 0 || groups < 0 || group_size < 0 ||
      int64_t{first} + int64_t{groups} * group_size > m_size)
    return false;
  const size_t group_bytes = static_cast<size_t>(group_size) * ElementSize();
  for (int32_t i = 0; i < groups; ++i) {
    const int32_t j = random.Between(i, groups - 1);
    if (j != i)
      std::swap_ranges(At(first + i * group_size), At(first + i * group_size) + group_bytes,
                       At(first + j * group_size));
  }
  return true;
}

bool CScriptArray::Scramble2(int32_t first, int32_t count, int32_t stride, CRandom& random) {
  if (first < 0 || count < 0 || count > kMaxScramble2Count || stride < 0 ||
      int64_t{first} + int64_t{count} * stride > m_size)
    return false;
  int32_t p[kMaxScramble2Count + 1];
  for (int32_t i = 0; i < count; ++i) p[i] = i;
  for (int32_t k = 0; k + 1 < count; ++k) std::swap(p[k], p[random.Between(k, count - 2)]);
  // Separation: neighbours differing only in the lowest bit are pulled
  // apart. Some orders cannot be separated, so the scan restarts at most once.
  const auto adjacent = [&p](int32_t a, int32_t b) { return (p[a] ^ p[b]) == 1; };
  bool restarted = false;
  for (int32_t i = 1; i < count;) {
    if (!adjacent(i - 1, i)) {
      ++i;
    } else if (i + 1 < count) {
      std::swap(p[i], p[i + 1]);
      i += 2;
    } else {
      if (restarted) break;
      std::swap(p[i], p[0]);
      restarted = true;
      i = 1;
    }
  }
  std::vector<uint8_t> moved = m_bytes;
  for (int32_t i = 0; i < count; ++i)
    std::memcpy(moved.data() + static_cast<size_t>(first + p[i] * stride) * ElementSize(),
                At(first + i * stride), ElementSize());
  m_bytes.swap(moved);
  return true;
}

std::string CScriptArray::ElementText(int32_t index) const {
  char text[48];
  switch (m_type) {
    case EArrayType::kInt:
      std::snprintf(text, sizeof text, "%d", GetInt(index));
      break;
    case EArrayType::kPoint: {
      const TPoint point = GetPoint(index);
      std::snprintf(text, sizeof text, "%d, %d", point.x, point.y);
      break;
    }
    case EArrayType::kRect: {
      const TRect rect = GetRect(index);
      std::snprintf(text, sizeof text, "%d, %d, %d, %d", rect.left, rect.top, rect.right,
                    rect.bottom);
      break;
    }
    case EArrayType::kStr:
      return std::string(CStrText(GetStr(index)).view());
  }
  return text;
}

void CScriptArray::SetFromText(int32_t index, const char* text) {
  int32_t fields[4];
  const auto cut = [](int32_t v) { return static_cast<int16_t>(v); };
  switch (m_type) {
    case EArrayType::kInt:
      if (ParseFields(text, fields, 1)) SetInt(index, fields[0]);
      break;
    case EArrayType::kPoint:
      if (ParseFields(text, fields, 2)) SetPoint(index, {cut(fields[0]), cut(fields[1])});
      break;
    case EArrayType::kRect:
      if (ParseFields(text, fields, 4))
        SetRect(index, {cut(fields[0]), cut(fields[1]), cut(fields[2]), cut(fields[3])});
      break;
    case EArrayType::kStr: {
      const StrHandle value = StrNew(text);
      SetStr(index, value);
      StrRelease(value);
      break;
    }
  }
}

void CScriptArray::Fill(const CHashIni& ini, const char* section) {
  const SIniSection* found = ini.FindSection(section);
  if (!found) return;
  for (const SIniKey* key = found->first_key; key; key = key->next) {
    int32_t index;
    if (ParseIndex(key->name, &index) && index < m_size) SetFromText(index, key->value);
  }
}

void CScriptArray::Save(CHashIni* ini) const {
  const char* section = m_name.c_str();
  // A fresh section holds each key once, so keys are appended unsearched.
  ini->DeleteSection(section);
  ini->AddKey(section, kCountKey, std::to_string(m_size).c_str(), nullptr, nullptr);
  ini->AddKey(section, kTypeKey, ArrayTypeName(m_type), nullptr, nullptr);
  for (int32_t i = 0; i < m_size; ++i) {
    if (m_type == EArrayType::kStr && !GetStr(i)) continue;
    ini->AddKey(section, std::to_string(i).c_str(), ElementText(i).c_str(), nullptr, nullptr);
  }
}

bool CScriptArrays::Define(std::string_view name, std::string_view type_name, int32_t size) {
  EArrayType type;
  if (Find(name) || !ArrayTypeFromName(type_name, &type) || size < 1 || size > kMaxArraySize)
    return false;
  m_arrays.emplace_front(std::string(name), type, size);
  ++m_changes;
  return true;
}

CScriptArray* CScriptArrays::Find(std::string_view name) {
  for (CScriptArray& array : m_arrays)
    if (array.Name() == name) return &array;
  return nullptr;
}

CScriptArray* CScriptArrays::Named(StrHandle name) {
  if (!name) return nullptr;
  SLastNamed& last = m_last_named;
  if (name == last.name && StrChangeCount() == last.strings && m_changes == last.arrays)
    return last.array;
  last = {name, StrChangeCount(), m_changes, Find(CStrText(name).view())};
  return last.array;
}

bool CScriptArrays::Undefine(std::string_view name) {
  const auto at = std::find_if(m_arrays.begin(), m_arrays.end(),
                               [name](const CScriptArray& array) { return array.Name() == name; });
  if (at == m_arrays.end()) return false;
  m_arrays.erase(at);
  ++m_changes;
  return true;
}

void CScriptArrays::Clear() {
  while (!m_arrays.empty()) m_arrays.pop_front();
  ++m_changes;
}

void CScriptArrays::Save(CHashIni* ini) const {
  for (auto array = m_arrays.rbegin(); array != m_arrays.rend(); ++array) {
    ini->SetString(kArraysSection, array->Name().c_str(), "");
    array->Save(ini);
  }
}

bool CScriptArrays::LoadedAlready(std::string_view name) const {
  return std::any_of(m_arrays.begin(), m_arrays.end(), [name](const CScriptArray& array) {
    return array.Name().size() == name.size() &&
           std::equal(name.begin(), name.end(), array.Name().begin(), [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) ==
                    std::tolower(static_cast<unsigned char>(b));
           });
  });
}

void CScriptArrays::Load(const CHashIni& ini) {
  Clear();
  const SIniSection* list = ini.FindSection(kArraysSection);
  if (!list) return;
  for (const SIniKey* entry = list->first_key; entry; entry = entry->next) {
    const SIniSection* section = ini.FindSection(entry->name);
    if (!*entry->name || !section) continue;
    const char* count_text = ExactValue(section, kCountKey);
    const char* type_text = ExactValue(section, kTypeKey);
    int32_t count;
    if (!count_text || !type_text || !ParseFields(count_text, &count, 1) ||
        LoadedAlready(entry->name) || !Define(entry->name, type_text, count))
      continue;
    Find(entry->name)->Fill(ini, entry->name);
  }
}
