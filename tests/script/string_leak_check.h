// Fails a test that leaves script strings alive.
#pragma once

#include <gtest/gtest.h>

#include "script/script_string.h"

class CStrLeakTest : public ::testing::Test {
 protected:
  void SetUp() override { m_start = StrLiveCount(); }
  void TearDown() override { EXPECT_EQ(StrLiveCount(), m_start) << "script strings leaked"; }

 private:
  size_t m_start = 0;
};
