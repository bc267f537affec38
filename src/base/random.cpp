#include "base/random.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

int32_t CRandom::Next() {
  m_state = m_state * kMultiplier + kIncrement;
  return static_cast<int32_t>((m_state >> 16) & kMax);
}

int32_t CRandom::Between(int32_t lo, int32_t hi) {
  const int64_t r = Next();
  const int64_t span = static_cast<int64_t>(std::max(lo, hi)) - std::min(lo, hi);
  const int64_t product = r * span;
  const int64_t quotient = product / kMax;
  const int64_t up = product % kMax > kMax / 2 ? 1 : 0;
  return static_cast<int32_t>(std::min(lo, hi) + quotient + up);
}

CRandom& EngineRandom() {
  static CRandom random;
  return random;
}

void SeedEngineRandom(uint64_t seconds) {
  EngineRandom().Seed(static_cast<uint32_t>(seconds % 4096));
}

void SeedEngineRandomFromClock() {
  SeedEngineRandom(static_cast<uint64_t>(std::time(nullptr)));
}

bool ParseSeed(const char* text, uint32_t* state) {
  uint64_t value = 0;
  if (!*text) return false;
  for (const char* at = text; *at; ++at) {
    if (*at < '0' || *at > '9') return false;
    value = value * 10 + static_cast<uint64_t>(*at - '0');
    if (value > UINT32_MAX) return false;
  }
  *state = static_cast<uint32_t>(value);
  return true;
}

ErrCode SeedEngineRandomAtStart() {
  const char* text = std::getenv(kSeedVariable);
  if (!text) {
    SeedEngineRandomFromClock();
    return err::kOk;
  }
  uint32_t state = 0;
  if (!ParseSeed(text, &state)) return err::kBadParams;
  EngineRandom().Seed(state);
  return err::kOk;
}
