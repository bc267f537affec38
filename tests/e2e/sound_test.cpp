// Sound as authors and players meet it: tvkit wav and mix, and what the
// engine sends to its audio device.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "support/process.h"
#include "support/temp_dir.h"

namespace {

std::string Le(uint32_t value, int size) {
  std::string bytes;
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
  return bytes;
}

std::string Wav(uint16_t channels, uint32_t rate, uint16_t bits,
                const std::string& data) {
  const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  return "RIFF" + Le(36 + static_cast<uint32_t>(data.size()), 4) + "WAVEfmt " +
         Le(16, 4) + Le(1, 2) + Le(channels, 2) + Le(rate, 4) +
         Le(rate * align, 4) + Le(align, 2) + Le(bits, 2) + "data" +
         Le(static_cast<uint32_t>(data.size()), 4) + data;
}

// One second of 440 Hz at 22050 Hz, 16-bit mono.
std::vector<int16_t> Tone() {
  std::vector<int16_t> samples(22050);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>(std::lround(10000 * std::sin(2 * M_PI * 440 * i / 22050.0)));
  return samples;
}

std::string Bytes(const std::vector<int16_t>& samples) {
  std::string bytes(samples.size() * 2, '\0');
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

std::vector<int16_t> Samples(const std::string& wav) {
  std::vector<int16_t> samples(wav.size() > 44 ? (wav.size() - 44) / 2 : 0);
  std::memcpy(samples.data(), wav.data() + 44, samples.size() * 2);
  return samples;
}

class SoundTest : public ::testing::Test {
 protected:
  SProcessResult Tvkit(const std::vector<std::string>& args) {
    CChildProcess child(TVKIT_BINARY, args, {},
                        m_dir.Join("child" + std::to_string(m_runs++)));
    return child.Wait();
  }
  SProcessResult Engine(std::map<std::string, std::string> env) {
    env.emplace("TARVOLIN_PLATFORM", "headless");
    env.emplace("TARVOLIN_DIR", m_dir.Path());
    env.emplace("TARVOLIN_INPUT", m_dir.Join("input.txt"));
    env.emplace("XDG_RUNTIME_DIR", m_dir.Path());
    env.emplace("TARVOLIN_LOG", "0");
    CChildProcess child(TARVOLIN_BINARY, {}, env,
                        m_dir.Join("child" + std::to_string(m_runs++)));
    return child.Wait();
  }
  std::string Path(const std::string& name) { return m_dir.Join(name); }

  CTempDir m_dir;
  int m_runs = 0;
};

const char kConfig[] =
    "[main]\n[Messages]\nError=Demo\nSoundUnavailable=No sound.\n[FS]\n";

}  // namespace

TEST_F(SoundTest, WavInfoDescribesTheSound) {
  m_dir.WriteFile("tone.wav", Wav(1, 22050, 16, Bytes(Tone())));
  m_dir.WriteFile("stereo8.wav", Wav(2, 11025, 8, std::string(1001, '\x80')));
  SProcessResult run = Tvkit({"wav", "info", Path("tone.wav")});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "format=PCM rate=22050 channels=1 bits=16 samples=22050\n");
  run = Tvkit({"wav", "info", Path("stereo8.wav")});
  EXPECT_EQ(run.out, "format=PCM rate=11025 channels=2 bits=8 samples=500\n");
}

TEST_F(SoundTest, AdpcmEncodingDecodesBackCloseToTheOriginal) {
  const std::vector<int16_t> tone = Tone();
  m_dir.WriteFile("tone.wav", Wav(1, 22050, 16, Bytes(tone)));
  ASSERT_EQ(Tvkit({"wav", "adpcm", Path("tone.wav"), Path("tone.adp")}).exit_code, 0);
  const std::string adpcm = m_dir.ReadFile("tone.adp");
  ASSERT_EQ(adpcm.size(), 44u + 22050 / 2 + 1);  // 11025 bytes and a pad
  EXPECT_EQ(adpcm.substr(20, 2), Le(0x104, 2));
  SProcessResult run = Tvkit({"wav", "info", Path("tone.adp")});
  EXPECT_EQ(run.out, "format=ADPCM rate=22050 channels=1 bits=16 samples=22050\n");
  ASSERT_EQ(Tvkit({"wav", "decode", Path("tone.adp"), Path("back.wav")}).exit_code, 0);
  const std::vector<int16_t> back = Samples(m_dir.ReadFile("back.wav"));
  ASSERT_EQ(back.size(), tone.size());
  double signal = 0, noise = 0;
  for (size_t i = 0; i < tone.size(); ++i) {
    signal += double(tone[i]) * tone[i];
    noise += (double(tone[i]) - back[i]) * (double(tone[i]) - back[i]);
  }
  EXPECT_GT(10 * std::log10(signal / noise), 20.0);
}

TEST_F(SoundTest, MixAtUnityGivesTheToneBack) {
  const std::vector<int16_t> tone = Tone();
  m_dir.WriteFile("tone.wav", Wav(1, 22050, 16, Bytes(tone)));
  const SProcessResult run =
      Tvkit({"mix", "--rate", "22050", "--bits", "16", "--channels", "1", "--ms",
             "1000", Path("out.wav"), Path("tone.wav") + "@4096,4096"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::vector<int16_t> out = Samples(m_dir.ReadFile("out.wav"));
  // Buffers of 4400 frames, 199.5 ms each: two queued at the start and one
  // after each of the five that finished within the second.
  ASSERT_EQ(out.size(), 7u * 4400);
  EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 22050), tone);
  EXPECT_EQ(std::vector<int16_t>(out.begin() + 22050, out.end()),
            std::vector<int16_t>(out.size() - 22050, 0));
}

TEST_F(SoundTest, MixScalesSumsAndLoops) {
  const std::vector<int16_t> tone = Tone();
  m_dir.WriteFile("tone.wav", Wav(1, 22050, 16, Bytes(tone)));
  m_dir.WriteFile("dc.wav", Wav(1, 11025, 8, std::string(100, '\x90')));
  const SProcessResult run = Tvkit(
      {"mix", "--rate", "22050", "--bits", "16", "--channels", "2", "--ms", "300",
       Path("out.wav"), Path("tone.wav") + "@2048,0", Path("dc.wav") + "@4096,4096,loop"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::vector<int16_t> out = Samples(m_dir.ReadFile("out.wav"));
  ASSERT_GE(out.size(), 2u * 8800);
  // Left: half the tone (its low four bits dropped) plus the 8-bit level
  // (0x90 - 128) * 256 = 4096; right: that level alone, repeated by the loop.
  for (size_t frame = 0; frame < 8800; ++frame) {
    const int expected_left = ((tone[frame] & ~15) * 2048 >> 12) + 4096;
    ASSERT_EQ(out[2 * frame], expected_left) << frame;
    ASSERT_EQ(out[2 * frame + 1], 4096) << frame;
  }
}

TEST_F(SoundTest, WavPlayGoesThroughThePlatformsDevice) {
  const std::vector<int16_t> tone = Tone();
  m_dir.WriteFile("tone.wav", Wav(1, 22050, 16, Bytes(tone)));
  std::map<std::string, std::string> env = {{"TARVOLIN_PLATFORM", "headless"},
                                            {"TARVOLIN_AUDIO_OUT", Path("out.wav")}};
  CChildProcess child(TVKIT_BINARY, {"wav", "play", Path("tone.wav")}, env,
                      m_dir.Join("play"));
  const SProcessResult run = child.Wait();
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::vector<int16_t> out = Samples(m_dir.ReadFile("out.wav"));
  ASSERT_GE(out.size(), tone.size());
  EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + 22050), tone);
}

TEST_F(SoundTest, ErrorsEndWithTheirName) {
  m_dir.WriteFile("bad.wav", "RIFF....WAVEfmt \x0f");
  m_dir.WriteFile("eight.wav", Wav(1, 22050, 8, std::string(10, '\x80')));
  struct SCase {
    std::vector<std::string> args;
    const char* err;
  } cases[] = {
      {{"wav", "info", Path("none.wav")}, "error: FILENOTFOUND\n"},
      {{"wav", "info", Path("bad.wav")}, "error: Unknown error\n"},
      {{"wav", "adpcm", Path("eight.wav"), Path("x.wav")}, "error: ADPCM_BADFORMAT\n"},
      {{"wav", "frob"}, "error: BADPARAMS\n"},
      {{"mix", "--rate", "22050", "--bits", "12", "--channels", "1", "--ms", "10",
        Path("o.wav"), Path("eight.wav")},
       "error: BADPARAMS\n"},
      {{"mix", "--rate", "8000", "--bits", "16", "--channels", "1", "--ms", "10",
        Path("o.wav"), Path("eight.wav")},
       "error: Unknown error\n"},
      {{"mix", "--rate", "22050", "--bits", "16", "--channels", "1", "--ms", "10",
        Path("o.wav"), Path("eight.wav@1,2,3")},
       "error: BADPARAMS\n"},
  };
  for (const SCase& c : cases) {
    const SProcessResult run = Tvkit(c.args);
    EXPECT_EQ(run.exit_code, 1) << c.args[1];
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
  }
}

TEST_F(SoundTest, TheEngineRecordsWhatItPlays) {
  m_dir.WriteFile("tool.ini", kConfig);
  m_dir.WriteFile("input.txt", "500 quit\n");
  const SProcessResult run = Engine({{"TARVOLIN_AUDIO_OUT", Path("played.wav")}});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");
  const std::string played = m_dir.ReadFile("played.wav");
  // 22050 Hz 16-bit mono: two buffers at the start, then one for each
  // 199.5 ms played before the quit at 500 ms.
  ASSERT_EQ(played.size(), 44u + 4 * 8800);
  EXPECT_EQ(played.substr(22, 2), Le(1, 2));
  EXPECT_EQ(played.substr(24, 4), Le(22050, 4));
  EXPECT_EQ(played.substr(34, 2), Le(16, 2));
  EXPECT_EQ(Samples(played), std::vector<int16_t>(4 * 4400, 0));
}

TEST_F(SoundTest, NoSoundStillStarts) {
  m_dir.WriteFile("tool.ini", std::string(kConfig) + "[main]\nNoSound=\n");
  m_dir.WriteFile("input.txt", "100 quit\n");
  const SProcessResult run = Engine({});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");
}

TEST_F(SoundTest, WithoutAnAudioDeviceTheEngineSaysSoundUnavailable) {
  m_dir.WriteFile("tool.ini", kConfig);
  m_dir.WriteFile("input.txt", "");
  const SProcessResult run = Engine({{"TARVOLIN_PLATFORM", "sdl"},
                                     {"SDL_VIDEODRIVER", "dummy"},
                                     {"SDL_AUDIODRIVER", "none-such"}});
  if (run.err.find("no platform can start") != std::string::npos)
    GTEST_SKIP() << "SDL has no dummy video here";
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.err.find("Demo: No sound."), std::string::npos) << run.err;
}
