#include "fs/memory_file.h"

#include <algorithm>
#include <cstring>
#include <new>

CMemoryFile::CMemoryFile(std::shared_ptr<std::string> bytes)
    : CFile(kOpenRead | kOpenWrite), m_bytes(std::move(bytes)) {
  SetStateWord(1);
}

ErrCode CMemoryFile::Read(void* buffer, uint32_t length, uint32_t* count) {
  const uint32_t size = GetSize();
  const uint32_t n = m_position < size ? std::min(length, size - m_position) : 0;
  if (n) std::memcpy(buffer, m_bytes->data() + m_position, n);
  m_position += n;
  if (count) *count = n;
  return n == length ? err::kOk : err::kEof;
}

ErrCode CMemoryFile::Write(const void* buffer, uint32_t length, uint32_t* count) {
  if (count) *count = 0;
  const uint64_t end = uint64_t{m_position} + length;
  if (end > UINT32_MAX) return err::kWriteFail;
  try {
    if (end > m_bytes->size()) m_bytes->resize(end);
  } catch (const std::bad_alloc&) {
    return err::kNotEnoughMem;
  }
  if (length) std::memcpy(m_bytes->data() + m_position, buffer, length);
  m_position = static_cast<uint32_t>(end);
  if (count) *count = length;
  return err::kOk;
}

ErrCode CMemoryFile::Seek(int32_t offset, int origin) {
  const int64_t base = origin == kSeekCur ? m_position : origin == kSeekEnd ? GetSize() : 0;
  const int64_t position = base + offset;
  if (position < 0 || position > UINT32_MAX) return err::kSeekFail;
  m_position = static_cast<uint32_t>(position);
  return err::kOk;
}

ErrCode CMemoryFile::Truncate() {
  try {
    m_bytes->resize(m_position);
  } catch (const std::bad_alloc&) {
    return err::kNotEnoughMem;
  }
  return err::kOk;
}
