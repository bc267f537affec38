// The engine's 4-bit ADPCM variant (WAV format tag 0x104).
//
// The codes are IMA ADPCM codes with the standard 89-entry step table and
// the standard index adjustments, but the stream has no block headers: one
// decoder state (predicted sample, step index), starting at (0, 0), runs
// from the first byte to the last, for mono and stereo alike. Each byte
// carries two codes, the high nibble first. A code's difference is built by
// shifts and adds (step / 8, plus step for bit 2, step / 2 for bit 1, step /
// 4 for bit 0); bit 3 is the sign. So the byte 0x7F decodes from the initial
// state to 11 (code 7, step 7: 0 + 7 + 3 + 1) and then to -19 (code 15, step
// 16 after the index rose by 8: 11 - (2 + 16 + 8 + 4)).
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/errors.h"

inline constexpr uint16_t kAdpcmFormatTag = 0x104;

struct SAdpcmState {
  int32_t predicted = 0;
  int32_t index = 0;
};

class CAdpcmCodec {
 public:
  static constexpr uint32_t kDefaultBlockSize = 1024;

  // The number of stream bytes handled at a time; even, else BADSIZE.
  ErrCode SetBlockSize(uint32_t bytes);
  uint32_t BlockSize() const { return m_block_size; }
  // Channels and bytes per decoded sample, each 1 or 2, else
  // ADPCM_BADFORMAT. The channels share the one decoder state.
  ErrCode SetFormat(uint32_t channels, uint32_t sample_bytes);
  // Unsigned output adds 32768 to every 16-bit sample (128 to 8-bit ones,
  // which are always unsigned).
  void SetUnsignedOutput(bool on) { m_unsigned = on; }

  // Back to the state at the start of a stream.
  void Reset() { m_state = {}; }
  const SAdpcmState& State() const { return m_state; }

  // Decodes `count` stream bytes into 2 × count samples of the format's
  // sample bytes each at `out`.
  void Decode(const uint8_t* in, size_t count, uint8_t* out);
  // Encodes `count` 16-bit samples (an even number) into count / 2 bytes.
  void Encode(const int16_t* in, size_t count, uint8_t* out);

 private:
  SAdpcmState m_state;
  uint32_t m_block_size = kDefaultBlockSize;
  uint32_t m_sample_bytes = 2;
  bool m_unsigned = false;
};

// One code through the decoder: the new predicted sample.
int32_t AdpcmDecodeCode(SAdpcmState* state, uint8_t code);
// The code that brings the prediction closest to `sample`; the state moves
// on as the decoder's does.
uint8_t AdpcmEncodeSample(SAdpcmState* state, int32_t sample);
