#include "base/trace.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

TEST(TraceTest, OnlyNamedChannelsWriteTimedTabSeparatedLines) {
  CTempDir dir;
  CTrace trace;
  uint32_t now = 41;
  trace.SetClock([&] { return now; });
  testing::internal::CaptureStderr();
  ASSERT_TRUE(trace.Configure("present,,bogus,event", dir.Join("t.txt").c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "TARVOLIN_TRACE: unknown channel \"bogus\"\n");
  EXPECT_TRUE(trace.On(kTracePresent));
  EXPECT_FALSE(trace.On(kTraceCursor));
  trace.Line(kTracePresent, "full");
  trace.Line(kTraceCursor, "hidden");
  now = 42;
  trace.LineF(kTraceEvent, "key\t0x%X\t%s", 0x201, "CDesktop@0,0,639,479");
  EXPECT_EQ(dir.ReadFile("t.txt"),
            "41\tpresent\tfull\n42\tevent\tkey\t0x201\tCDesktop@0,0,639,479\n");
  // Reconfiguring closes the old file and turns the old channels off.
  ASSERT_TRUE(trace.Configure("", nullptr));
  EXPECT_FALSE(trace.On(kTracePresent));
  EXPECT_FALSE(trace.Configure("event", dir.Join("missing/t.txt").c_str()));
  EXPECT_FALSE(trace.On(kTraceEvent));
}

TEST(TraceTest, StatsIsAChannelOfItsOwn) {
  CTempDir dir;
  CTrace trace;
  testing::internal::CaptureStderr();
  ASSERT_TRUE(trace.Configure("stats", dir.Join("t.txt").c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(trace.On(kTraceStats));
  EXPECT_FALSE(trace.On(kTraceEvent));
  trace.Line(kTraceStats, "objects\t3");
  EXPECT_EQ(dir.ReadFile("t.txt"), "0\tstats\tobjects\t3\n");
}
