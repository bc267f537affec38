// The engine's one random generator.
//
// Each draw sets state = state * 214013 + 2531011 (mod 2^32) and yields
// r = (state >> 16) & 0x7FFF. A value between lo and hi (inclusive, either
// order) is min(lo, hi) + q, plus 1 when the remainder of r * |hi - lo| / 32767
// exceeds 16383, q being the quotient. The script library, the array
// shuffles and the word choosers all draw from EngineRandom().
#pragma once

#include <cstdint>

#include "base/errors.h"

class CRandom {
 public:
  static constexpr uint32_t kMultiplier = 214013;
  static constexpr uint32_t kIncrement = 2531011;
  static constexpr int32_t kMax = 0x7FFF;

  explicit CRandom(uint32_t state = 0) : m_state(state) {}

  void Seed(uint32_t state) { m_state = state; }
  uint32_t State() const { return m_state; }
  // The next r, 0 .. 32767.
  int32_t Next();
  // One draw mapped onto lo .. hi.
  int32_t Between(int32_t lo, int32_t hi);

 private:
  uint32_t m_state;
};

CRandom& EngineRandom();
// The library's seeding: the time in seconds modulo 4096.
void SeedEngineRandom(uint64_t seconds);
void SeedEngineRandomFromClock();

// Fixes the engine generator's state for reproducible runs (tests, play
// tests): a decimal number from 0 to 4294967295.
inline constexpr const char* kSeedVariable = "TARVOLIN_SEED";
inline constexpr const char* kSeedError = "TARVOLIN_SEED must be a number from 0 to 4294967295";
// A state written in decimal digits only, within 32 bits.
bool ParseSeed(const char* text, uint32_t* state);
// The start-up seeding of the engine and of `tvkit script run`: the state
// TARVOLIN_SEED names when it is set, else the clock seeding. A value that
// names no state leaves the generator alone and answers BADPARAMS.
ErrCode SeedEngineRandomAtStart();
