#include "store/memory_file.h"

#include <algorithm>
#include <cstring>

ErrCode CMemoryFile::Read(void* buffer, uint32_t length, uint32_t* count) {
  const size_t n = m_position < m_bytes->size()
                       ? std::min<size_t>(length, m_bytes->size() - m_position)
                       : 0;
  if (n) std::memcpy(buffer, m_bytes->data() + m_position, n);
  m_position += n;
  if (count) *count = static_cast<uint32_t>(n);
  return n == length ? err::kOk : err::kEof;
}

ErrCode CMemoryFile::Write(const void* buffer, uint32_t length, uint32_t* count) {
  if (m_bytes->size() < m_position + length) m_bytes->resize(m_position + length);
  if (length) std::memcpy(m_bytes->data() + m_position, buffer, length);
  m_position += length;
  if (count) *count = length;
  return err::kOk;
}

ErrCode CMemoryFile::Seek(int32_t offset, int origin) {
  const int64_t base = origin == kSeekSet   ? 0
                       : origin == kSeekCur ? static_cast<int64_t>(m_position)
                                            : static_cast<int64_t>(m_bytes->size());
  if (base + offset < 0) return err::kSeekFail;
  m_position = static_cast<size_t>(base + offset);
  return err::kOk;
}

ErrCode CMemoryFile::Truncate() {
  m_bytes->resize(m_position);
  return err::kOk;
}
