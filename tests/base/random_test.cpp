#include <gtest/gtest.h>

#include "base/random.h"
#include "support/env_guard.h"

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

// The full span of int32 must neither overflow nor leave the range:
// state 2708534849 steps to 0 (r = 0), state 4028364353 to 0x7FFF0000
// (r = 32767, so q is the whole span), and from state 1, r = 41:
// 41 * 4294967295 = 176093659095 = 5374116 * 32767 + 123, no rounding up.
TEST(Random, BetweenCoversTheFullSpan) {
  struct SCase {
    uint32_t state;
    int32_t expected;
  };
  const SCase cases[] = {{2708534849u, INT32_MIN}, {4028364353u, INT32_MAX},
                         {1, INT32_MIN + 5374116}};
  for (const SCase& c : cases) {
    CRandom random(c.state);
    EXPECT_EQ(random.Between(INT32_MIN, INT32_MAX), c.expected) << c.state;
  }
  CRandom random(7);
  for (int i = 0; i < 2000; ++i) {
    const int32_t small = random.Between(-3, 3);
    EXPECT_GE(small, -3);
    EXPECT_LE(small, 3);
    EXPECT_EQ(random.Between(5, 5), 5);
  }
}

TEST(Random, SeedTextIsADecimalStateWithin32Bits) {
  struct SCase {
    const char* text;
    bool valid;
    uint32_t state;
  };
  const SCase cases[] = {{"0", true, 0},           {"1", true, 1},
                         {"4294967295", true, UINT32_MAX}, {"4294967296", false, 0},
                         {"99999999999999999999", false, 0}, {"", false, 0},
                         {"-1", false, 0},         {" 1", false, 0},
                         {"12x", false, 0},        {"0x10", false, 0}};
  for (const SCase& c : cases) {
    uint32_t state = 77;
    EXPECT_EQ(ParseSeed(c.text, &state), c.valid) << c.text;
    EXPECT_EQ(state, c.valid ? c.state : 77u) << c.text;
  }
}

// The clock seeds the engine's generator with its seconds modulo 4096;
// TARVOLIN_SEED, when set, with its own state.
TEST(Random, EngineSeedingTakesTheClockSecondsOrTheEnvironmentState) {
  SeedEngineRandom(4096 * 3 + 1);
  EXPECT_EQ(EngineRandom().State(), 1u);
  SeedEngineRandom(4095);
  EXPECT_EQ(EngineRandom().State(), 4095u);
  {
    const CEnvGuard seed(kSeedVariable, "1");
    EngineRandom().Seed(99);
    EXPECT_EQ(SeedEngineRandomAtStart(), err::kOk);
    EXPECT_EQ(EngineRandom().Next(), 41);
    EXPECT_EQ(EngineRandom().Next(), 18467);
  }
  for (const char* bad : {"", "-5", "4294967296", "seven"}) {
    const CEnvGuard seed(kSeedVariable, bad);
    EngineRandom().Seed(99);
    EXPECT_EQ(SeedEngineRandomAtStart(), err::kBadParams) << bad;
    EXPECT_EQ(EngineRandom().State(), 99u) << bad;
  }
  const CEnvGuard unset(kSeedVariable, nullptr);
  EngineRandom().Seed(UINT32_MAX);
  EXPECT_EQ(SeedEngineRandomAtStart(), err::kOk);
  EXPECT_LT(EngineRandom().State(), 4096u);  // the clock seeding, modulo 4096
}

}  // namespace
