// A test over the native file system seen through a fault layer
// (support/fault_file.h) mounted for every path, with a temporary directory
// of its own.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "fs/file_service.h"
#include "fs/native_fs.h"
#include "support/fault_file.h"
#include "support/temp_dir.h"

class CFaultNativeFsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitFileService(4);
    RegisterMount("", std::make_unique<CFaultFileService>(std::make_unique<CWinFileService>(), m_plan),
                  0);
  }
  void TearDown() override { ShutdownFileService(); }

  std::shared_ptr<SFaultPlan> m_plan = std::make_shared<SFaultPlan>();
  CTempDir m_dir;
};
