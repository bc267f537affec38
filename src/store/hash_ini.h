// INI files held in memory.
//
// A CHashIni keeps every section, key and comment line of a file in file
// order, so the file can be written back unchanged apart from edits, and
// finds sections and keys through two chained hash tables whose bucket counts
// the owner picks. Names compare ignoring ASCII case. When a name occurs
// twice, lookups find the later occurrence; both stay in the file order.
//
// Each record is one allocation from the record allocator holding the links
// and the texts. Text pointers handed out stay valid until the record is
// changed, removed or the INI is cleared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "base/memory.h"
#include "base/object.h"
#include "base/geometry.h"

class CFile;

struct SIniKey;

struct SIniSection {
  SIniSection* hash_link;
  SIniSection* next;
  SIniSection* prev;
  SIniKey* first_key;
  SIniKey* last_key;
  const char* name;
  const char* comment;
};

// A key with an empty name is a comment line: it keeps its place in the
// order but is never found by name.
struct SIniKey {
  SIniKey* hash_link;
  SIniKey* next;
  SIniKey* prev;
  SIniSection* section;
  const char* name;
  const char* value;
  const char* comment;
};

// One entry of a flag-name table; a table ends with a null name.
struct SIniFlag {
  const char* name;
  uint32_t bits;
};

// One line as the line reader splits it. The views point into `text`.
struct SIniLine {
  static constexpr size_t kMaxLength = 1023;
  char text[kMaxLength + 1];
  std::string_view key;
  std::string_view value;
  std::string_view comment;
};

class CHashIni : public CObject {
  TV_CLASS(CHashIni, CObject)

 public:
  static constexpr uint16_t kLoadMode = 0xC1;
  static constexpr uint16_t kSaveMode = 0x1E;
  static constexpr size_t kReadBufferSize = 4096;
  // Typed getters parse at most this many characters of a value.
  static constexpr size_t kMaxParsedValue = 127;
  static constexpr uint32_t kCopyWhole = 0xFFFFFFFF;

  // Records come from `allocator`, or from the pointer pool when it is null;
  // an owned allocator is deleted with the INI. Bucket counts of 0 count as 1.
  CHashIni(uint32_t section_buckets, uint32_t key_buckets, CMemPool* allocator = nullptr,
           bool owns_allocator = false);
  ~CHashIni() override;
  CHashIni(const CHashIni&) = delete;
  CHashIni& operator=(const CHashIni&) = delete;

  // The case-insensitive string hash of both tables.
  static uint32_t Hash(const char* text);

  // Each load discards the present content first. A file that cannot be
  // opened leaves the INI empty and answers the open's error; a read error
  // or a record that cannot be allocated stops the load there and keeps what
  // was read. Loading a file by name first removes a copy left by an
  // interrupted Save (fs/replace.h).
  ErrCode Load(const char* path);
  ErrCode Load(CFile* file);
  ErrCode LoadText(std::string_view text);

  // The writer's form of the whole INI.
  std::string Text() const;
  // Replaces the file whole through a copy: interrupted, it leaves the old
  // file or the new one.
  ErrCode Save(const char* path) const;
  ErrCode Save(CFile* file) const;

  void Clear();

  const SIniSection* FindSection(const char* section) const;
  const SIniKey* FindKey(const char* section, const char* key) const;
  const SIniSection* FirstSection() const { return m_first; }
  const SIniSection* LastSection() const { return m_last; }

  // Null when the key is missing.
  const char* GetString(const char* section, const char* key) const;
  // At most size - 1 characters and a NUL; kCopyWhole copies the whole value.
  ErrCode GetStringCopy(const char* section, const char* key, char* buffer,
                        uint32_t size) const;

  // The typed getters answer NOTFOUND for a missing key and leave `out` as it
  // was, so a caller presets its default. GetInt stores the value read so far
  // also when it answers INVALIDFORMAT; the others store only on success.
  ErrCode GetInt(const char* section, const char* key, int32_t* out) const;
  ErrCode GetPoint(const char* section, const char* key, TPoint* out) const;
  ErrCode GetRect(const char* section, const char* key, TRect* out) const;
  ErrCode GetRectWH(const char* section, const char* key, TRect* out) const;
  // Four bytes: blue, green, red, 0.
  ErrCode GetColor(const char* section, const char* key, uint8_t* out) const;
  // `out` receives the or of the listed flags' bits.
  ErrCode GetFlags(const char* section, const char* key, const SIniFlag* table,
                   uint32_t* out) const;
  // "name, number[, flag, flag...]"; the name is cut to fit `name_size`.
  ErrCode GetNamedFlags(const char* section, const char* key, const SIniFlag* table,
                        char* name, size_t name_size, int32_t* number,
                        uint32_t* flags) const;

  ErrCode SetString(const char* section, const char* key, const char* value);
  ErrCode SetInt(const char* section, const char* key, int32_t value);
  // Inserts before `before` (a key of that section), or at its end when
  // `before` is null.
  ErrCode AddKey(const char* section, const char* key, const char* value,
                 const char* comment, const SIniKey* before);
  ErrCode DeleteKey(const char* section, const char* key);
  ErrCode DeleteSection(const char* section);

 protected:
  // Fills `line` with the next line; answers whether more input follows. At
  // the end of the input the line is empty. The last line is processed also
  // when no more input follows.
  virtual bool ReadLine(SIniLine* line);

  // The reader's input, byte by byte: -1 at the end or after a read error.
  int PeekByte();
  int NextByte() {
    const int c = PeekByte();
    if (c >= 0) ++m_read_pos;
    return c;
  }

 private:
  ErrCode Parse();
  bool Refill();
  void* AllocRecord(size_t size);
  void FreeRecord(void* record);
  SIniSection* NewSection(std::string_view name, std::string_view comment);
  SIniKey* NewKey(SIniSection* section, std::string_view name, std::string_view value,
                  std::string_view comment);
  SIniSection* FindOrAppendSection(const char* section);
  void AppendSection(SIniSection* section);
  void InsertKey(SIniKey* key, SIniKey* before);
  void UnlinkKey(SIniKey* key);
  size_t SectionIndex(const char* name) const;
  size_t KeyIndex(const SIniSection* section, const char* name) const;
  SIniSection* Find(const char* section) const;
  SIniKey* Find(const SIniSection* section, const char* key) const;
  ErrCode GetFields(const char* section, const char* key, int32_t* fields,
                    int count) const;

  std::vector<SIniSection*> m_section_table;
  std::vector<SIniKey*> m_key_table;
  SIniSection* m_first = nullptr;
  SIniSection* m_last = nullptr;
  CMemPool* m_allocator;
  std::unique_ptr<CMemPool> m_owned_allocator;

  // Line reader state while loading.
  std::unique_ptr<char[]> m_read_buffer;
  const char* m_read_data = nullptr;
  size_t m_read_bytes = 0;
  size_t m_read_pos = 0;
  CFile* m_source = nullptr;
  ErrCode m_read_error = err::kOk;
};

// The key/value pairs of a section in file order, comment lines left out;
// empty when the section is missing.
std::vector<std::pair<std::string, std::string>> SectionEntries(const CHashIni& ini,
                                                                const char* section);
