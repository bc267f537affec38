#include "sound/adpcm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

std::vector<int16_t> DecodeBytes(CAdpcmCodec& codec, const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> samples(bytes.size() * 2);
  codec.Decode(bytes.data(), bytes.size(), reinterpret_cast<uint8_t*>(samples.data()));
  return samples;
}

double SignalToNoise(const std::vector<int16_t>& original,
                     const std::vector<int16_t>& decoded) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < original.size(); ++i) {
    signal += double(original[i]) * original[i];
    const double error = double(original[i]) - decoded[i];
    noise += error * error;
  }
  return 10 * std::log10(signal / noise);
}

std::vector<int16_t> Tone(size_t count) {
  std::vector<int16_t> samples(count);
  for (size_t i = 0; i < count; ++i)
    samples[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 440 * i / 22050.0));
  return samples;
}

// A burst of noise that starts and ends in silence, below 1 kHz as the
// sounds of a game are: white noise leaves no prediction to ADPCM.
std::vector<int16_t> NoiseBurst(size_t count) {
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0, 4000);
  std::vector<int16_t> samples(count, 0);
  double low = 0;
  for (size_t i = count / 4; i < 3 * count / 4; ++i) {
    low += 0.2 * (noise(random) - low);
    samples[i] = static_cast<int16_t>(std::clamp(4 * low, -32768.0, 32767.0));
  }
  return samples;
}

}  // namespace

TEST(Adpcm, TheByte7FDecodesFromTheInitialStateTo11ThenMinus19) {
  CAdpcmCodec codec;
  EXPECT_EQ(DecodeBytes(codec, {0x7F}), (std::vector<int16_t>{11, -19}));
  // Code 7 raised the index by 8 and code 15 by 8 again.
  EXPECT_EQ(codec.State().predicted, -19);
  EXPECT_EQ(codec.State().index, 16);
  // The state goes on with the next byte: code 0 adds step / 8, 34 / 8 = 4
  // and, after the index fell by one, 31 / 8 = 3.
  EXPECT_EQ(DecodeBytes(codec, {0x00}), (std::vector<int16_t>{-15, -12}));
  codec.Reset();
  EXPECT_EQ(DecodeBytes(codec, {0x7F}), (std::vector<int16_t>{11, -19}));
}

TEST(Adpcm, UnsignedAndEightBitOutput) {
  CAdpcmCodec codec;
  codec.SetUnsignedOutput(true);
  std::vector<uint16_t> wide(2);
  const uint8_t byte = 0x7F;
  codec.Decode(&byte, 1, reinterpret_cast<uint8_t*>(wide.data()));
  EXPECT_EQ(wide, (std::vector<uint16_t>{32768 + 11, 32768 - 19}));
  ASSERT_EQ(codec.SetFormat(1, 1), err::kOk);
  codec.Reset();
  uint8_t narrow[2];
  codec.Decode(&byte, 1, narrow);
  // 11 >> 8 = 0 and -19 >> 8 = -1, around the unsigned middle 128.
  EXPECT_EQ(narrow[0], 128);
  EXPECT_EQ(narrow[1], 127);
}

TEST(Adpcm, PredictionAndIndexClamp) {
  struct SCase {
    SAdpcmState state;
    uint8_t code;
    int32_t predicted, index;
  } cases[] = {
      {{32000, 88}, 7, 32767, 88},     // 32000 + 61436 clamps, index stays 88
      {{-32000, 88}, 15, -32768, 88},
      {{0, 0}, 0, 0, 0},               // difference 7 / 8 = 0, index -1 -> 0
      {{0, 1}, 3, 7, 0},               // step 8: 8 / 8 + 8 / 2 + 8 / 4
  };
  for (const SCase& c : cases) {
    SAdpcmState state = c.state;
    EXPECT_EQ(AdpcmDecodeCode(&state, c.code), c.predicted);
    EXPECT_EQ(state.index, c.index);
  }
}

TEST(Adpcm, EncoderPicksTheCodesThatDecodeBack) {
  CAdpcmCodec codec;
  const int16_t samples[] = {11, -19};
  uint8_t byte = 0;
  codec.Encode(samples, 2, &byte);
  EXPECT_EQ(byte, 0x7F);
  EXPECT_EQ(codec.State().predicted, -19);
  EXPECT_EQ(codec.State().index, 16);
}

TEST(Adpcm, SettingsAreChecked) {
  CAdpcmCodec codec;
  EXPECT_EQ(codec.BlockSize(), 1024u);
  EXPECT_EQ(codec.SetBlockSize(1023), err::kBadSize);
  EXPECT_EQ(codec.SetBlockSize(0), err::kBadSize);
  EXPECT_EQ(codec.SetBlockSize(512), err::kOk);
  EXPECT_EQ(codec.BlockSize(), 512u);
  EXPECT_EQ(codec.SetFormat(3, 2), err::kAdpcmBadFormat);
  EXPECT_EQ(codec.SetFormat(2, 3), err::kAdpcmBadFormat);
  EXPECT_EQ(codec.SetFormat(2, 2), err::kOk);
}

// Tones and noise come back close from our decoder and from sox's raw IMA
// reader, the standard codec: it forms the difference as a product, so its
// rounding differs from our shifts (0x7F gives 13, -17), but the step table,
// the index steps and the nibble order must agree for our streams to come
// back close to the originals.
TEST(Adpcm, OurStreamsDecodeBackCloseHereAndInSox) {
  const bool sox = std::system("sox --version >/dev/null 2>&1") == 0;
  CTempDir dir;
  for (const auto& original : {Tone(22050), NoiseBurst(22050)}) {
    CAdpcmCodec codec;
    std::vector<uint8_t> encoded(original.size() / 2);
    codec.Encode(original.data(), original.size(), encoded.data());
    codec.Reset();
    EXPECT_GT(SignalToNoise(original, DecodeBytes(codec, encoded)), 20.0);
    if (!sox) continue;
    std::ofstream(dir.Join("in.ima"), std::ios::binary)
        .write(reinterpret_cast<const char*>(encoded.data()),
               static_cast<std::streamsize>(encoded.size()));
    const std::string command = "sox -t ima -r 22050 -c 1 " + dir.Join("in.ima") +
                                " -t raw -e signed-integer -b 16 " + dir.Join("out.raw");
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string bytes = dir.ReadFile("out.raw");
    ASSERT_EQ(bytes.size(), original.size() * 2);
    std::vector<int16_t> decoded(original.size());
    std::memcpy(decoded.data(), bytes.data(), bytes.size());
    EXPECT_GT(SignalToNoise(original, decoded), 20.0);
  }
}
