// The exit report's layout, byte by byte.
#include <gtest/gtest.h>

#include "base/log.h"
#include "app/exit_report.h"
#include "fs/file_service.h"
#include "fs/native_fs.h"
#include "support/temp_dir.h"

class ExitReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MountNativeFileSystem();
    SetLogMode(true, true);
    TakeEarlyLog();
    m_previous = std::filesystem::current_path();
    std::filesystem::current_path(m_dir.Path());
  }
  void TearDown() override {
    std::filesystem::current_path(m_previous);
    ShutdownFileService();
    TakeEarlyLog();
  }
  CTempDir m_dir;
  std::filesystem::path m_previous;
};

TEST_F(ExitReportTest, AReportIsTheFrameTheLogAndTwoLineFeeds) {
  LogMessage(kLogEngine, "first line\n");
  WriteExitReport(3, 7);
  const std::string report = m_dir.ReadFile("crash.log");
  const std::string head =
      " __________________\n| PC Tarvolin 0.1 3/07\n'^^^^^^^^^^^^^^^^^^\n"
      "first line\n\n******** TOTAL MEMORY USAGE: **************\n"
      "Max memory used: ";
  EXPECT_EQ(report.substr(0, head.size()), head);
  const std::string tail = std::string(43, '*') + "\n\n\n";
  EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
}

TEST_F(ExitReportTest, ReportsAreAppended) {
  m_dir.WriteFile("crash.log", "older\n");
  WriteExitReport(12, 31);
  const std::string report = m_dir.ReadFile("crash.log");
  EXPECT_EQ(report.rfind("older\n __________________\n| PC Tarvolin 0.1 12/31\n", 0),
            0u);
}
