// The audio outputs of both back ends and the WAV writer behind recording.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "support/temp_dir.h"
#include "support/env_guard.h"
#include "platform/headless_platform.h"

namespace {

const SAudioFormat kMono16{22050, 1, 16};

std::vector<uint8_t> Le16(std::initializer_list<int16_t> samples) {
  std::vector<uint8_t> bytes(samples.size() * 2);
  std::memcpy(bytes.data(), samples.begin(), bytes.size());
  return bytes;
}

}  // namespace

TEST(NullAudio, BuffersPlayInTheTimeTheirSamplesLast) {
  CHeadlessPlatform platform(SHeadlessOptions{});
  ErrCode error = err::kUnknownError;
  auto output = platform.OpenAudio(-1, kMono16, &error);
  ASSERT_TRUE(output);
  EXPECT_EQ(error, err::kOk);
  const std::vector<uint8_t> buffer(4410 * 2, 0);  // 200 ms
  ASSERT_EQ(output->Write(buffer.data(), 4410 * 2), err::kOk);
  ASSERT_EQ(output->Write(buffer.data(), 4410 * 2), err::kOk);
  EXPECT_EQ(output->PendingBuffers(), 2u);
  platform.WaitMessage(199);
  EXPECT_EQ(output->PendingBuffers(), 2u);
  platform.WaitMessage(1);
  EXPECT_EQ(output->PendingBuffers(), 1u);
  // A buffer written late starts when it is written, not when the last ended.
  platform.WaitMessage(300);
  EXPECT_EQ(output->PendingBuffers(), 0u);
  ASSERT_EQ(output->Write(buffer.data(), 4410 * 2), err::kOk);
  platform.WaitMessage(199);
  EXPECT_EQ(output->PendingBuffers(), 1u);
  output->Reset();
  EXPECT_EQ(output->PendingBuffers(), 0u);
}

TEST(NullAudio, OneDeviceWithTheStandardFormats) {
  CHeadlessPlatform platform(SHeadlessOptions{});
  EXPECT_EQ(platform.AudioDeviceCount(), 1);
  EXPECT_EQ(platform.AudioDeviceName(0), "Null audio device");
  struct SCase {
    int device;
    SAudioFormat format;
    bool supported;
  } cases[] = {
      {-1, {22050, 1, 16}, true}, {0, {11025, 2, 8}, true},
      {0, {44100, 2, 16}, true},  {1, {22050, 1, 16}, false},
      {0, {8000, 1, 16}, false},  {0, {22050, 3, 16}, false},
      {0, {22050, 1, 24}, false},
  };
  for (const SCase& c : cases) {
    EXPECT_EQ(platform.AudioSupportsFormat(c.device, c.format), c.supported)
        << c.device << " " << c.format.rate;
    ErrCode error = err::kOk;
    EXPECT_EQ(platform.OpenAudio(c.device, c.format, &error) != nullptr, c.supported);
  }
}

TEST(NullAudio, RecordsWhatItReceivesAfterTheVolume) {
  CTempDir dir;
  CEnvGuard out("TARVOLIN_AUDIO_OUT", dir.Join("out.wav").c_str());
  CHeadlessPlatform platform(SHeadlessOptions::FromEnvironment());
  ErrCode error = err::kOk;
  auto output = platform.OpenAudio(0, {11025, 2, 16}, &error);
  ASSERT_TRUE(output);
  output->SetVolume(0x8000, kFullAudioVolume);
  uint16_t left = 0, right = 0;
  output->GetVolume(&left, &right);
  EXPECT_EQ(left, 0x8000);
  const std::vector<uint8_t> frames = Le16({1000, 1000, -1000, -1000});
  ASSERT_EQ(output->Write(frames.data(), 8), err::kOk);
  const std::string wav = dir.ReadFile("out.wav");
  ASSERT_EQ(wav.size(), 44u + 8);
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_EQ(wav[4], 44);  // 36 + 8
  EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(static_cast<uint8_t>(wav[22]), 2);
  EXPECT_EQ(static_cast<uint8_t>(wav[40]), 8);
  int16_t samples[4];
  std::memcpy(samples, wav.data() + 44, 8);
  // 1000 x 32768 / 65535 = 500 on the left; the right at full volume.
  EXPECT_EQ(samples[0], 500);
  EXPECT_EQ(samples[1], 1000);
  EXPECT_EQ(samples[2], -500);
  EXPECT_EQ(samples[3], -1000);
}

TEST(WavWriter, OddDataGetsItsPadByteAndEightBitVolumeCentresOn128) {
  CTempDir dir;
  CWavWriter::SHeader header;
  header.bits = 8;
  header.rate = 11025;
  {
    auto writer = CWavWriter::Create(dir.Join("odd.wav"), header);
    ASSERT_TRUE(writer);
    uint8_t bytes[3] = {228, 28, 128};
    ApplyAudioVolume({11025, 1, 8}, 0x8000, 0x8000, bytes, 3);
    // 128 + 100 x 32768 / 65535 = 178, 128 - 50 = 78.
    EXPECT_EQ(bytes[0], 178);
    EXPECT_EQ(bytes[1], 78);
    EXPECT_EQ(bytes[2], 128);
    EXPECT_TRUE(writer->Write(bytes, 3));
  }
  const std::string wav = dir.ReadFile("odd.wav");
  ASSERT_EQ(wav.size(), 44u + 4);
  EXPECT_EQ(wav[4], 36 + 3 + 1);
  EXPECT_EQ(wav[40], 3);
  EXPECT_EQ(wav[47], '\0');
  EXPECT_EQ(static_cast<uint8_t>(wav[28]), 11025 & 0xFF);  // bytes per second
  EXPECT_FALSE(CWavWriter::Create(dir.Join("none/x.wav"), header));
}

TEST(SdlAudio, QueuedBuffersArePlayedThroughTheDiskDriver) {
  CTempDir dir;
  CEnvGuard video("SDL_VIDEODRIVER", "dummy");
  CEnvGuard audio("SDL_AUDIODRIVER", "disk");
  CEnvGuard file("SDL_DISKAUDIOFILE", dir.Join("sdl.raw").c_str());
  CEnvGuard chosen("TARVOLIN_PLATFORM", "sdl");
  ErrCode error = err::kOk;
  auto platform = CPlatform::Create(&error);
  if (!platform) GTEST_SKIP() << "SDL has no dummy video here";
  auto output = platform->OpenAudio(-1, kMono16, &error);
  if (!output) GTEST_SKIP() << "SDL has no disk audio here";
  EXPECT_TRUE(platform->AudioSupportsFormat(-1, kMono16));
  EXPECT_FALSE(platform->AudioSupportsFormat(-1, {8000, 1, 16}));
  const std::vector<uint8_t> buffer(2205 * 2, 0x11);  // 100 ms
  ASSERT_EQ(output->Write(buffer.data(), static_cast<uint32_t>(buffer.size())), err::kOk);
  ASSERT_EQ(output->Write(buffer.data(), static_cast<uint32_t>(buffer.size())), err::kOk);
  EXPECT_GE(output->PendingBuffers(), 1u);
  // The disk driver plays in real time: 200 ms here. The bound only ends a
  // hang, so a slow machine cannot fail the test.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (output->PendingBuffers() > 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(output->PendingBuffers(), 0u);
  output.reset();
  EXPECT_GE(dir.ReadFile("sdl.raw").size(), buffer.size());
}

namespace {

// A WAV file by hand: RIFF, a 16-byte "fmt " chunk, then `chunks` as given.
std::string WavFile(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                    const std::string& chunks) {
  const auto le = [](uint32_t value, int size) {
    std::string bytes;
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
    return bytes;
  };
  const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  return "RIFF" + le(static_cast<uint32_t>(28 + chunks.size()), 4) + "WAVEfmt " + le(16, 4) +
         le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) + le(align, 2) +
         le(bits, 2) + chunks;
}

std::unique_ptr<CAudioInput> OpenInput(CHeadlessPlatform* platform) {
  ErrCode error = err::kOk;
  return platform->OpenAudioInput(&error);
}

}  // namespace

// Delivery as the clock moves is the engine's recording test's.
TEST(NullAudio, TheInputTakesOnlyMono16BitPcmAt22050) {
  CTempDir dir;
  const std::string data = "data" + std::string("\4\0\0\0\1\2\3\4", 8);
  const struct {
    const char* name;
    std::string bytes;
    bool taken;
  } files[] = {
      // A chunk before "data", of odd size with its pad byte, is skipped.
      {"list", WavFile(1, 1, 22050, 16, std::string("LIST\3\0\0\0abc\0", 12) + data), true},
      {"rate", WavFile(1, 1, 11025, 16, data), false},
      {"stereo", WavFile(1, 2, 22050, 16, data), false},
      {"8bit", WavFile(1, 1, 22050, 8, data), false},
      {"adpcm", WavFile(0x104, 1, 22050, 16, data), false},
      {"nodata", WavFile(1, 1, 22050, 16, ""), false},
      {"riff", "RIFX" + WavFile(1, 1, 22050, 16, data).substr(4), false},
  };
  for (const auto& file : files) {
    dir.WriteFile(file.name, file.bytes);
    SHeadlessOptions options;
    options.audio_in_path = dir.Join(file.name);
    CHeadlessPlatform platform(options);
    std::unique_ptr<CAudioInput> input = OpenInput(&platform);
    ASSERT_EQ(input != nullptr, file.taken) << file.name;
    if (!input) continue;
    // 22.05 samples a millisecond: the file's two, then 20 of silence.
    platform.WaitMessage(1);
    std::vector<uint8_t> heard;
    input->Read(&heard);
    std::vector<uint8_t> expected(44, 0);
    std::copy_n("\1\2\3\4", 4, expected.begin());
    EXPECT_EQ(heard, expected);
  }
}
