// Dictionaries from short names to fixed-size data. CHashDict keeps its
// records in one array, in insertion order, and finds them through a hash
// index; its image "HDIC" is described at the top of hash_dict.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "base/errors.h"
#include "base/object.h"
#include "fs/byte_stream.h"

// Answers non-zero to stop an enumeration.
using DictCallback = int (*)(std::string_view key, const void* data, void* context);

class CDict : public CObject {
  TV_CLASS(CDict, CObject)

 public:
  static constexpr size_t kKeySize = 64;

  // `old_data` (may be null) receives the data replaced.
  virtual ErrCode Set(std::string_view key, const void* data, void* old_data) = 0;
  virtual ErrCode Update(std::string_view key, const void* data) = 0;
  virtual ErrCode Get(std::string_view key, void* data) const = 0;
  virtual ErrCode Remove(std::string_view key) = 0;
  // Starts after `start` (at the first record when empty). Without a
  // callback one record is delivered: its key to `key`, its data to
  // `context`. With one, records go to the callback until it answers
  // non-zero; `key` receives the last key delivered.
  virtual ErrCode Enumerate(std::string_view start, char* key, size_t key_size,
                            DictCallback callback, void* context) const = 0;
};

class CHashDict : public CDict {
  TV_CLASS(CHashDict, CDict)

 public:
  static constexpr uint32_t kBuckets = 4096;
  static constexpr uint32_t kStep = 256;
  static constexpr uint32_t kRecordHead = 70;

  CHashDict();
  ~CHashDict() override;
  CHashDict(const CHashDict&) = delete;
  CHashDict& operator=(const CHashDict&) = delete;

  // Empties the dictionary and fixes the data size of its records.
  void Init(uint32_t data_size);
  ErrCode Load(CByteStream* stream);
  ErrCode Save(CByteStream* stream) const;

  ErrCode Set(std::string_view key, const void* data, void* old_data) override;
  ErrCode Update(std::string_view key, const void* data) override;
  ErrCode Get(std::string_view key, void* data) const override;
  ErrCode Remove(std::string_view key) override;
  ErrCode Enumerate(std::string_view start, char* key, size_t key_size,
                    DictCallback callback, void* context) const override;

  static uint32_t Hash(std::string_view key);

  uint32_t Count() const { return m_count; }
  uint32_t Capacity() const { return m_capacity; }
  uint32_t RecordSize() const { return kRecordHead + m_data_size; }
  std::string_view KeyAt(uint32_t index) const;
  const uint8_t* DataAt(uint32_t index) const { return Record(index) + kRecordHead; }

 private:
  uint8_t* Record(uint32_t index) const { return m_records.get() + index * RecordSize(); }
  // Record index + 1, or 0.
  uint32_t Find(std::string_view key) const;
  void Index(uint32_t index);
  void Unindex(uint32_t index);
  void Reindex();
  bool SetCapacity(uint32_t capacity);

  uint32_t m_data_size = 0;
  uint32_t m_count = 0;
  uint32_t m_capacity = 0;
  std::unique_ptr<uint8_t[]> m_records;
  std::unique_ptr<uint32_t[]> m_buckets;
};
