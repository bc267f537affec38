// The leveled log, the early-log buffer, the trace buffer and reports.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/log.h"

namespace {

using Lines = std::vector<std::pair<uint32_t, std::string>>;
using Boxes = std::vector<std::tuple<std::string, std::string, uint32_t>>;

std::string g_file;  // what the log file received
Boxes g_boxes;

class CStringSink : public CLogSink {
 public:
  void Write(std::string_view text) override { g_file.append(text); }
};

class CRecordingView : public CLogView {
 public:
  void AddLine(uint32_t category, std::string_view text) override {
    lines.emplace_back(category, text);
  }
  Lines lines;
};

int RecordBox(const char* caption, const char* text, uint32_t flags) {
  g_boxes.emplace_back(caption, text, flags);
  return kIdIgnore;
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TearDown();
    g_file.clear();
    g_boxes.clear();
    SetLogSink(std::make_unique<CStringSink>());
    SetMessageBoxHandler(RecordBox);
  }
  void TearDown() override {
    SetLogMode(false, false);
    SetLogView(nullptr);
    SetLogSink(nullptr);
    TakeEarlyLog();
    SetMessageBoxHandler(nullptr);
    SetAssertBoxes(true);
  }
  CRecordingView m_view;
};

TEST_F(LogTest, FileGetsEverythingViewGetsLinesElseTheEarlyLogDoes) {
  LogMessage(kLogTool, "one\n");
  LogMessage(kLogWarning, "two %s\n", "b");
  EXPECT_EQ(TakeEarlyLog(), "one\ntwo b\n");
  SetLogView(&m_view);
  LogMessage(kLogScripts, "x=%d\n", 5);
  LogMessage(kLogEngine, "File Not Found: %s\n", "a.bmp");
  EXPECT_EQ(m_view.lines, (Lines{{kLogScripts, "x=5\n"}, {kLogEngine, "File Not Found: a.bmp\n"}}));
  EXPECT_EQ(g_file, "one\ntwo b\nx=5\nFile Not Found: a.bmp\n");
  EXPECT_FALSE(HasEarlyLog());
  SetLogView(nullptr);
  RestoreEarlyLog(std::string(70000, 'p'));
  EXPECT_EQ(EarlyLogText(), std::string(kEarlyLogLimit, 'p'));
  RestoreEarlyLog("");
  EXPECT_FALSE(HasEarlyLog());
  EXPECT_STREQ(LogCategoryName(kLogTool | kLogEngine), "Tool       ");  // the lowest bit
}

TEST_F(LogTest, GameModeWithoutCrashLogIsSilent) {
  SetLogView(&m_view);
  SetLogMode(true, false);
  LogMessage(kLogEngine, "hidden\n");
  SetLogView(nullptr);
  LogMessage(kLogEngine, "hidden\n");
  EXPECT_TRUE(g_file.empty());
  EXPECT_TRUE(m_view.lines.empty());
  EXPECT_FALSE(HasEarlyLog());
  SetLogMode(true, true);
  LogMessage(kLogEngine, "shown\n");
  EXPECT_EQ(g_file, "shown\n");
  EXPECT_EQ(EarlyLogText(), "shown\n");
}

TEST_F(LogTest, EarlyLogDropsLinesPastItsLimit) {
  const std::string line(239, 'a');
  for (int i = 0; i < 255; ++i) LogMessage(kLogTool, "%s\n", line.c_str());
  EXPECT_EQ(EarlyLogText().size(), 61200u);
  LogMessage(kLogTool, "%s!\n", line.c_str());  // 241 characters: 61441
  EXPECT_EQ(EarlyLogText().size(), 61200u);
  LogMessage(kLogTool, "%s\n", line.c_str());  // exactly 61440
  EXPECT_EQ(EarlyLogText().size(), kEarlyLogLimit);
  LogMessage(kLogTool, "b");
  EXPECT_EQ(EarlyLogText().size(), kEarlyLogLimit);
}

TEST_F(LogTest, LongLinesAreCutKeepingTheLineFeed) {
  SetLogView(&m_view);
  LogMessage(kLogTool, "%s\n", std::string(254, 'f').c_str());
  LogMessage(kLogTool, "%s\n", std::string(255, 'g').c_str());  // 256 characters
  LogMessage(kLogTool, "%s", std::string(300, 'h').c_str());
  EXPECT_EQ(m_view.lines, (Lines{{kLogTool, std::string(254, 'f') + "\n"},
                                 {kLogTool, std::string(254, 'g') + "\n"},
                                 {kLogTool, std::string(255, 'h')}}));
}

TEST_F(LogTest, TraceAssertAndErrorReports) {
  Trace("view.cpp", 42, "lost");
  EXPECT_STREQ(TraceBuffer(), "Trace view.cpp(42): lost");
  TraceOut("%s", std::string(20000, 't').c_str());
  Assert(false, "x > 0", "pool.cpp", 7);  // passes: no report, no box
  EXPECT_EQ(std::string(TraceBuffer()), std::string(kTraceBufferSize - 1, 't'));
  Assert(true, "x > 0", "pool.cpp", 7);
  EXPECT_STREQ(TraceBuffer(), "Assert failed pool.cpp(7): x > 0\n\n");
  SetAssertBoxes(false);
  Assert(true, "y", "a.cpp", 1);
  AssertReport(true, "z", "b.cpp", 2);
  EXPECT_STREQ(TraceBuffer(), "Assert failed b.cpp(2): z\n\n");
  ShowErrorBox("Cannot open", 0x2A);
  EXPECT_EQ(g_boxes, (Boxes{{"Error", "Assert failed pool.cpp(7): x > 0\n\n", 0x1012},
                            {"Error (0x0000002a)", "Cannot open", kMbOk | kMbTaskModal}}));
}

}  // namespace
