// The INI text format.
//
// Reading. The input is split into lines at carriage returns and line feeds;
// runs of them count as one break, so empty lines vanish. A line holds at
// most 1023 characters: the rest of a longer line is read as the next line.
// A NUL byte ends the text of its line. Everything after the first ";" is
// the line's comment, kept exactly (the ";" itself is dropped). Of the part
// before the ";", the text before the first "=" is the key and the text after
// it the value; without "=" the whole part is the key and the value is empty.
// Key and value lose their leading and trailing spaces and tabs.
//   - A key that starts with "[" and ends with "]" is a section header; the
//     name is the text between the brackets, blanks included, and the line's
//     comment is the section's comment.
//   - A line with neither key nor comment is dropped, as is every line before
//     the first section header.
//   - Any other line is a key of the current section. A line with an empty
//     key and a comment is a comment line: it keeps its place but is never
//     found by name (and its value, if any, is not kept in the written form).
// Any byte sequence is accepted; nothing in the input is an error.
//
// Writing. Each section in order as
//   "[name]\r\n"  or  "[name] ;comment\r\n"
// then each of its keys in order as
//   ";comment\r\n"                      for a comment line,
//   "key=value\r\n"                     without a comment,
//   "key=value ;comment\r\n"            with one,
// and one empty line "\r\n" after the section. Lines before the first section
// and blank lines are thus not kept, and a key read without "=" is written
// with "=" and an empty value.
#include "store/hash_ini.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "fs/file.h"
#include "fs/file_service.h"
#include "fs/replace.h"

namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool EqualNoCase(const char* a, const char* b) {
  for (; *a && UpperAscii(*a) == UpperAscii(*b); ++a, ++b) {
  }
  return UpperAscii(*a) == UpperAscii(*b);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

const char* SkipBlanks(const char* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Numbers wrap at 32 bits.
int32_t Signed(uint32_t magnitude, bool negative) {
  return static_cast<int32_t>(negative ? 0u - magnitude : magnitude);
}

// [blanks][sign](0x hex digits | decimal digits), to the end of the text.
ErrCode ParseInt(const char* p, int32_t* out) {
  p = SkipBlanks(p);
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  const bool hex = p[0] == '0' && p[1] == 'x';
  if (hex) p += 2;
  uint32_t value = 0;
  ErrCode result = err::kOk;
  for (; *p; ++p) {
    const int digit = hex ? HexDigit(*p) : (*p >= '0' && *p <= '9' ? *p - '0' : -1);
    if (digit < 0) {
      result = err::kInvalidFormat;
      break;
    }
    value = value * (hex ? 16u : 10u) + static_cast<uint32_t>(digit);
  }
  *out = Signed(value, negative);
  return result;
}

// [blanks][sign]digits, stopping at the first non-digit; answers where it
// stopped.
const char* ReadDecimal(const char* p, int32_t* out) {
  p = SkipBlanks(p);
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  uint32_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p)
    value = value * 10u + static_cast<uint32_t>(*p - '0');
  *out = Signed(value, negative);
  return p;
}

// The working copy the typed getters parse: at most 127 characters.
struct SWorkValue {
  explicit SWorkValue(const char* value) {
    std::strncpy(text, value, CHashIni::kMaxParsedValue);
    text[CHashIni::kMaxParsedValue] = '\0';
  }
  char text[CHashIni::kMaxParsedValue + 1];
};

// `count` comma-separated decimal numbers; whatever follows a number up to
// the next comma is skipped.
ErrCode ParseFields(const char* value, int32_t* fields, int count) {
  const SWorkValue work(value);
  const char* p = work.text;
  for (int i = 0; i < count; ++i) {
    if (i > 0) {
      p = std::strchr(p, ',');
      if (!p) return err::kInvalidFormat;
      ++p;
    }
    p = ReadDecimal(p, &fields[i]);
  }
  return err::kOk;
}

// Comma-separated flag names, each matching the first table entry whose whole
// name it begins with (after its leading blanks).
ErrCode ParseFlagList(const char* list, const SIniFlag* table, uint32_t* out) {
  uint32_t bits = 0;
  for (const char* p = list;;) {
    p = SkipBlanks(p);
    const char* end = std::strchr(p, ',');
    const size_t length = end ? static_cast<size_t>(end - p) : std::strlen(p);
    const SIniFlag* flag = table;
    for (; flag->name; ++flag) {
      const size_t name_length = std::strlen(flag->name);
      if (name_length <= length && std::memcmp(p, flag->name, name_length) == 0) break;
    }
    if (!flag->name) return err::kNotInList;
    bits |= flag->bits;
    if (!end) break;
    p = end + 1;
  }
  *out = bits;
  return err::kOk;
}

int16_t Short(uint32_t value) { return static_cast<int16_t>(value); }

// The text block behind a record: the strings one after another, each with
// its NUL. Answers where each string starts.
template <size_t N>
void StoreTexts(char* block, const std::string_view (&texts)[N],
                const char* (&starts)[N]) {
  for (size_t i = 0; i < N; ++i) {
    if (!texts[i].empty()) std::memcpy(block, texts[i].data(), texts[i].size());
    block[texts[i].size()] = '\0';
    starts[i] = block;
    block += texts[i].size() + 1;
  }
}

template <size_t N>
size_t TextsSize(const std::string_view (&texts)[N]) {
  size_t size = 0;
  for (const std::string_view& text : texts) size += text.size() + 1;
  return size;
}

}  // namespace

CHashIni::CHashIni(uint32_t section_buckets, uint32_t key_buckets, CMemPool* allocator,
                   bool owns_allocator)
    : m_section_table(std::max<uint32_t>(section_buckets, 1), nullptr),
      m_key_table(std::max<uint32_t>(key_buckets, 1), nullptr),
      m_allocator(allocator),
      m_owned_allocator(owns_allocator ? allocator : nullptr) {}

CHashIni::~CHashIni() { Clear(); }

uint32_t CHashIni::Hash(const char* text) {
  uint32_t hash = 0;
  uint32_t acc = 0;
  for (; *text; ++text) {
    const auto c = static_cast<int8_t>(UpperAscii(*text));
    acc = (acc << 8) + static_cast<uint32_t>(static_cast<int32_t>(c));
    hash += acc;
  }
  while (acc != 0) {
    acc <<= 8;
    hash += acc;
  }
  return hash;
}

// --- Records ---------------------------------------------------------------

void* CHashIni::AllocRecord(size_t size) {
  return m_allocator ? m_allocator->Allocate(size) : PtrAlloc(size);
}

void CHashIni::FreeRecord(void* record) {
  if (m_allocator)
    m_allocator->Free(record);
  else
    PtrFree(record);
}

SIniSection* CHashIni::NewSection(std::string_view name, std::string_view comment) {
  const std::string_view texts[] = {name, comment};
  void* block = AllocRecord(sizeof(SIniSection) + TextsSize(texts));
  if (!block) return nullptr;
  auto* section = new (block) SIniSection{};
  const char* starts[2];
  StoreTexts(reinterpret_cast<char*>(section + 1), texts, starts);
  section->name = starts[0];
  section->comment = starts[1];
  return section;
}

SIniKey* CHashIni::NewKey(SIniSection* section, std::string_view name,
                          std::string_view value, std::string_view comment) {
  const std::string_view texts[] = {name, value, comment};
  void* block = AllocRecord(sizeof(SIniKey) + TextsSize(texts));
  if (!block) return nullptr;
  auto* key = new (block) SIniKey{};
  const char* starts[3];
  StoreTexts(reinterpret_cast<char*>(key + 1), texts, starts);
  key->section = section;
  key->name = starts[0];
  key->value = starts[1];
  key->comment = starts[2];
  return key;
}

size_t CHashIni::SectionIndex(const char* name) const {
  return Hash(name) % m_section_table.size();
}

size_t CHashIni::KeyIndex(const SIniSection* section, const char* name) const {
  return (Hash(section->name) + Hash(name)) % m_key_table.size();
}

SIniSection* CHashIni::Find(const char* section) const {
  SIniSection* record = m_section_table[SectionIndex(section)];
  while (record && !EqualNoCase(record->name, section)) record = record->hash_link;
  return record;
}

SIniKey* CHashIni::Find(const SIniSection* section, const char* key) const {
  SIniKey* record = m_key_table[KeyIndex(section, key)];
  while (record && !(record->section == section && EqualNoCase(record->name, key)))
    record = record->hash_link;
  return record;
}

void CHashIni::AppendSection(SIniSection* section) {
  section->prev = m_last;
  section->next = nullptr;
  (m_last ? m_last->next : m_first) = section;
  m_last = section;
  SIniSection*& bucket = m_section_table[SectionIndex(section->name)];
  section->hash_link = bucket;
  bucket = section;
}

SIniSection* CHashIni::FindOrAppendSection(const char* name) {
  SIniSection* section = Find(name);
  if (section) return section;
  section = NewSection(name, {});
  if (section) AppendSection(section);
  return section;
}

void CHashIni::InsertKey(SIniKey* key, SIniKey* before) {
  SIniSection* section = key->section;
  key->next = before;
  key->prev = before ? before->prev : section->last_key;
  (key->prev ? key->prev->next : section->first_key) = key;
  (before ? before->prev : section->last_key) = key;
  if (*key->name) {
    SIniKey*& bucket = m_key_table[KeyIndex(section, key->name)];
    key->hash_link = bucket;
    bucket = key;
  }
}

void CHashIni::UnlinkKey(SIniKey* key) {
  SIniSection* section = key->section;
  (key->prev ? key->prev->next : section->first_key) = key->next;
  (key->next ? key->next->prev : section->last_key) = key->prev;
  if (*key->name) {
    SIniKey** link = &m_key_table[KeyIndex(section, key->name)];
    while (*link != key) link = &(*link)->hash_link;
    *link = key->hash_link;
  }
}

void CHashIni::Clear() {
  for (SIniSection* section = m_first; section;) {
    for (SIniKey* key = section->first_key; key;) {
      SIniKey* next = key->next;
      FreeRecord(key);
      key = next;
    }
    SIniSection* next = section->next;
    FreeRecord(section);
    section = next;
  }
  m_first = m_last = nullptr;
  std::fill(m_section_table.begin(), m_section_table.end(), nullptr);
  std::fill(m_key_table.begin(), m_key_table.end(), nullptr);
}

// --- Loading ---------------------------------------------------------------

bool CHashIni::Refill() {
  if (!m_source) return false;
  uint32_t count = 0;
  const ErrCode error = m_source->Read(m_read_buffer.get(), kReadBufferSize, &count);
  if (error != err::kOk && error != err::kEof) {
    m_read_error = error;
    count = 0;
  }
  if (error != err::kOk || count == 0) m_source = nullptr;
  m_read_bytes = std::min<size_t>(count, kReadBufferSize);
  m_read_pos = 0;
  return m_read_bytes > 0;
}

int CHashIni::PeekByte() {
  if (m_read_pos == m_read_bytes && !Refill()) return -1;
  return static_cast<unsigned char>(m_read_data[m_read_pos]);
}

bool CHashIni::ReadLine(SIniLine* line) {
  int c = PeekByte();
  while (c == '\r' || c == '\n') {
    ++m_read_pos;
    c = PeekByte();
  }
  size_t length = 0;
  while (length < SIniLine::kMaxLength && c >= 0 && c != '\r' && c != '\n') {
    line->text[length++] = static_cast<char>(c);
    ++m_read_pos;
    c = PeekByte();
  }
  line->text[length] = '\0';

  const std::string_view text(line->text);
  const size_t semicolon = text.find(';');
  const std::string_view head = text.substr(0, semicolon);
  line->comment = semicolon == std::string_view::npos ? std::string_view()
                                                      : text.substr(semicolon + 1);
  const size_t equals = head.find('=');
  line->key = Trim(head.substr(0, equals));
  line->value = equals == std::string_view::npos ? std::string_view()
                                                 : Trim(head.substr(equals + 1));
  return c >= 0;
}

ErrCode CHashIni::Parse() {
  SIniLine line;
  SIniSection* current = nullptr;
  for (bool more = true; more;) {
    more = ReadLine(&line);
    if (m_read_error) return m_read_error;
    const std::string_view key = line.key;
    if (key.size() >= 2 && key.front() == '[' && key.back() == ']') {
      current = NewSection(key.substr(1, key.size() - 2), line.comment);
      if (!current) return err::kAllocFail;
      AppendSection(current);
    } else if (current && !(key.empty() && line.comment.empty())) {
      SIniKey* record = NewKey(current, key, line.value, line.comment);
      if (!record) return err::kAllocFail;
      InsertKey(record, nullptr);
    }
  }
  return err::kOk;
}

ErrCode CHashIni::Load(const char* path) {
  Clear();
  if (!path) return err::kBadParams;
  RemoveStaleCopy(path);
  ErrCode error = err::kFile;
  std::unique_ptr<CFile> file = FsOpen(path, kLoadMode, &error);
  if (!file) return error ? error : err::kFile;
  return Load(file.get());
}

ErrCode CHashIni::Load(CFile* file) {
  Clear();
  if (!file) return err::kBadParams;
  m_read_buffer = std::make_unique<char[]>(kReadBufferSize);
  m_read_data = m_read_buffer.get();
  m_read_bytes = m_read_pos = 0;
  m_source = file;
  m_read_error = err::kOk;
  const ErrCode result = Parse();
  m_read_buffer.reset();
  m_read_data = nullptr;
  m_read_bytes = m_read_pos = 0;
  m_source = nullptr;
  return result;
}

ErrCode CHashIni::LoadText(std::string_view text) {
  Clear();
  m_read_data = text.data();
  m_read_bytes = text.size();
  m_read_pos = 0;
  m_source = nullptr;
  m_read_error = err::kOk;
  const ErrCode result = Parse();
  m_read_data = nullptr;
  m_read_bytes = m_read_pos = 0;
  return result;
}

// --- Writing ---------------------------------------------------------------

std::string CHashIni::Text() const {
  std::string text;
  for (const SIniSection* section = m_first; section; section = section->next) {
    text += '[';
    text += section->name;
    text += ']';
    if (*section->comment) {
      text += " ;";
      text += section->comment;
    }
    text += "\r\n";
    for (const SIniKey* key = section->first_key; key; key = key->next) {
      if (!*key->name) {
        text += ';';
        text += key->comment;
      } else {
        text += key->name;
        text += '=';
        text += key->value;
        if (*key->comment) {
          text += " ;";
          text += key->comment;
        }
      }
      text += "\r\n";
    }
    text += "\r\n";
  }
  return text;
}

ErrCode CHashIni::Save(const char* path) const {
  if (!path) return err::kBadParams;
  return WriteReplacing(path, kSaveMode, [this](CFile& file) { return Save(&file); });
}

ErrCode CHashIni::Save(CFile* file) const {
  if (!file) return err::kBadParams;
  const std::string text = Text();
  uint32_t count = 0;
  const auto length = static_cast<uint32_t>(text.size());
  if (ErrCode error = file->Write(text.data(), length, &count)) return error;
  return count == length ? err::kOk : err::kWriteFail;
}

// --- Lookups ---------------------------------------------------------------

const SIniSection* CHashIni::FindSection(const char* section) const {
  return section ? Find(section) : nullptr;
}

const SIniKey* CHashIni::FindKey(const char* section, const char* key) const {
  if (!key) return nullptr;
  const SIniSection* record = FindSection(section);
  return record ? Find(record, key) : nullptr;
}

const char* CHashIni::GetString(const char* section, const char* key) const {
  const SIniKey* record = FindKey(section, key);
  return record ? record->value : nullptr;
}

ErrCode CHashIni::GetStringCopy(const char* section, const char* key, char* buffer,
                                uint32_t size) const {
  const char* value = GetString(section, key);
  if (!value) return err::kNotFound;
  if (!buffer || size == 0) return err::kUnknownError;
  if (size == kCopyWhole) {
    std::strcpy(buffer, value);
  } else {
    std::strncpy(buffer, value, size - 1);
    buffer[size - 1] = '\0';
  }
  return err::kOk;
}

ErrCode CHashIni::GetInt(const char* section, const char* key, int32_t* out) const {
  const char* value = GetString(section, key);
  if (!value) return err::kNotFound;
  if (!out) return err::kBadParams;
  return ParseInt(value, out);
}

ErrCode CHashIni::GetFields(const char* section, const char* key, int32_t* fields,
                            int count) const {
  const char* value = GetString(section, key);
  return value ? ParseFields(value, fields, count) : err::kNotFound;
}

ErrCode CHashIni::GetPoint(const char* section, const char* key, TPoint* out) const {
  if (!out) return err::kBadParams;
  int32_t f[2];
  if (ErrCode error = GetFields(section, key, f, 2)) return error;
  *out = TPoint{Short(f[0]), Short(f[1])};
  return err::kOk;
}

ErrCode CHashIni::GetRect(const char* section, const char* key, TRect* out) const {
  if (!out) return err::kBadParams;
  int32_t f[4];
  if (ErrCode error = GetFields(section, key, f, 4)) return error;
  *out = TRect{Short(f[0]), Short(f[1]), Short(f[2]), Short(f[3])};
  return err::kOk;
}

ErrCode CHashIni::GetRectWH(const char* section, const char* key, TRect* out) const {
  if (!out) return err::kBadParams;
  int32_t f[4];
  if (ErrCode error = GetFields(section, key, f, 4)) return error;
  const auto x = static_cast<uint32_t>(f[0]);
  const auto y = static_cast<uint32_t>(f[1]);
  *out = TRect{Short(x), Short(y), Short(x + static_cast<uint32_t>(f[2]) - 1),
               Short(y + static_cast<uint32_t>(f[3]) - 1)};
  return err::kOk;
}

ErrCode CHashIni::GetColor(const char* section, const char* key, uint8_t* out) const {
  if (!out) return err::kBadParams;
  int32_t f[3];
  if (ErrCode error = GetFields(section, key, f, 3)) return error;
  out[0] = static_cast<uint8_t>(f[2]);
  out[1] = static_cast<uint8_t>(f[1]);
  out[2] = static_cast<uint8_t>(f[0]);
  out[3] = 0;
  return err::kOk;
}

ErrCode CHashIni::GetFlags(const char* section, const char* key, const SIniFlag* table,
                           uint32_t* out) const {
  const char* value = GetString(section, key);
  if (!value) return err::kNotFound;
  if (!table || !out) return err::kBadParams;
  const SWorkValue work(value);
  return ParseFlagList(work.text, table, out);
}

ErrCode CHashIni::GetNamedFlags(const char* section, const char* key,
                                const SIniFlag* table, char* name, size_t name_size,
                                int32_t* number, uint32_t* flags) const {
  const char* value = GetString(section, key);
  if (!value) return err::kNotFound;
  if (!table || !name || name_size == 0 || !number || !flags) return err::kBadParams;
  const SWorkValue work(value);
  const char* comma = std::strchr(work.text, ',');
  if (!comma) return err::kInvalidFormat;
  int32_t read_number = 0;
  const char* rest = std::strchr(ReadDecimal(comma + 1, &read_number), ',');
  uint32_t bits = 0;
  if (rest) {
    if (ErrCode error = ParseFlagList(rest + 1, table, &bits)) return error;
  }
  const size_t length = std::min(static_cast<size_t>(comma - work.text), name_size - 1);
  std::memcpy(name, work.text, length);
  name[length] = '\0';
  *number = read_number;
  *flags = bits;
  return err::kOk;
}

// --- Edits -----------------------------------------------------------------

ErrCode CHashIni::SetString(const char* section, const char* key, const char* value) {
  if (!section || !key || !*key || !value) return err::kBadParams;
  if (SIniSection* record = Find(section)) {
    if (SIniKey* old = Find(record, key)) {
      SIniKey* replacement = NewKey(record, old->name, value, old->comment);
      if (!replacement) return err::kAllocFail;
      InsertKey(replacement, old);
      UnlinkKey(old);
      FreeRecord(old);
      return err::kOk;
    }
  }
  return AddKey(section, key, value, "", nullptr);
}

ErrCode CHashIni::SetInt(const char* section, const char* key, int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
  return SetString(section, key, text);
}

ErrCode CHashIni::AddKey(const char* section, const char* key, const char* value,
                         const char* comment, const SIniKey* before) {
  if (!section) return err::kBadParams;
  if (before && before->section != Find(section)) return err::kBadParams;
  SIniSection* record = FindOrAppendSection(section);
  if (!record) return err::kAllocFail;
  SIniKey* added =
      NewKey(record, key ? key : "", value ? value : "", comment ? comment : "");
  if (!added) return err::kAllocFail;
  // The records belong to this INI; `before` is const only to callers.
  InsertKey(added, const_cast<SIniKey*>(before));
  return err::kOk;
}

ErrCode CHashIni::DeleteKey(const char* section, const char* key) {
  SIniSection* owner = section ? Find(section) : nullptr;
  SIniKey* record = owner && key ? Find(owner, key) : nullptr;
  if (!record) return err::kNotFound;
  UnlinkKey(record);
  FreeRecord(record);
  return err::kOk;
}

ErrCode CHashIni::DeleteSection(const char* section) {
  SIniSection* record = section ? Find(section) : nullptr;
  if (!record) return err::kNotFound;
  while (SIniKey* key = record->first_key) {
    UnlinkKey(key);
    FreeRecord(key);
  }
  SIniSection** link = &m_section_table[SectionIndex(record->name)];
  while (*link != record) link = &(*link)->hash_link;
  *link = record->hash_link;
  (record->prev ? record->prev->next : m_first) = record->next;
  (record->next ? record->next->prev : m_last) = record->prev;
  FreeRecord(record);
  return err::kOk;
}

std::vector<std::pair<std::string, std::string>> SectionEntries(const CHashIni& ini,
                                                                const char* section) {
  std::vector<std::pair<std::string, std::string>> entries;
  const SIniSection* record = ini.FindSection(section);
  for (const SIniKey* key = record ? record->first_key : nullptr; key; key = key->next)
    if (*key->name) entries.emplace_back(key->name, key->value);
  return entries;
}
