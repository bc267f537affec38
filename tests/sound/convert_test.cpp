#include "sound/convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "sound/sound_support.h"

namespace {

constexpr SoundFormat kMono16 = 0x562202;

// Store-converts `count` output frames from `first` on.
std::vector<int32_t> Store(CConverter& converter, const std::string& frames,
                           uint64_t first, uint32_t count) {
  std::vector<int32_t> out(count * FormatChannels(converter.DeviceFormat()));
  const uint64_t source = converter.SourceFrame(first);
  converter.Convert(EConvertOp::kStore,
                    reinterpret_cast<const uint8_t*>(frames.data()) +
                        source * FormatFrameBytes(converter.SoundFormatOf()),
                    first, count, out.data());
  return out;
}

// A slow sine (the fast and generic routines read slightly different
// frames, which must not matter) in the given width and channels.
std::string SmoothFrames(SoundFormat format, size_t count) {
  std::string bytes;
  for (size_t i = 0; i < count; ++i) {
    for (uint32_t c = 0; c < FormatChannels(format); ++c) {
      const double value = std::sin(2 * M_PI * (i + 3000.0 * c) / 20000.0);
      if (FormatBits(format) == 16)
        PutLe(&bytes, static_cast<uint16_t>(static_cast<int16_t>(8000 * value)), 2);
      else
        bytes.push_back(static_cast<char>(128 + std::lround(60 * value)));
    }
  }
  return bytes;
}

}  // namespace

TEST(Converter, TableIndexOfAPair) {
  struct SCase {
    SoundFormat device, sound;
    int index;
  } cases[] = {
      {0x562202, 0xAC4403, 12},  // 44100 stereo 16 on 22050 mono 16: 0 + 4 * (3 + 0)
      {0x562202, 0x562202, 36},  // equal rate 2, mono to mono 1: 0 + 4 * (1 + 8)
      {0xAC4403, 0x2B1100, 74},  // 11025 mono 8 on 44100 stereo 16: 2 + 4 * (2 + 16)
      {0x2B1100, 0xAC4402, 23},  // 44100 on 11025, 16 to 8, mono: 3 + 4 * (1 + 4)
      {0x562201, 0x562201, 33},  // 8 to 8, stereo to stereo: 1 + 4 * (0 + 8)
      {0x562202, 0x1F4002, -1},  // 8000 Hz: generic
      {0x562202, 0xAFC802, -1},  // 45000 Hz: generic
  };
  for (const SCase& c : cases) {
    CConverter converter;
    converter.Update(c.device, c.sound, kUnityVolume, kUnityVolume);
    EXPECT_EQ(converter.FastIndex(), c.index) << std::hex << c.sound;
  }
}

TEST(Converter, AccumulateAndStoreRoutinesDependOnTheSourceWidthOnly) {
  for (int index = 0; index < kFastRoutineCount; index += 4) {
    for (EConvertOp op : {EConvertOp::kAccumulate, EConvertOp::kStore}) {
      EXPECT_EQ(FastRoutine(op, index), FastRoutine(op, index + 3));
      EXPECT_EQ(FastRoutine(op, index + 1), FastRoutine(op, index + 2));
      EXPECT_NE(FastRoutine(op, index), FastRoutine(op, index + 1));
    }
    for (int bits = 0; bits < 4; ++bits)
      for (int other = bits + 1; other < 4; ++other)
        EXPECT_NE(FastRoutine(EConvertOp::kDirect, index + bits),
                  FastRoutine(EConvertOp::kDirect, index + other));
  }
}

TEST(Converter, FastRoutinesAgreeWithTheGenericOnes) {
  const uint32_t rates[] = {11025, 22050, 44100};
  int compared = 0;
  for (uint32_t device_rate : rates)
    for (uint32_t sound_rate : rates) {
      for (int layout = 0; layout < 4; ++layout)
        for (int bits = 0; bits < 4; ++bits) {
          const uint32_t sound_bits = bits == 0 || bits == 3 ? 16 : 8;
          const uint32_t device_bits = bits == 0 || bits == 2 ? 16 : 8;
          const bool sound_stereo = layout == 0 || layout == 3;
          const bool device_stereo = layout == 0 || layout == 2;
          const SoundFormat device =
              MakeSoundFormat(device_rate, device_bits, device_stereo ? 2 : 1);
          const SoundFormat sound =
              MakeSoundFormat(sound_rate, sound_bits, sound_stereo ? 2 : 1);
          const std::string frames = SmoothFrames(sound, 20000);
          CConverter fast, generic;
          generic.SetGenericOnly(true);
          fast.Update(device, sound, 3000, 5000);
          generic.Update(device, sound, 3000, 5000);
          ASSERT_GE(fast.FastIndex(), 0);
          ASSERT_EQ(generic.FastIndex(), -1);
          // Both formats have the same length within a frame per ratio step.
          EXPECT_NEAR(double(fast.OutputFrames(20000)),
                      double(generic.OutputFrames(20000)), 4);
          // 16-bit sources lose their low four bits in the tables; 8-bit
          // ones step by 256, and the two families may read neighbouring
          // frames.
          const int tolerance16 = sound_bits == 16 ? 48 : 640;
          const uint32_t first = 1001, count = 200;
          for (EConvertOp op : {EConvertOp::kAccumulate, EConvertOp::kStore,
                                EConvertOp::kDirect}) {
            const uint32_t bytes = OutputFrameBytes(device, op) * count;
            std::vector<uint8_t> a(bytes, 7), b(bytes, 7);
            auto source = [&](const CConverter& converter) {
              return reinterpret_cast<const uint8_t*>(frames.data()) +
                     converter.SourceFrame(first) * FormatFrameBytes(sound);
            };
            fast.Convert(op, source(fast), first, count, a.data());
            generic.Convert(op, source(generic), first, count, b.data());
            for (uint32_t i = 0; i < bytes;) {
              int x, y, tolerance = tolerance16;
              if (op != EConvertOp::kDirect) {
                int32_t p, q;
                std::memcpy(&p, &a[i], 4);
                std::memcpy(&q, &b[i], 4);
                x = p, y = q, i += 4;
              } else if (device_bits == 16) {
                int16_t p, q;
                std::memcpy(&p, &a[i], 2);
                std::memcpy(&q, &b[i], 2);
                x = p, y = q, i += 2;
              } else {
                x = a[i], y = b[i], i += 1;
                tolerance = tolerance16 / 256 + 1;
              }
              ASSERT_NEAR(x, y, tolerance)
                  << "index " << fast.FastIndex() << " op " << int(op);
            }
          }
          ++compared;
        }
    }
  EXPECT_EQ(compared, 9 * 16);  // every pair of the three rates is fast
}

TEST(Converter, VolumeTablesScaleAndSaturate) {
  struct SCase {
    uint16_t volume;
    std::vector<int16_t> in, fast, generic;
  } cases[] = {
      // Unity: the tables drop the low four bits (0x1234 -> 0x1230; -1 -> -16).
      {4096, {0x1234, -1, 0}, {0x1230, -16, 0}, {0x1234, -1, 0}},
      // 8192 doubles and saturates at the 16-bit limits.
      {8192, {10000, 20000, -20000}, {20000, 32767, -32768}, {20000, 32767, -32768}},
      {2048, {1600, -1600}, {800, -800}, {800, -800}},
  };
  for (const SCase& c : cases) {
    for (bool generic : {false, true}) {
      CConverter converter;
      converter.SetGenericOnly(generic);
      converter.Update(kMono16, kMono16, c.volume, c.volume);
      const std::vector<int32_t> out =
          Store(converter, Pcm16(c.in), 0, static_cast<uint32_t>(c.in.size()));
      const std::vector<int16_t>& expected = generic ? c.generic : c.fast;
      EXPECT_EQ(std::vector<int32_t>(expected.begin(), expected.end()), out)
          << c.volume << (generic ? " generic" : " fast");
    }
  }
}

TEST(Converter, EightBitSamplesAreCentredOn128) {
  CConverter converter;
  converter.Update(kMono16, 0x562200, kUnityVolume, kUnityVolume);
  const std::string bytes = {'\x00', '\x80', '\xff'};
  EXPECT_EQ(Store(converter, bytes, 0, 3), (std::vector<int32_t>{-32768, 0, 32512}));
}

TEST(Converter, ChannelLayouts) {
  CConverter to_mono;
  to_mono.Update(kMono16, 0x562203, kUnityVolume, kUnityVolume);
  EXPECT_EQ(Store(to_mono, Pcm16({1600, -800}), 0, 1), (std::vector<int32_t>{400}));
  CConverter to_stereo;
  to_stereo.Update(0x562203, kMono16, 2048, 8192);
  EXPECT_EQ(Store(to_stereo, Pcm16({1600}), 0, 1),
            (std::vector<int32_t>{800, 3200}));
  // A mono device takes the mean of the two volumes: (2048 + 6144) / 2.
  CConverter mean;
  mean.Update(kMono16, kMono16, 2048, 6144);
  EXPECT_EQ(Store(mean, Pcm16({1600}), 0, 1), (std::vector<int32_t>{1600}));
}

TEST(Converter, FastRatesRepeatAndAverage) {
  const std::string frames = Pcm16({160, 480, 1600, 3200, 16, 32, 48, 64});
  CConverter up;
  up.Update(kMono16, 0x2B1102, kUnityVolume, kUnityVolume);
  // Output frames 1 to 4 of 11025 Hz on 22050: the second repeat of frame 0.
  EXPECT_EQ(Store(up, frames, 1, 4), (std::vector<int32_t>{160, 480, 480, 1600}));
  EXPECT_EQ(up.OutputFrames(8), 16u);
  CConverter down;
  down.Update(kMono16, 0xAC4402, kUnityVolume, kUnityVolume);
  EXPECT_EQ(Store(down, frames, 0, 4),
            (std::vector<int32_t>{320, 2400, 24, 56}));
  EXPECT_EQ(down.OutputFrames(7), 3u);
  CConverter four;
  four.Update(0x2B1102, 0xAC4402, kUnityVolume, kUnityVolume);
  // (160 + 480 + 1600 + 3200) / 4.
  EXPECT_EQ(Store(four, frames, 0, 1), (std::vector<int32_t>{1360}));
}

TEST(Converter, GenericPhaseStepsThroughTheSource) {
  // 8000 Hz on 22050: the phase starts at (22050 - 8000) / 2 = 7025. Frame 0
  // is emitted at 7025, then read (+22050) and emitted at 21075, 13075 and
  // 5075; at -2925 frame 1 is read.
  CConverter converter;
  converter.Update(kMono16, 0x1F4002, kUnityVolume, kUnityVolume);
  const std::string frames = Pcm16({100, 200, 300});
  EXPECT_EQ(Store(converter, frames, 0, 6),
            (std::vector<int32_t>{100, 100, 100, 100, 200, 200}));
  EXPECT_EQ(converter.SourceFrame(4), 1u);
  // The last output frame of 8000 source frames is the one before the
  // phase would read frame 8000: ceil((8000 * 22050 + 7025) / 8000).
  EXPECT_EQ(converter.OutputFrames(8000), 22051u);
}

TEST(Converter, DirectBetweenEqualFormatsAtUnityCopies) {
  const std::string frames = Pcm16({101, -7, 32767});
  for (bool generic : {false, true}) {
    CConverter converter;
    converter.SetGenericOnly(generic);
    converter.Update(kMono16, kMono16, kUnityVolume, kUnityVolume);
    std::vector<int16_t> copied(3);
    converter.Convert(EConvertOp::kDirect,
                      reinterpret_cast<const uint8_t*>(frames.data()), 0, 3,
                      copied.data());
    EXPECT_EQ(copied, (std::vector<int16_t>{101, -7, 32767}));
    // Other volumes go through the tables (fast) or the product (generic).
    converter.Update(kMono16, kMono16, kUnityVolume, 4095);
    converter.Convert(EConvertOp::kDirect,
                      reinterpret_cast<const uint8_t*>(frames.data()), 0, 3,
                      copied.data());
    // Mean volume 4095: 96 * 4095 >> 12 = 95, -16 -> -16, 32752 -> 32744;
    // the generic way 101 -> 100, -7 -> -7, 32767 -> 32759.
    const std::vector<int16_t> scaled = generic
                                            ? std::vector<int16_t>{100, -7, 32759}
                                            : std::vector<int16_t>{95, -16, 32744};
    EXPECT_EQ(copied, scaled);
  }
}
