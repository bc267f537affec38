// Conversion of a sound's samples to the device format, with the channel's
// volumes, into the mixer's accumulator or straight into an output buffer.
//
// Output frames are counted at the device rate from the start of the sound;
// output frame j reads from source frame SourceFrame(j) on. Two families of
// routines do the work:
//
// - the fast routines serve rate pairs in the exact ratios /4, /2, 1, x2 and
//   x4 between 11025, 22050 and 44100 Hz. Three tables of 80 (accumulate:
//   add into the accumulator; store: overwrite it; direct: write the device
//   format into an output buffer) are indexed by
//       index = bits + 4 * (channels + 4 * rate)
//   rate: 0 = source rate twice the device rate, 1 = four times, 2 = equal,
//   3 = half, 4 = a quarter; channels: 0 = stereo to stereo, 1 = mono to
//   mono, 2 = mono to stereo, 3 = stereo to mono; bits: 0 = 16 to 16, 1 = 8
//   to 8, 2 = 8 to 16, 3 = 16 to 8. Downsampling averages the source frames
//   of one output frame, upsampling repeats each source frame, stereo to
//   mono takes the mean of left and right. They never multiply: a sample is
//   looked up in a volume table (16-bit sources: 4096 entries indexed by the
//   sample as unsigned shifted right by 4, entry k = the signed sample k * 16
//   times the volume / 4096, saturated; 8-bit sources: 256 entries indexed
//   by the byte). A stereo device has one table per side, a mono device one
//   with the mean of both volumes.
// - the generic routines serve every other pair: frame by frame, 8-bit
//   samples become (s - 128) * 256, stereo becomes mono as the mean, the
//   sample is scaled by volume * s >> 12 (saturated) and an integer phase
//   steps through the source: it starts at (device rate - source rate) / 2,
//   each source frame read adds the device rate and each output frame
//   emitted subtracts the source rate; frames are emitted while it is above
//   0 and read while it is not.
//
// A direct conversion between equal formats at unity volume, in either
// family, copies the samples as they are.
//
// The fast routines give the generic results within a few low bits: the
// tables drop the low four bits of 16-bit samples, and averaging picks a
// little other samples than the phase does.
#pragma once

#include <cstdint>
#include <vector>

#include "sound/sound_format.h"

enum class EConvertOp : uint8_t { kAccumulate, kStore, kDirect };

struct SVolumeTables {
  const int16_t* left;   // the only table of a mono device
  const int16_t* right;
};

// source points at the first output frame's source frame; phase is the
// position of that output frame among the repeats of its source frame.
using FastConvertFn = void (*)(const SVolumeTables& tables,
                               const uint8_t* source, uint32_t phase,
                               uint32_t count, void* out);

inline constexpr int kFastRoutineCount = 80;
// The table entries, exposed so that tests can check which routines share.
FastConvertFn FastRoutine(EConvertOp op, int index);

class CConverter {
 public:
  // Chooses routines and builds tables for the pair and volumes; does
  // nothing when they are what they were.
  void Update(SoundFormat device, SoundFormat sound, uint16_t left,
              uint16_t right);
  // The generic routines even for pairs the fast ones serve (comparisons).
  void SetGenericOnly(bool on);

  // The fast routines' index, or -1 when the generic routines serve.
  int FastIndex() const { return m_index; }
  SoundFormat DeviceFormat() const { return m_device; }
  SoundFormat SoundFormatOf() const { return m_sound; }

  uint64_t SourceFrame(uint64_t output_frame) const;
  // Of the output frames from `first` on, how many (at most `limit`) read
  // only source frames before `source_end`.
  uint32_t FramesWithin(uint64_t first, uint64_t source_end,
                        uint32_t limit) const;
  // The output frames a sound of `source_frames` frames gives.
  uint64_t OutputFrames(uint64_t source_frames) const;

  // Converts output frames [first, first + count). `source` points at
  // SourceFrame(first); `out` at the first frame's place in the accumulator
  // (32-bit values, one per device channel) or, for kDirect, in a buffer of
  // the device format.
  void Convert(EConvertOp op, const uint8_t* source, uint64_t first,
               uint32_t count, void* out) const;

 private:
  void Choose();
  void BuildTables();
  void ConvertGeneric(EConvertOp op, const uint8_t* source, uint64_t first,
                      uint32_t count, void* out) const;
  // The first output frame that reads source_end or a later source frame.
  uint64_t OutputEnd(uint64_t source_end) const;
  // Source frame of output frame j under the generic phase.
  int64_t GenericSourceFrame(int64_t output_frame) const;

  bool m_valid = false;
  bool m_generic_only = false;
  SoundFormat m_device = 0;
  SoundFormat m_sound = 0;
  uint16_t m_left = 0;
  uint16_t m_right = 0;
  int m_index = -1;
  uint32_t m_down = 1;  // source frames per output frame
  uint32_t m_up = 1;    // output frames per source frame
  int64_t m_phase_start = 0;
  std::vector<int16_t> m_left_table;
  std::vector<int16_t> m_right_table;
  FastConvertFn m_routines[3] = {};
};
