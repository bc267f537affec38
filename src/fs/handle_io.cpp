#include "fs/handle_io.h"

#include <cstring>

ErrCode CHandleStream::BeginReading() {
  uint32_t size = 0;
  if (ErrCode error = m_store->SizeOf(m_handle, &size)) return error;
  m_size = size > m_start ? size - m_start : 0;
  m_position = 0;
  return err::kOk;
}

ErrCode CHandleStream::Read(void* buffer, uint32_t length) {
  if (length > Remaining()) return err::kEof;
  if (length == 0) return err::kOk;
  if (ErrCode error = m_store->Read(m_handle, buffer, m_start + m_position, length))
    return error;
  m_position += length;
  return err::kOk;
}

ErrCode CHandleStream::Write(const void* buffer, uint32_t length) {
  const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
  m_written.insert(m_written.end(), bytes, bytes + length);
  return err::kOk;
}

ErrCode CHandleStream::Finish() {
  const uint32_t end = m_start + static_cast<uint32_t>(m_written.size());
  if (ErrCode error = m_store->Resize(m_handle, end)) return error;
  if (!m_written.empty())
    if (ErrCode error = m_store->Write(m_handle, m_written.data(), m_start,
                                       static_cast<uint32_t>(m_written.size())))
      return error;
  m_written.clear();
  return err::kOk;
}

ErrCode CHandleMap::Map() {
  uint32_t size = 0;
  if (ErrCode error = m_store->SizeOf(m_handle, &size)) return error;
  m_bytes.resize(size);
  m_dirty = false;
  if (size == 0) return err::kOk;
  return m_store->Read(m_handle, m_bytes.data(), 0, size);
}

ErrCode CHandleMap::Unmap() {
  if (!m_dirty) return err::kOk;
  const uint32_t size = static_cast<uint32_t>(m_bytes.size());
  if (ErrCode error = m_store->Resize(m_handle, size)) return error;
  if (size)
    if (ErrCode error = m_store->Write(m_handle, m_bytes.data(), 0, size)) return error;
  m_dirty = false;
  return err::kOk;
}
