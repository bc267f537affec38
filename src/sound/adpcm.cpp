#include "sound/adpcm.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int16_t kStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,
    19,    21,    23,    25,    28,    31,    34,    37,    41,    45,
    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,
    337,   371,   408,   449,   494,   544,   598,   658,   724,   796,
    876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,
    5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487, 12635, 13899,
    15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

constexpr int8_t kIndexAdjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

void StoreSample(int32_t sample, uint32_t bytes, bool unsigned_output,
                 uint8_t* out) {
  if (bytes == 1) {
    *out = static_cast<uint8_t>((sample >> 8) + 128);
    return;
  }
  const uint16_t value =
      static_cast<uint16_t>(unsigned_output ? sample + 32768 : sample);
  std::memcpy(out, &value, sizeof value);
}

}  // namespace

int32_t AdpcmDecodeCode(SAdpcmState* state, uint8_t code) {
  const int32_t step = kStepTable[state->index];
  int32_t difference = step >> 3;
  if (code & 4) difference += step;
  if (code & 2) difference += step >> 1;
  if (code & 1) difference += step >> 2;
  const int32_t predicted =
      code & 8 ? state->predicted - difference : state->predicted + difference;
  state->predicted = std::clamp(predicted, -32768, 32767);
  state->index = std::clamp(state->index + kIndexAdjust[code & 7], 0, 88);
  return state->predicted;
}

uint8_t AdpcmEncodeSample(SAdpcmState* state, int32_t sample) {
  const int32_t step = kStepTable[state->index];
  int32_t difference = sample - state->predicted;
  uint8_t code = 0;
  if (difference < 0) {
    code = 8;
    difference = -difference;
  }
  if (difference >= step) {
    code |= 4;
    difference -= step;
  }
  if (difference >= step >> 1) {
    code |= 2;
    difference -= step >> 1;
  }
  if (difference >= step >> 2) code |= 1;
  AdpcmDecodeCode(state, code);
  return code;
}

ErrCode CAdpcmCodec::SetBlockSize(uint32_t bytes) {
  if (bytes == 0 || bytes % 2 != 0) return err::kBadSize;
  m_block_size = bytes;
  return err::kOk;
}

ErrCode CAdpcmCodec::SetFormat(uint32_t channels, uint32_t sample_bytes) {
  if (channels == 0 || channels > 2 || sample_bytes == 0 || sample_bytes > 2)
    return err::kAdpcmBadFormat;
  m_sample_bytes = sample_bytes;
  return err::kOk;
}

void CAdpcmCodec::Decode(const uint8_t* in, size_t count, uint8_t* out) {
  const uint32_t bytes = m_sample_bytes;
  for (size_t i = 0; i < count; ++i) {
    StoreSample(AdpcmDecodeCode(&m_state, in[i] >> 4), bytes, m_unsigned, out);
    StoreSample(AdpcmDecodeCode(&m_state, in[i] & 15), bytes, m_unsigned,
                out + bytes);
    out += 2 * bytes;
  }
}

void CAdpcmCodec::Encode(const int16_t* in, size_t count, uint8_t* out) {
  for (size_t i = 0; i + 1 < count; i += 2) {
    const uint8_t high = AdpcmEncodeSample(&m_state, in[i]);
    const uint8_t low = AdpcmEncodeSample(&m_state, in[i + 1]);
    *out++ = static_cast<uint8_t>(high << 4 | low);
  }
}
