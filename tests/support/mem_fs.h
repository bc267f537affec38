// An in-memory file system for tests: files are strings kept by the service,
// mounted under "/mem/" by CMemFsTest.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "fs/file.h"

struct SMemFileData {
  std::string bytes;
  // Reads starting at or past this offset fail with READFAIL.
  size_t fail_reads_at = std::string::npos;
};

class CMemFileService : public CFileService {
  TV_CLASS(CMemFileService, CFileService)

 public:
  std::unique_ptr<CFile> Open(const char* path, uint16_t mode, ErrCode* error) override;
  bool Exists(const char* path) override { return m_files.count(path) != 0; }
  ErrCode Delete(const char* path) override {
    return m_files.erase(path) ? err::kOk : err::kFileNotFound;
  }
  ErrCode RenameOver(const char* old_path, const char* new_path) override;
  ErrCode FlushDir(const char*) override { return err::kOk; }

  SMemFileData& File(const std::string& name);
  uint16_t LastOpenMode() const { return m_last_mode; }

 private:
  std::map<std::string, std::shared_ptr<SMemFileData>> m_files;
  uint16_t m_last_mode = 0;
};

class CMemFsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  void Put(const std::string& name, const std::string& bytes) {
    m_fs->File(name).bytes = bytes;
  }
  const std::string& Get(const std::string& name) { return m_fs->File(name).bytes; }

  CMemFileService* m_fs = nullptr;  // owned by the mount table
};
