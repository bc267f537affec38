// A file held in memory: reads a copy of some bytes, and grows as it is
// written. Small animations are played from one, and the readers' fuzz
// targets and tests feed their inputs through one.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "fs/file.h"

class CMemoryFile : public CFile {
  TV_CLASS(CMemoryFile, CFile)

 public:
  CMemoryFile() : CFile(kOpenRead | kOpenWrite) {}
  explicit CMemoryFile(std::vector<uint8_t> bytes)
      : CFile(kOpenRead | kOpenWrite), m_bytes(std::move(bytes)) {}
  explicit CMemoryFile(std::span<const uint8_t> bytes)
      : CMemoryFile(std::vector<uint8_t>(bytes.begin(), bytes.end())) {}

  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override;
  ErrCode Write(const void* buffer, uint32_t length, uint32_t* count) override;
  // Positions before the start give SEEKFAIL; positions past the end are
  // allowed and read as end of file.
  ErrCode Seek(int32_t offset, int origin) override;
  uint32_t GetSize() override { return static_cast<uint32_t>(m_bytes.size()); }
  uint32_t Tell() override { return m_position; }
  ErrCode Truncate() override;

  const std::vector<uint8_t>& Bytes() const { return m_bytes; }

 private:
  std::vector<uint8_t> m_bytes;
  uint32_t m_position = 0;
};
