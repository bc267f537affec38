// The command line that selects tool mode.
#include <gtest/gtest.h>

#include "app/application.h"

TEST(CommandLine, OnlyTheExactTextSelectsToolMode) {
  const char* tool[] = {"tarvolin", "-tool"};
  const char* upper[] = {"tarvolin", "-TOOL"};
  const char* extra[] = {"tarvolin", "-tool", "x"};
  const char* longer[] = {"tarvolin", "-tools"};
  const char* none[] = {"tarvolin"};
  EXPECT_TRUE(IsToolCommandLine(2, tool));
  EXPECT_FALSE(IsToolCommandLine(2, upper));
  EXPECT_FALSE(IsToolCommandLine(3, extra));
  EXPECT_FALSE(IsToolCommandLine(2, longer));
  EXPECT_FALSE(IsToolCommandLine(1, none));
}
