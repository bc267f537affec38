// The leveled log, the early-log buffer, the trace buffer and reports.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/base/log.h"

namespace {

class CStringSink : public CLogSink {
 public:
  explicit CStringSink(std::string* out) : m_out(out) {}
  void Write(std::string_view text) override { m_out->append(text); }

 private:
  std::string* m_out;
};

class CRecordingView : public CLogView {
 public:
  void AddLine(uint32_t category, std::string_view text) override {
    lines.emplace_back(category, std::string(text));
  }
  std::vector<std::pair<uint32_t, std::string>> lines;
};

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override {
    Reset();
    SetMessageBoxHandler(nullptr);
    SetTraceHook(nullptr);
    SetAssertBoxes(true);
  }
  static void Reset() {
    SetLogMode(false, false);
    SetLogView(nullptr);
    SetLogSink(nullptr);
    TakeEarlyLog();
  }
  void OpenSink() { SetLogSink(std::make_unique<CStringSink>(&m_file)); }

  std::string m_file;
  CRecordingView m_view;
};

TEST_F(LogTest, ViewGetsLinesAndFileGetsEverything) {
  OpenSink();
  SetLogView(&m_view);
  LogMessage(kLogScripts, "x=%d\n", 5);
  LogMessage(kLogEngine, "File Not Found: %s\n", "a.bmp");
  ASSERT_EQ(m_view.lines.size(), 2u);
  EXPECT_EQ(m_view.lines[0].first, kLogScripts);
  EXPECT_EQ(m_view.lines[0].second, "x=5\n");
  EXPECT_EQ(m_view.lines[1].first, kLogEngine);
  EXPECT_EQ(m_file, "x=5\nFile Not Found: a.bmp\n");
  EXPECT_FALSE(HasEarlyLog());
}

TEST_F(LogTest, WithoutViewLinesCollectEarly) {
  EXPECT_FALSE(HasEarlyLog());
  LogMessage(kLogTool, "one\n");
  LogMessage(kLogWarning, "two %s\n", "b");
  EXPECT_TRUE(HasEarlyLog());
  EXPECT_EQ(EarlyLogText(), "one\ntwo b\n");
  EXPECT_EQ(TakeEarlyLog(), "one\ntwo b\n");
  EXPECT_FALSE(HasEarlyLog());
  EXPECT_EQ(EarlyLogText(), "");
}

TEST_F(LogTest, GameModeWithoutCrashLogIsSilent) {
  OpenSink();
  SetLogView(&m_view);
  SetLogMode(true, false);
  LogMessage(kLogEngine, "hidden\n");
  SetLogView(nullptr);
  LogMessage(kLogEngine, "hidden\n");
  EXPECT_TRUE(m_file.empty());
  EXPECT_TRUE(m_view.lines.empty());
  EXPECT_FALSE(HasEarlyLog());
  SetLogMode(true, true);
  LogMessage(kLogEngine, "shown\n");
  EXPECT_EQ(m_file, "shown\n");
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
  EXPECT_EQ(EarlyLogText().back(), '\n');
}

TEST_F(LogTest, LongLinesAreCutKeepingTheLineFeed) {
  SetLogView(&m_view);
  const std::string fits(254, 'f');
  LogMessage(kLogTool, "%s\n", fits.c_str());
  const std::string too_long(255, 'g');
  LogMessage(kLogTool, "%s\n", too_long.c_str());
  const std::string no_feed(300, 'h');
  LogMessage(kLogTool, "%s", no_feed.c_str());
  ASSERT_EQ(m_view.lines.size(), 3u);
  EXPECT_EQ(m_view.lines[0].second, fits + "\n");
  EXPECT_EQ(m_view.lines[1].second, std::string(254, 'g') + "\n");
  EXPECT_EQ(m_view.lines[2].second, std::string(255, 'h'));
}

TEST_F(LogTest, RestoreEarlyLogCutsToTheLimit) {
  RestoreEarlyLog("palette text\n");
  EXPECT_EQ(EarlyLogText(), "palette text\n");
  LogMessage(kLogTool, "next\n");
  EXPECT_EQ(EarlyLogText(), "palette text\nnext\n");
  RestoreEarlyLog(std::string(70000, 'p'));
  EXPECT_EQ(EarlyLogText(), std::string(kEarlyLogLimit, 'p'));
  RestoreEarlyLog("");
  EXPECT_FALSE(HasEarlyLog());
}

TEST_F(LogTest, CategoryNames) {
  EXPECT_STREQ(LogCategoryName(kLogTool), "Tool       ");
  EXPECT_STREQ(LogCategoryName(kLogEngine), "Engine");
  EXPECT_STREQ(LogCategoryName(kLogScripts), "Scripts");
  EXPECT_STREQ(LogCategoryName(kLogResource | kLogWarning), "Resource");
  EXPECT_STREQ(LogCategoryName(kLogWarning), "Warning");
}

std::string g_hooked;
void RecordTrace(const char* text) { g_hooked = text; }

TEST_F(LogTest, TraceFormatsIntoTheSharedBuffer) {
  TraceOut("count %d", 12);
  EXPECT_STREQ(TraceBuffer(), "count 12");
  SetTraceHook(RecordTrace);
  Trace("view.cpp", 42, "lost");
  EXPECT_STREQ(TraceBuffer(), "Trace view.cpp(42): lost");
  EXPECT_EQ(g_hooked, "Trace view.cpp(42): lost");
  const std::string huge(20000, 't');
  TraceOut("%s", huge.c_str());
  EXPECT_EQ(std::string(TraceBuffer()), std::string(kTraceBufferSize - 1, 't'));
}

struct SBox {
  std::string caption;
  std::string text;
  uint32_t flags;
};
std::vector<SBox> g_boxes;
int RecordBox(const char* caption, const char* text, uint32_t flags) {
  g_boxes.push_back({caption, text, flags});
  return kIdIgnore;
}

TEST_F(LogTest, AssertionReportAndBox) {
  g_boxes.clear();
  SetMessageBoxHandler(RecordBox);
  TraceOut("before");
  Assert(false, "x > 0", "pool.cpp", 7);
  EXPECT_STREQ(TraceBuffer(), "before");
  EXPECT_TRUE(g_boxes.empty());
  Assert(true, "x > 0", "pool.cpp", 7);
  EXPECT_STREQ(TraceBuffer(), "Assert failed pool.cpp(7): x > 0\n\n");
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].caption, "Error");
  EXPECT_EQ(g_boxes[0].text, "Assert failed pool.cpp(7): x > 0\n\n");
  EXPECT_EQ(g_boxes[0].flags, 0x1012u);
  SetAssertBoxes(false);
  Assert(true, "y", "a.cpp", 1);
  AssertReport(true, "z", "b.cpp", 2);
  EXPECT_STREQ(TraceBuffer(), "Assert failed b.cpp(2): z\n\n");
  EXPECT_EQ(g_boxes.size(), 1u);
}

TEST_F(LogTest, ErrorBoxCaptionCarriesTheCode) {
  g_boxes.clear();
  SetMessageBoxHandler(RecordBox);
  ShowErrorBox("Cannot open", 0x2A);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].caption, "Error (0x0000002a)");
  EXPECT_EQ(g_boxes[0].text, "Cannot open");
  EXPECT_EQ(g_boxes[0].flags, static_cast<uint32_t>(kMbOk | kMbTaskModal));
}

}  // namespace
