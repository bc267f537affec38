// A file held in memory. Its bytes live in a shared string: a caller that
// keeps the string sees what is written and may change the bytes between
// accesses (tests, fuzz targets and benchmarks do), and files small enough
// to be read whole (short animations) are served from one.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "fs/file.h"

class CMemoryFile : public CFile {
  TV_CLASS(CMemoryFile, CFile)

 public:
  // An empty file.
  CMemoryFile() : CMemoryFile(std::make_shared<std::string>()) {}
  explicit CMemoryFile(std::shared_ptr<std::string> bytes);
  // A file holding a copy of `bytes`.
  explicit CMemoryFile(std::string_view bytes)
      : CMemoryFile(std::make_shared<std::string>(bytes)) {}
  explicit CMemoryFile(std::span<const uint8_t> bytes)
      : CMemoryFile(std::string_view(reinterpret_cast<const char*>(bytes.data()),
                                     bytes.size())) {}

  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override;
  ErrCode Write(const void* buffer, uint32_t length, uint32_t* count) override;
  // Positions before the start give SEEKFAIL; positions past the end are
  // allowed, read as end of file, and a write there fills the gap with zeros.
  ErrCode Seek(int32_t offset, int origin) override;
  uint32_t GetSize() override { return static_cast<uint32_t>(m_bytes->size()); }
  uint32_t Tell() override { return m_position; }
  // Past the end, grows the file with zeros up to the position.
  ErrCode Truncate() override;

  const std::string& Bytes() const { return *m_bytes; }
  std::span<const uint8_t> Data() const {
    return {reinterpret_cast<const uint8_t*>(m_bytes->data()), m_bytes->size()};
  }

 private:
  std::shared_ptr<std::string> m_bytes;
  uint32_t m_position = 0;
};
