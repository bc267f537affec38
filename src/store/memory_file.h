// A file held in memory: stores built for a moment (fuzzing, benchmarks,
// tests) live in one of these instead of on disk.
#pragma once

#include <cstddef>
#include <string>

#include "fs/file.h"

class CMemoryFile : public CFile {
  TV_CLASS(CMemoryFile, CFile)

 public:
  // The bytes stay the caller's and must outlive the file.
  explicit CMemoryFile(std::string* bytes, uint16_t mode = 0xC3)
      : CFile(mode), m_bytes(bytes) {}

  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override;
  ErrCode Write(const void* buffer, uint32_t length, uint32_t* count) override;
  ErrCode Seek(int32_t offset, int origin) override;
  uint32_t GetSize() override { return static_cast<uint32_t>(m_bytes->size()); }
  uint32_t Tell() override { return static_cast<uint32_t>(m_position); }
  ErrCode Truncate() override;

 protected:
  std::string* m_bytes;
  size_t m_position = 0;
};
