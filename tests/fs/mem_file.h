// A file held in a string the test keeps, for layered files.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "fs/file.h"

class CMemFile : public CFile {
  TV_CLASS(CMemFile, CFile)

 public:
  explicit CMemFile(std::shared_ptr<std::string> bytes)
      : CFile(kOpenRead | kOpenWrite), m_bytes(std::move(bytes)) {
    SetStateWord(1);
  }

  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override {
    const size_t n = m_position < m_bytes->size()
                         ? std::min<size_t>(length, m_bytes->size() - m_position)
                         : 0;
    if (n) std::memcpy(buffer, m_bytes->data() + m_position, n);
    m_position += n;
    if (count) *count = static_cast<uint32_t>(n);
    return n == length ? err::kOk : err::kEof;
  }
  ErrCode Write(const void* buffer, uint32_t length, uint32_t* count) override {
    if (m_bytes->size() < m_position + length) m_bytes->resize(m_position + length);
    if (length) std::memcpy(m_bytes->data() + m_position, buffer, length);
    m_position += length;
    if (count) *count = length;
    return err::kOk;
  }
  ErrCode Seek(int32_t offset, int origin) override {
    const int64_t base = origin == kSeekCur   ? static_cast<int64_t>(m_position)
                         : origin == kSeekEnd ? static_cast<int64_t>(m_bytes->size())
                                              : 0;
    if (base + offset < 0) return err::kSeekFail;
    m_position = static_cast<size_t>(base + offset);
    return err::kOk;
  }
  uint32_t GetSize() override { return static_cast<uint32_t>(m_bytes->size()); }
  uint32_t Tell() override { return static_cast<uint32_t>(m_position); }
  ErrCode Truncate() override {
    m_bytes->resize(m_position);
    return err::kOk;
  }

 private:
  std::shared_ptr<std::string> m_bytes;
  size_t m_position = 0;
};
