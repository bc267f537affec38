// The sound format word shared by devices, mixer channels and sounds:
// bits 8 and up hold the sample rate in Hz, bit 1 marks 16-bit samples
// (clear: 8-bit unsigned, 128 = silence), bit 0 marks stereo (frames are
// left, right). 22050 Hz 16-bit mono is 0x562202.
#pragma once

#include <cstdint>

using SoundFormat = uint32_t;

inline constexpr uint32_t kFormatStereo = 0x1;
inline constexpr uint32_t kFormat16Bit = 0x2;

// Channel volumes: 4096 is unity, higher values amplify with saturation.
inline constexpr uint16_t kUnityVolume = 4096;

constexpr SoundFormat MakeSoundFormat(uint32_t rate, uint32_t bits,
                                      uint32_t channels) {
  return rate << 8 | (bits == 16 ? kFormat16Bit : 0u) |
         (channels == 2 ? kFormatStereo : 0u);
}
constexpr uint32_t FormatRate(SoundFormat format) { return format >> 8; }
constexpr uint32_t FormatBits(SoundFormat format) {
  return format & kFormat16Bit ? 16 : 8;
}
constexpr uint32_t FormatChannels(SoundFormat format) {
  return format & kFormatStereo ? 2 : 1;
}
constexpr uint32_t FormatFrameBytes(SoundFormat format) {
  return FormatChannels(format) * FormatBits(format) / 8;
}
