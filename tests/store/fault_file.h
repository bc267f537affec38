// An in-memory file for store tests that counts its accesses and can fail or
// cut off its Nth write, the way a full disk or a power cut would: a failed
// write answers WRITEFAIL and changes nothing; a cut write keeps half of its
// bytes, answers success, and every later write and flush is lost.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "fs/file.h"

class CFaultFile : public CFile {
 public:
  explicit CFaultFile(std::string* bytes) : CFile(0xC3), m_bytes(bytes) {}

  int reads = 0;
  int writes = 0;
  int flushes = 0;
  int fail_write = 0;  // 1-based; 0: never
  int cut_write = 0;
  bool cut = false;

  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override {
    ++reads;
    const size_t n = m_pos < m_bytes->size()
                         ? std::min<size_t>(length, m_bytes->size() - m_pos)
                         : 0;
    if (n) std::memcpy(buffer, m_bytes->data() + m_pos, n);
    m_pos += n;
    if (count) *count = static_cast<uint32_t>(n);
    return n == length ? err::kOk : err::kEof;
  }
  ErrCode Write(const void* buffer, uint32_t length, uint32_t* count) override {
    ++writes;
    if (count) *count = 0;
    if (writes == fail_write) return err::kWriteFail;
    if (writes == cut_write) {
      length /= 2;
      cut = true;
    } else if (cut) {
      return err::kOk;
    }
    if (m_bytes->size() < m_pos + length) m_bytes->resize(m_pos + length);
    if (length) std::memcpy(m_bytes->data() + m_pos, buffer, length);
    m_pos += length;
    if (count) *count = length;
    return err::kOk;
  }
  ErrCode Seek(int32_t offset, int origin) override {
    const int64_t base = origin == kSeekSet   ? 0
                         : origin == kSeekCur ? static_cast<int64_t>(m_pos)
                                              : static_cast<int64_t>(m_bytes->size());
    if (base + offset < 0) return err::kSeekFail;
    m_pos = static_cast<size_t>(base + offset);
    return err::kOk;
  }
  uint32_t GetSize() override { return static_cast<uint32_t>(m_bytes->size()); }
  uint32_t Tell() override { return static_cast<uint32_t>(m_pos); }
  ErrCode Flush() override {
    ++flushes;
    return err::kOk;
  }
  ErrCode Truncate() override {
    if (!cut) m_bytes->resize(m_pos);
    return err::kOk;
  }

 private:
  std::string* m_bytes;
  size_t m_pos = 0;
};
