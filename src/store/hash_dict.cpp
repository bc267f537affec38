// The hash dictionary and its image.
//
// Image "HDIC", little-endian:
//    0  4  magic "HDIC"
//    4  4  header size, 16
//    8  4  record size = 70 + data size
//   12  4  record count
//   16     the records, in dictionary order
// Record: u32 link (the in-memory chain word, meaningless in the image),
// char key[64] (NUL-padded; a 64-byte key has no terminator), u16 in-use
// flag 1, then the data.
//
// In memory the records keep exactly that layout in one array that grows and
// shrinks in steps of 256 records; the link word chains the records of one
// of 4096 hash buckets (record index + 1, 0 ends the chain). Removing a
// record moves the last one into its place.
#include "base/byte_order.h"
#include "store/hash_dict.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr char kMagic[4] = {'H', 'D', 'I', 'C'};
constexpr uint32_t kImageHeaderSize = 16;
constexpr size_t kFlagOffset = 4 + CDict::kKeySize;

std::string_view Cut(std::string_view key) { return key.substr(0, CDict::kKeySize); }

}  // namespace

CHashDict::CHashDict() : m_buckets(std::make_unique<uint32_t[]>(kBuckets)) {}
CHashDict::~CHashDict() = default;

uint32_t CHashDict::Hash(std::string_view key) {
  uint32_t h = 0;
  for (char c : Cut(key)) {
    const int8_t s = static_cast<int8_t>(c);
    h = std::rotr(h, 1) + h + (s >= 0 ? 2u * static_cast<uint32_t>(s) : 0xFFFFFFFFu);
  }
  return h;
}

void CHashDict::Init(uint32_t data_size) {
  m_data_size = data_size;
  m_count = 0;
  m_capacity = 0;
  m_records.reset();
  std::fill_n(m_buckets.get(), kBuckets, 0);
}

std::string_view CHashDict::KeyAt(uint32_t index) const {
  const char* key = reinterpret_cast<const char*>(Record(index) + 4);
  return {key, strnlen(key, kKeySize)};
}

uint32_t CHashDict::Find(std::string_view key) const {
  key = Cut(key);
  for (uint32_t link = m_buckets[Hash(key) % kBuckets]; link != 0;) {
    const uint32_t index = link - 1;
    if (KeyAt(index) == key) return link;
    link = GetLe32(Record(index));
  }
  return 0;
}

void CHashDict::Index(uint32_t index) {
  uint32_t& head = m_buckets[Hash(KeyAt(index)) % kBuckets];
  PutLe32(Record(index), head);
  head = index + 1;
}

void CHashDict::Unindex(uint32_t index) {
  uint32_t* head = &m_buckets[Hash(KeyAt(index)) % kBuckets];
  const uint32_t after = GetLe32(Record(index));
  if (*head == index + 1) {
    *head = after;
    return;
  }
  for (uint32_t link = *head; link != 0;) {
    uint8_t* record = Record(link - 1);
    link = GetLe32(record);
    if (link == index + 1) {
      PutLe32(record, after);
      return;
    }
  }
}

// Rebuilt from every record in order, so the first of two equal keys is
// found first.
void CHashDict::Reindex() {
  std::fill_n(m_buckets.get(), kBuckets, 0);
  for (uint32_t index = m_count; index-- > 0;) Index(index);
}

bool CHashDict::SetCapacity(uint32_t capacity) {
  std::unique_ptr<uint8_t[]> records(new (std::nothrow) uint8_t[size_t{capacity} * RecordSize()]);
  if (!records && capacity) return false;
  if (m_count) std::memcpy(records.get(), m_records.get(), size_t{m_count} * RecordSize());
  m_records = std::move(records);
  m_capacity = capacity;
  Reindex();
  return true;
}

ErrCode CHashDict::Set(std::string_view key, const void* data, void* old_data) {
  if (const uint32_t link = Find(key)) {
    uint8_t* record_data = Record(link - 1) + kRecordHead;
    if (old_data) std::memcpy(old_data, record_data, m_data_size);
    std::memcpy(record_data, data, m_data_size);
    return err::kOk;
  }
  if (m_count == m_capacity && !SetCapacity(m_capacity + kStep)) return err::kAllocFail;
  uint8_t* record = Record(m_count);
  std::memset(record, 0, RecordSize());
  key = Cut(key);
  std::memcpy(record + 4, key.data(), key.size());
  record[kFlagOffset] = 1;
  std::memcpy(record + kRecordHead, data, m_data_size);
  Index(m_count++);
  return err::kOk;
}

ErrCode CHashDict::Update(std::string_view key, const void* data) {
  const uint32_t link = Find(key);
  if (!link) return err::kNotFound;
  std::memcpy(Record(link - 1) + kRecordHead, data, m_data_size);
  return err::kOk;
}

ErrCode CHashDict::Get(std::string_view key, void* data) const {
  const uint32_t link = Find(key);
  if (!link) return err::kNotFound;
  std::memcpy(data, Record(link - 1) + kRecordHead, m_data_size);
  return err::kOk;
}

ErrCode CHashDict::Remove(std::string_view key) {
  const uint32_t link = Find(key);
  if (!link) return err::kNotFound;
  const uint32_t index = link - 1;
  const uint32_t last = m_count - 1;
  Unindex(index);
  if (index != last) {
    Unindex(last);
    std::memcpy(Record(index), Record(last), RecordSize());
    Index(index);
  }
  std::memset(Record(last), 0, RecordSize());
  --m_count;
  if (m_capacity - m_count >= kStep) SetCapacity(m_capacity - kStep);
  return err::kOk;
}

ErrCode CHashDict::Enumerate(std::string_view start, char* key, size_t key_size,
                             DictCallback callback, void* context) const {
  uint32_t index = 0;
  if (!start.empty()) {
    const uint32_t link = Find(start);
    if (!link) return err::kNotFound;
    index = link;
  }
  for (; index < m_count; ++index) {
    const std::string_view name = KeyAt(index);
    if (key && key_size) {
      const size_t n = std::min(name.size(), key_size - 1);
      std::memcpy(key, name.data(), n);
      key[n] = '\0';
    }
    if (!callback) {
      if (context) std::memcpy(context, DataAt(index), m_data_size);
      return err::kOk;
    }
    if (callback(name, DataAt(index), context)) return err::kOk;
  }
  return err::kNotFound;
}

ErrCode CHashDict::Save(CByteStream* stream) const {
  uint8_t header[kImageHeaderSize];
  std::memcpy(header, kMagic, 4);
  PutLe32(header + 4, kImageHeaderSize);
  PutLe32(header + 8, RecordSize());
  PutLe32(header + 12, m_count);
  if (ErrCode error = stream->Write(header, kImageHeaderSize)) return error;
  if (m_count == 0) return err::kOk;
  return stream->Write(m_records.get(), m_count * RecordSize());
}

ErrCode CHashDict::Load(CByteStream* stream) {
  Init(m_data_size);
  uint8_t header[kImageHeaderSize];
  if (stream->Read(header, kImageHeaderSize)) return err::kInvalidFormat;
  if (std::memcmp(header, kMagic, 4) != 0) return err::kInvalidFormat;
  const uint32_t record_size = GetLe32(header + 8);
  const uint32_t count = GetLe32(header + 12);
  if (record_size != RecordSize() || uint64_t{count} * record_size > stream->Remaining())
    return err::kInvalidFormat;
  const uint32_t capacity = (count + kStep - 1) / kStep * kStep;
  if (!SetCapacity(capacity)) return err::kAllocFail;
  if (count && stream->Read(m_records.get(), count * record_size)) return err::kInvalidFormat;
  m_count = count;
  Reindex();
  return err::kOk;
}
