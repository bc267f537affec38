// Pack file layout (integers little-endian, unsigned 32-bit):
//
//   offset  size  field
//   0       18    "TOVSYS PackFile\n" 0x1A 0x00
//   18      14    unused (writers put zeros)
//   32      4     number of directory entries N
//   36      4     size of the directory in bytes D
//   40      D     directory
//   40 + D  ...   file data, addressed by absolute offsets
//
// The directory is N entries back to back, in ascending order of their names
// (bytes compared as unsigned, a name before every longer name it begins):
//
//   1       name length L (1 to 255)
//   1       S: leading characters taken from the previous entry's name
//   L - S   the rest of the name
//   4       offset of the file's data from the start of the pack
//   4       size of the file's data
//
// Names are upper case with "\\" separators and no leading separator; a name
// ending in "\\" marks a directory. Loading checks everything a lookup relies
// on: the counts stay inside the directory, no name is empty, S never passes
// the previous name, the names ascend strictly and every data range lies
// inside the pack file.
//
// Lookups bisect a sparse index of every 100th entry and then walk at most
// 100 entries. The walk keeps how many characters the previous name shares
// with the key: an entry taking more than that from its predecessor shares
// the predecessor's smaller character and is passed over without looking at
// its bytes.
#include "fs/pack_fs.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/byte_order.h"
#include "fs/file_service.h"

namespace {

constexpr char kPackMagic[] = "TOVSYS PackFile\n\x1A";  // with its NUL: 18 bytes
constexpr uint32_t kMagicSize = sizeof kPackMagic;
constexpr uint32_t kHeaderSize = 40;
constexpr uint32_t kCountOffset = 32;
constexpr uint32_t kDirectorySizeOffset = 36;
constexpr uint32_t kEntryDataSize = 8;
constexpr uint32_t kPackIndexStep = 100;

// One entry as stored.
struct SRawEntry {
  uint8_t length;
  uint8_t shared;
  const uint8_t* rest;
  SPackData data;
  uint32_t next;  // position of the following entry

  uint32_t RestLength() const { return length - shared; }
};

// Callers only pass positions of entries that Load checked.
SRawEntry EntryAt(const uint8_t* directory, uint32_t position) {
  const uint8_t* entry = directory + position;
  SRawEntry raw{entry[0], entry[1], entry + 2, {}, 0};
  const uint8_t* data = raw.rest + raw.RestLength();
  raw.data = {GetLe32(data), GetLe32(data + 4)};
  raw.next = position + 2 + raw.RestLength() + kEntryDataSize;
  return raw;
}

std::string_view RestOf(const SRawEntry& raw) {
  return {reinterpret_cast<const char*>(raw.rest), raw.RestLength()};
}

size_t CommonLength(std::string_view a, std::string_view b) {
  const size_t limit = std::min(a.size(), b.size());
  size_t i = 0;
  while (i < limit && a[i] == b[i]) ++i;
  return i;
}

// `name` becomes the entry's full name, rebuilt from its predecessor's.
void RebuildName(const SRawEntry& raw, std::string* name) {
  name->resize(raw.shared);
  name->append(RestOf(raw));
}

// Listing state: the directory text's length, the current entry and the
// sub-directory name handed out.
class CPackFindRecord : public CFindRecord {
 public:
  std::string directory;  // normalised, ending in "\\" unless empty
  bool ended = false;
  SPackEntry entry;
  std::string subdirectory;
};

}  // namespace

std::string NormalisePackName(const char* path) {
  std::string key(path ? path : "");
  if (key.size() > kPackNameLimit) key.resize(kPackNameLimit);
  for (char& c : key) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c == '/') c = '\\';
  }
  return key;
}

struct CPackDirectory::SBound {
  uint32_t index;
  uint32_t position;
  size_t common;  // characters the entry shares with the key
  bool exact;
};

ErrCode CPackDirectory::Load(CFile& pack) {
  uint8_t header[kHeaderSize];
  if (ErrCode error = pack.ReadAt(header, 0, kHeaderSize, nullptr)) return error;
  if (std::memcmp(header, kPackMagic, kMagicSize) != 0) return err::kUnknownError;
  const uint32_t count = GetLe32(header + kCountOffset);
  const uint32_t size = GetLe32(header + kDirectorySizeOffset);
  const uint64_t pack_size = pack.GetSize();
  if (kHeaderSize + uint64_t{size} > pack_size) return err::kInvalidFormat;
  // The smallest entry takes 11 bytes.
  if (uint64_t{count} * 11 > size) return err::kInvalidFormat;

  CHandle block(AllocHandle(size));
  if (size && !block) return err::kAllocFail;
  CHandleLock lock(block.get());
  if (size && !lock) return err::kLockFail;
  const uint8_t* directory = lock.as<uint8_t>();
  if (size) {
    if (ErrCode error = pack.ReadAt(lock.get(), kHeaderSize, size, nullptr))
      return error;
  }

  std::vector<SIndexRow> index;
  index.reserve(count / kPackIndexStep);
  std::string index_names;
  std::string name, previous;
  uint32_t position = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (size - position < 2) return err::kInvalidFormat;
    const uint8_t length = directory[position], shared = directory[position + 1];
    if (length == 0 || shared > length || shared > previous.size())
      return err::kInvalidFormat;
    if (size - position - 2 < static_cast<uint32_t>(length - shared) + kEntryDataSize)
      return err::kInvalidFormat;
    const SRawEntry raw = EntryAt(directory, position);
    name.assign(previous, 0, shared);
    name.append(RestOf(raw));
    if (i > 0 && name <= previous) return err::kInvalidFormat;
    if (uint64_t{raw.data.offset} + raw.data.size > pack_size)
      return err::kInvalidFormat;
    if (i % kPackIndexStep == 0 && i / kPackIndexStep < count / kPackIndexStep) {
      index.push_back({position, static_cast<uint32_t>(index_names.size()),
                       static_cast<uint32_t>(name.size())});
      index_names += name;
    }
    previous.swap(name);
    position = raw.next;
  }
  if (position != size) return err::kInvalidFormat;

  m_block = std::move(block);
  m_size = size;
  m_count = count;
  m_index = std::move(index);
  m_index_names = std::move(index_names);
  return err::kOk;
}

bool CPackDirectory::LowerBound(const uint8_t* directory, std::string_view key,
                                SBound* bound) const {
  uint32_t index = 0, position = 0;
  size_t common = 0;  // shared by the previous entry, which is below the key
  auto row = std::upper_bound(
      m_index.begin(), m_index.end(), key,
      [this](std::string_view k, const SIndexRow& r) { return k < RowName(r); });
  if (row != m_index.begin()) {
    --row;
    index = static_cast<uint32_t>(row - m_index.begin()) * kPackIndexStep;
    position = row->position;
    const std::string_view row_name = RowName(*row);
    common = CommonLength(row_name, key);
    if (common == key.size() && common == row_name.size()) {
      *bound = {index, position, common, true};
      return true;
    }
    position = EntryAt(directory, position).next;
    ++index;
  }
  for (; index < m_count; ++index) {
    const SRawEntry raw = EntryAt(directory, position);
    if (raw.shared <= common) {
      // The entry is key[0, shared) followed by its rest.
      size_t j = raw.shared;
      while (j < raw.length && j < key.size() && raw.rest[j - raw.shared] ==
                                                     static_cast<uint8_t>(key[j]))
        ++j;
      if (j == raw.length && j == key.size()) {
        *bound = {index, position, j, true};
        return true;
      }
      if (j == key.size() ||
          (j < raw.length &&
           raw.rest[j - raw.shared] > static_cast<uint8_t>(key[j]))) {
        *bound = {index, position, j, false};
        return true;
      }
      common = j;
    }
    position = raw.next;
  }
  return false;
}

bool CPackDirectory::Find(std::string_view key, SPackData* data) const {
  if (m_count == 0) return false;
  CHandleLock lock(m_block.get());
  const uint8_t* directory = lock.as<uint8_t>();
  SBound bound;
  if (!directory || !LowerBound(directory, key, &bound) || !bound.exact)
    return false;
  *data = EntryAt(directory, bound.position).data;
  return true;
}

bool CPackDirectory::FindPrefix(std::string_view prefix, SPackEntry* entry) const {
  if (m_count == 0) return false;
  CHandleLock lock(m_block.get());
  const uint8_t* directory = lock.as<uint8_t>();
  SBound bound;
  if (!directory || !LowerBound(directory, prefix, &bound) ||
      bound.common < prefix.size())
    return false;
  const SRawEntry raw = EntryAt(directory, bound.position);
  entry->index = bound.index;
  entry->position = bound.position;
  entry->data = raw.data;
  if (bound.exact) {
    entry->name.assign(prefix);
  } else {
    entry->name.assign(prefix, 0, raw.shared);
    entry->name.append(RestOf(raw));
  }
  return true;
}

bool CPackDirectory::Next(SPackEntry* entry) const {
  if (entry->index + 1 >= m_count) return false;
  CHandleLock lock(m_block.get());
  const uint8_t* directory = lock.as<uint8_t>();
  if (!directory) return false;
  const uint32_t position = EntryAt(directory, entry->position).next;
  const SRawEntry raw = EntryAt(directory, position);
  ++entry->index;
  entry->position = position;
  entry->data = raw.data;
  RebuildName(raw, &entry->name);
  return true;
}

std::unique_ptr<CFile> CPackFS::Open(const char* path, uint16_t mode,
                                     ErrCode* error) {
  ErrCode ignored;
  if (!error) error = &ignored;
  if (mode & kOpenWrite) {
    *error = kPackWriteDenied;
    return nullptr;
  }
  SPackData data;
  if (!m_directory.Find(NormalisePackName(path), &data)) {
    *error = err::kFileNotFound;
    return nullptr;
  }
  *error = err::kOk;
  return std::make_unique<CPackFile>(*m_pack, data, mode);
}

bool CPackFS::Exists(const char* path) {
  SPackEntry entry;
  return m_directory.FindPrefix(NormalisePackName(path), &entry) &&
         entry.name.back() != '\\';
}

uint32_t CPackFS::GetEntryOffset(const char* path, ErrCode* error) {
  SPackData data;
  const bool found = m_directory.Find(NormalisePackName(path), &data);
  if (error) *error = found ? err::kOk : err::kFileNotFound;
  return found ? data.offset : 0;
}

namespace {

// Fills the context from the record's current entry. A name with a further
// "\\" after the listed directory lies in a sub-directory: the sub-directory
// is reported and the rest of its entries are passed over.
void Classify(const CPackDirectory& directory, CPackFindRecord* record,
              FindContext* context) {
  SPackEntry& entry = record->entry;
  const size_t m = record->directory.size();
  const size_t separator = entry.name.find('\\', m);
  if (separator == std::string::npos) {
    context->attributes = kAttrReadOnly;
    context->name = entry.name.c_str() + m;
    return;
  }
  record->subdirectory = entry.name.substr(m, separator - m);
  const std::string path = entry.name.substr(0, separator + 1);
  SPackEntry next = entry;
  while (directory.Next(&next) && next.name.compare(0, path.size(), path) == 0)
    entry = next;
  context->attributes = kAttrDirectory | kAttrReadOnly;
  context->name = record->subdirectory.c_str();
}

}  // namespace

ErrCode CPackFS::FindFirst(FindContext* context, const char* directory) {
  std::string prefix = NormalisePackName(directory);
  if (!prefix.empty() && prefix.back() != '\\') prefix += '\\';
  std::unique_ptr<CPackFindRecord> record(new (std::nothrow) CPackFindRecord);
  if (!record) return err::kAllocFail;
  context->owner = this;
  context->attributes = 0;
  context->name = nullptr;
  if (!m_directory.FindPrefix(prefix, &record->entry)) {
    record->ended = true;
    context->record = std::move(record);
    return err::kNotFound;
  }
  record->directory = std::move(prefix);
  Classify(m_directory, record.get(), context);
  context->record = std::move(record);
  return err::kOk;
}

ErrCode CPackFS::FindNext(FindContext* context) {
  auto* record = dynamic_cast<CPackFindRecord*>(context->record.get());
  if (!record) return err::kBadParams;
  SPackEntry& entry = record->entry;
  if (record->ended || !m_directory.Next(&entry) ||
      entry.name.compare(0, record->directory.size(), record->directory) != 0) {
    record->ended = true;
    return err::kNotFound;
  }
  Classify(m_directory, record, context);
  return err::kOk;
}

ErrCode CPackFS::FindClose(FindContext* context) {
  context->record.reset();
  context->owner = nullptr;
  context->attributes = 0;
  context->name = nullptr;
  return err::kOk;
}

CPackFile::CPackFile(CFile& pack, SPackData data, uint16_t mode)
    : CFile(mode), m_data(data) {
  SetUnderlying(&pack, false);
  SetStateWord(1);
}

ErrCode CPackFile::Read(void* buffer, uint32_t length, uint32_t* count) {
  if (count) *count = 0;
  if (m_position >= m_data.size) return err::kEof;
  uint32_t n = length;
  if (n > m_data.size - m_position) {
    if (!count) return err::kEof;
    n = m_data.size - m_position;
  }
  if (ErrCode error =
          Underlying()->ReadAt(buffer, m_data.offset + m_position, n, nullptr))
    return error;
  m_position += n;
  if (count) *count = n;
  return err::kOk;
}

ErrCode CPackFile::Write(const void*, uint32_t, uint32_t* count) {
  if (count) *count = 0;
  return err::kNotImplementedYet;
}

ErrCode CPackFile::Seek(int32_t offset, int origin) {
  const int64_t base = origin == kSeekCur   ? m_position
                       : origin == kSeekEnd ? m_data.size
                                            : 0;
  const int64_t position = base + offset;
  if (position < 0 || position > UINT32_MAX) return err::kUnknownError;
  m_position = static_cast<uint32_t>(position);
  return err::kOk;
}

ErrCode CPackFile::Flush() { return Underlying()->Flush(); }
ErrCode CPackFile::Truncate() { return err::kNotImplementedYet; }

ErrCode MountPack(std::unique_ptr<CFile> file, const char* prefix) {
  if (!file || file->StateWord() == 0) return err::kUnknownError;
  std::unique_ptr<CPackFS> fs(new (std::nothrow) CPackFS(std::move(file)));
  if (!fs) return err::kAllocFail;
  if (ErrCode error = fs->Load()) return error;
  RegisterMount(prefix, std::move(fs), 0);
  return err::kOk;
}

ErrCode UnmountPack(const char* prefix) {
  const char* rest = prefix;
  if (!KindOf<CPackFS>(ResolvePath(&rest))) return err::kNotFound;
  return UnregisterMount(prefix) ? err::kOk : err::kNotFound;
}
