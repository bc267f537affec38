// The WAV files the engine plays, little-endian RIFF:
//
//   offset  size  field
//   0       4     "RIFF"
//   4       4     RIFF size (not examined)
//   8       8     "WAVEfmt ": the form type, then the format chunk's id
//   16      4     format chunk size, at least 16
//   20      2     format tag: 0x104 = the engine's ADPCM variant, any
//                 other value is read as PCM
//   22      2     channels: 1 or 2
//   24      4     samples per second: 4000 to 45000
//   28      4     bytes per second (not examined)
//   32      2     block align (not examined)
//   34      2     bits per sample: 8 or 16 (16 for ADPCM)
//   36      ...   the rest of the format chunk, skipped
//   then          chunks of (4-byte id, 4-byte size, data, a pad byte after
//                 odd sizes); those before the first "data" chunk are skipped
//
// The samples start right after the "data" chunk's header. 8-bit PCM is
// unsigned (128 = silence), 16-bit PCM signed, stereo frames left, right.
// ADPCM data holds two 4-bit codes per byte (adpcm.h) that decode to 16-bit
// samples, four bytes of samples per byte of data.
#pragma once

#include <cstdint>

#include "base/errors.h"
#include "sound/sound_format.h"

class CFile;

inline constexpr uint32_t kWavMinRate = 4000;
inline constexpr uint32_t kWavMaxRate = 45000;

struct SWavInfo {
  bool adpcm = false;
  SoundFormat format = 0;  // of the decoded samples
  uint32_t data_start = 0;
  // The data chunk's size, cut to what the file holds.
  uint32_t data_size = 0;
};

// Reads and checks the header. Anything outside the rules above, a missing
// "data" chunk or a chunk running past the end of the file gives "Unknown
// error"; other read errors pass through.
ErrCode ReadWavHeader(CFile* file, SWavInfo* info);
