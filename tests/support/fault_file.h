// A file in memory for store tests that counts its accesses and can fail or
// cut off its Nth write, the way a full disk or a power cut would: a failed
// write answers WRITEFAIL and changes nothing; a cut write keeps half of its
// bytes, answers success, and every later write and truncation is lost.
#pragma once

#include "fs/memory_file.h"

class CFaultFile : public CMemoryFile {
 public:
  using CMemoryFile::CMemoryFile;

  int reads = 0;
  int writes = 0;
  int flushes = 0;
  int fail_write = 0;  // 1-based; 0: never
  int cut_write = 0;
  bool cut = false;

  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override {
    ++reads;
    return CMemoryFile::Read(buffer, length, count);
  }
  ErrCode Write(const void* buffer, uint32_t length, uint32_t* count) override {
    ++writes;
    if (count) *count = 0;
    if (writes == fail_write) return err::kWriteFail;
    if (cut) return err::kOk;
    if (writes == cut_write) {
      cut = true;
      return CMemoryFile::Write(buffer, length / 2, count);
    }
    return CMemoryFile::Write(buffer, length, count);
  }
  ErrCode Flush() override {
    ++flushes;
    return err::kOk;
  }
  ErrCode Truncate() override { return cut ? err::kOk : CMemoryFile::Truncate(); }
};
