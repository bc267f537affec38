// Access to one handle of a store beyond plain reads and writes: a
// sequential stream from the handle's start, and a private in-memory copy
// that goes back to the handle when it was changed.
#pragma once

#include <cstdint>
#include <vector>

#include "fs/bfhp.h"
#include "fs/byte_stream.h"

// Reads go straight to the store. Writes collect in memory and reach the
// handle at Finish, which also ends the handle where the writing ended.
class CHandleStream : public CByteStream {
 public:
  CHandleStream(CBFHP* store, StoreHandle handle, uint32_t start = 0)
      : m_store(store), m_handle(handle), m_start(start) {}
  // Learns the handle's size; reads need it first.
  ErrCode BeginReading();
  ErrCode Read(void* buffer, uint32_t length) override;
  ErrCode Write(const void* buffer, uint32_t length) override;
  uint32_t Remaining() const override { return m_size > m_position ? m_size - m_position : 0; }
  ErrCode Finish();

 private:
  CBFHP* m_store;
  StoreHandle m_handle;
  uint32_t m_start;
  uint32_t m_position = 0;
  uint32_t m_size = 0;
  std::vector<uint8_t> m_written;
};

class CHandleMap {
 public:
  CHandleMap(CBFHP* store, StoreHandle handle) : m_store(store), m_handle(handle) {}
  ErrCode Map();
  // Writes the bytes back, resizing the handle, when they were marked dirty.
  ErrCode Unmap();
  std::vector<uint8_t>& Bytes() { return m_bytes; }
  void MarkDirty() { m_dirty = true; }

 private:
  CBFHP* m_store;
  StoreHandle m_handle;
  std::vector<uint8_t> m_bytes;
  bool m_dirty = false;
};
