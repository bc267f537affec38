#include <gtest/gtest.h>

#include "base/random.h"

namespace {

// From state 1: 1 * 214013 + 2531011 = 2745024, and 2745024 >> 16 = 41;
// 2745024 * 214013 + 2531011 = 587473352323 = 136 * 2^32 + 3357800067,
// and (3357800067 >> 16) & 0x7FFF = 51236 - 32768 = 18467.
TEST(Random, DrawsFollowTheLinearCongruence) {
  CRandom random(1);
  EXPECT_EQ(random.Next(), 41);
  EXPECT_EQ(random.State(), 2745024u);
  EXPECT_EQ(random.Next(), 18467);
  EXPECT_EQ(random.State(), 3357800067u);
}

TEST(Random, BetweenRoundsTheScaledRemainder) {
  struct SCase {
    int32_t lo, hi, expected;
  };
  // r = 41: 41 * 5 = 205 = 0 * 32767 + 205, remainder not above 16383.
  // r = 18467: 18467 * 5 = 92335 = 2 * 32767 + 26801, remainder above 16383.
  // r = 6334 with hi < lo: span 5 again, 31670 = 0 * 32767 + 31670: + 1.
  const SCase cases[] = {{1, 6, 1}, {1, 6, 4}, {6, 1, 2}};
  CRandom random(1);
  for (const SCase& c : cases) EXPECT_EQ(random.Between(c.lo, c.hi), c.expected);
}

TEST(Random, BetweenStaysInRangeAtTheExtremes) {
  CRandom random(7);
  for (int i = 0; i < 2000; ++i) {
    const int32_t value = random.Between(INT32_MIN, INT32_MAX);
    (void)value;  // the full span must not overflow
    const int32_t small = random.Between(-3, 3);
    EXPECT_GE(small, -3);
    EXPECT_LE(small, 3);
    EXPECT_EQ(random.Between(5, 5), 5);
  }
}

TEST(Random, EngineSeedIsSecondsModulo4096) {
  SeedEngineRandom(4096 * 3 + 1);
  EXPECT_EQ(EngineRandom().State(), 1u);
  EXPECT_EQ(EngineRandom().Next(), 41);
  SeedEngineRandom(4095);
  EXPECT_EQ(EngineRandom().State(), 4095u);
}

}  // namespace
