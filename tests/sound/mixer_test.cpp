#include "sound/mixer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "sound/sound_support.h"
#include "support/temp_dir.h"
#include "platform/headless_platform.h"

namespace {

constexpr SoundFormat kMono16 = 0x562202;

class CRecordingListener : public CMixerListener {
 public:
  void PostMixerEvent(const SMixerEvent& event) override { events.push_back(event); }
  std::vector<SMixerEvent> events;
};

class MixerTest : public ::testing::Test {
 protected:
  MixerTest() {
    SHeadlessOptions options;
    options.audio_out_path = m_dir.Join("out.wav");
    m_platform = std::make_unique<CHeadlessPlatform>(options);
    m_mixer = std::make_unique<CWaveOutMixer>(m_platform.get());
  }

  // Starts the mixer and answers the first buffer the device received.
  std::vector<int16_t> FirstBuffer() {
    EXPECT_EQ(m_mixer->Start(), err::kOk);
    return Recorded(0, m_mixer->SamplesPerBuffer());
  }
  // The WAV file of what the device received.
  std::string RecordedBytes() const { return m_dir.ReadFile("out.wav"); }
  // 16-bit mono samples [from, from + count) of the recording.
  std::vector<int16_t> Recorded(size_t from, size_t count) {
    const std::string bytes = RecordedBytes();
    std::vector<int16_t> samples(count);
    EXPECT_GE(bytes.size(), 44 + 2 * (from + count));
    std::memcpy(samples.data(), bytes.data() + 44 + 2 * from, 2 * count);
    return samples;
  }
  // Lets the virtual clock run and the mixer refill.
  void Run(uint32_t ms) {
    for (uint32_t t = 0; t < ms; t += 50) {
      m_platform->WaitMessage(50);
      SPlatformMessage message;
      while (m_platform->PeekMessage(&message)) {
      }
      EXPECT_EQ(m_mixer->Process(), err::kOk);
    }
  }

  CTempDir m_dir;
  std::unique_ptr<CHeadlessPlatform> m_platform;
  std::unique_ptr<CWaveOutMixer> m_mixer;
};

}  // namespace

TEST_F(MixerTest, OpenSizesTheBuffersAndChecksTheFormat) {
  EXPECT_EQ(m_mixer->FindFreeChannel(), 0);  // not open
  EXPECT_EQ(m_mixer->Start(), err::kUnknownError);
  EXPECT_EQ(m_mixer->Open(0x1F4002, 16, 200), err::kUnknownError);  // 8000 Hz
  ASSERT_EQ(m_mixer->Open(kMono16, 16, 200), err::kOk);
  // 22050 x 200 / 1000 = 4410, the low four bits cleared.
  EXPECT_EQ(m_mixer->SamplesPerBuffer(), 4400u);
  EXPECT_EQ(m_mixer->ChannelCount(), 16);
  ASSERT_EQ(m_mixer->Open(0xAC4403, 4, 100), err::kOk);
  EXPECT_EQ(m_mixer->SamplesPerBuffer(), 4400u);  // 4410 again
  EXPECT_EQ(m_mixer->Start(), err::kOk);
  EXPECT_EQ(m_mixer->Open(kMono16, 16, 200), err::kUnknownError);  // started
}

TEST_F(MixerTest, DevicesAndTheirNames) {
  char name[32];
  EXPECT_EQ(m_mixer->GetDeviceName(-1, name, sizeof name), err::kOk);
  EXPECT_STREQ(name, "Wave mapper");
  EXPECT_EQ(m_mixer->GetDeviceName(1, name, sizeof name), err::kOk);
  EXPECT_STREQ(name, "Null audio device");
  EXPECT_EQ(m_mixer->GetDeviceName(1, name, 5), err::kOk);
  EXPECT_STREQ(name, "Null");
  EXPECT_EQ(m_mixer->GetDeviceName(2, name, sizeof name), err::kUnknownError);
  EXPECT_EQ(m_mixer->SelectDevice(0), err::kUnknownError);
  EXPECT_EQ(m_mixer->SelectDevice(2), err::kUnknownError);
  EXPECT_EQ(m_mixer->SelectDevice(1), err::kOk);
  EXPECT_TRUE(m_mixer->SupportsFormat(0x2B1100));
  EXPECT_TRUE(m_mixer->SupportsFormat(0xAC4403));
  EXPECT_FALSE(m_mixer->SupportsFormat(0x1F4002));
}

TEST_F(MixerTest, ChannelOperationsCheckTheirChannel) {
  ASSERT_EQ(m_mixer->Open(kMono16, 16, 200), err::kOk);
  CTestSound sound(kMono16, Pcm16({1, 2, 3}));
  EXPECT_EQ(m_mixer->Pause(3), err::kUnknownError);  // free
  EXPECT_EQ(m_mixer->SetChannelSound(16, &sound, 0), err::kUnknownError);
  EXPECT_EQ(m_mixer->SetChannelVolume(16, 1, 1), err::kUnknownError);
  EXPECT_EQ(m_mixer->SetLoop(16, true), err::kUnknownError);
  EXPECT_EQ(m_mixer->SetNotification(16, 1, 2, 3), err::kUnknownError);
  ASSERT_EQ(m_mixer->SetChannelSound(3, &sound, 77), err::kOk);
  EXPECT_EQ(sound.m_starts, 1);
  EXPECT_EQ(m_mixer->Pause(3), err::kOk);
  EXPECT_EQ(m_mixer->Channel(3)->flags, kChannelPaused);
  EXPECT_EQ(m_mixer->Resume(3), err::kOk);
  EXPECT_EQ(m_mixer->SetLoop(3, true), err::kOk);
  EXPECT_EQ(m_mixer->Channel(3)->flags, kChannelLoop);
  EXPECT_EQ(m_mixer->Channel(3)->left, kUnityVolume);
  EXPECT_EQ(m_mixer->Channel(3)->tag, 77u);
  EXPECT_EQ(m_mixer->SetChannelSound(3, nullptr, 0), err::kOk);
  EXPECT_EQ(sound.m_stops, 1);
  EXPECT_EQ(m_mixer->Channel(3)->flags, 0u);
}

TEST_F(MixerTest, FindFreeChannelTakesTheLowestAndAnswersFFFFWhenAllAreBusy) {
  ASSERT_EQ(m_mixer->Open(kMono16, 16, 200), err::kOk);
  CTestSound sound(kMono16, Pcm16({1}));
  for (uint16_t channel = 0; channel < 16; ++channel) {
    EXPECT_EQ(m_mixer->FindFreeChannel(), channel);
    ASSERT_EQ(m_mixer->SetChannelSound(channel, &sound, channel), err::kOk);
  }
  EXPECT_EQ(m_mixer->FindFreeChannel(), 0xFFFF);
  ASSERT_EQ(m_mixer->SetChannelSound(5, nullptr, 0), err::kOk);
  EXPECT_EQ(m_mixer->FindFreeChannel(), 5);
}

TEST_F(MixerTest, AShortSoundEndsInsideTheBufferAndIsReportedOnce) {
  ASSERT_EQ(m_mixer->Open(kMono16, 16, 200), err::kOk);
  CRecordingListener listener;
  m_mixer->SetListener(&listener);
  m_mixer->SetDefaultNotification(9, 0x1234, 0xBEEF);
  std::vector<int16_t> samples(1000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(16 * i);
  CTestSound sound(kMono16, Pcm16(samples));
  ASSERT_EQ(m_mixer->SetChannelSound(2, &sound, 42), err::kOk);
  const std::vector<int16_t> first = FirstBuffer();
  EXPECT_EQ(std::vector<int16_t>(first.begin(), first.begin() + 1000), samples);
  EXPECT_EQ(std::vector<int16_t>(first.begin() + 1000, first.end()),
            std::vector<int16_t>(3400, 0));
  EXPECT_TRUE(m_mixer->Channel(2)->flags & kChannelEnded);
  Run(1000);
  ASSERT_EQ(listener.events.size(), 1u);
  const SMixerEvent& event = listener.events[0];
  EXPECT_EQ(event.code, 9);
  EXPECT_EQ(event.target, 0x1234u);
  EXPECT_EQ(event.mixer, m_mixer.get());
  EXPECT_EQ(event.event, 0x2000068u);
  EXPECT_EQ(event.data, 0xBEEFu);
  EXPECT_EQ(event.tag, 42u);
  EXPECT_EQ(event.sequence, 1u);
  EXPECT_EQ(Recorded(4400, 4400), std::vector<int16_t>(4400, 0));
}

TEST_F(MixerTest, WithoutTheMaskTheEndIsSilent) {
  ASSERT_EQ(m_mixer->Open(kMono16, 16, 200), err::kOk);
  CRecordingListener listener;
  m_mixer->SetListener(&listener);
  m_mixer->SetNotificationMask(0);
  CTestSound sound(kMono16, Pcm16({5, 6}));
  ASSERT_EQ(m_mixer->SetChannelSound(0, &sound, 0), err::kOk);
  FirstBuffer();
  Run(500);
  EXPECT_TRUE(listener.events.empty());
  EXPECT_TRUE(m_mixer->Channel(0)->flags & kChannelFinished);
}

TEST_F(MixerTest, ALoopingSoundRepeatsWithoutNotifications) {
  ASSERT_EQ(m_mixer->Open(kMono16, 16, 200), err::kOk);
  CRecordingListener listener;
  m_mixer->SetListener(&listener);
  CTestSound sound(kMono16, Pcm16({160, 320, 480}));
  ASSERT_EQ(m_mixer->SetChannelSound(0, &sound, 0), err::kOk);
  ASSERT_EQ(m_mixer->SetLoop(0, true), err::kOk);
  const std::vector<int16_t> first = FirstBuffer();
  for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(first[i], 160 * (1 + i % 3)) << i;
  // The second buffer goes on where the first stopped: 4400 = 3 x 1466 + 2.
  EXPECT_EQ(Recorded(4400, 2), (std::vector<int16_t>{480, 160}));
  Run(600);
  EXPECT_TRUE(listener.events.empty());
}

TEST_F(MixerTest, SumsClampAndPausedChannelsAreSilent) {
  ASSERT_EQ(m_mixer->Open(kMono16, 16, 200), err::kOk);
  CTestSound loud(kMono16, Pcm16(std::vector<int16_t>(4400, 32767)));
  CTestSound low(kMono16, Pcm16(std::vector<int16_t>(4400, -32768)));
  CTestSound quiet(kMono16, Pcm16(std::vector<int16_t>(4400, 1600)));
  ASSERT_EQ(m_mixer->SetChannelSound(0, &loud, 0), err::kOk);
  ASSERT_EQ(m_mixer->SetChannelSound(1, &loud, 0), err::kOk);
  ASSERT_EQ(m_mixer->SetChannelSound(2, &quiet, 0), err::kOk);
  ASSERT_EQ(m_mixer->SetChannelVolume(2, 8192, 8192), err::kOk);
  ASSERT_EQ(m_mixer->SetChannelSound(3, &low, 0), err::kOk);
  ASSERT_EQ(m_mixer->Pause(3), err::kOk);
  // 32752 + 32752 + 3200 (the tables drop the low bits of 32767).
  EXPECT_EQ(FirstBuffer(), std::vector<int16_t>(4400, 32767));
}

TEST_F(MixerTest, EightBitDeviceWritesTheHighByteAroundTheMiddle) {
  ASSERT_EQ(m_mixer->Open(0x562200, 16, 200), err::kOk);
  CTestSound first(kMono16, Pcm16(std::vector<int16_t>(4400, 1600)));
  CTestSound second(kMono16, Pcm16(std::vector<int16_t>(4400, -32768)));
  ASSERT_EQ(m_mixer->SetChannelSound(0, &first, 0), err::kOk);
  ASSERT_EQ(m_mixer->SetChannelSound(1, &second, 0), err::kOk);
  ASSERT_EQ(m_mixer->Start(), err::kOk);
  const std::string bytes = RecordedBytes();
  ASSERT_GE(bytes.size(), 44u + 4400);
  // (1600 - 32768) >> 8 = -122 (floor), + 128 = 6.
  EXPECT_EQ(static_cast<uint8_t>(bytes[44]), 6);
  EXPECT_EQ(static_cast<uint8_t>(bytes[44 + 4399]), 6);
}

TEST_F(MixerTest, TheNullDevicePlaysBuffersAtTheClocksPace) {
  ASSERT_EQ(m_mixer->Open(kMono16, 16, 200), err::kOk);
  CTestSound sound(kMono16, Pcm16(std::vector<int16_t>(100000, 800)));
  ASSERT_EQ(m_mixer->SetChannelSound(0, &sound, 0), err::kOk);
  ASSERT_EQ(m_mixer->Start(), err::kOk);
  // 4400 frames last 199.5 ms: after one second five more were needed.
  Run(1000);
  const std::string bytes = RecordedBytes();
  EXPECT_EQ(bytes.size(), 44u + 7 * 8800);
  EXPECT_GT(sound.m_updates, 0);
  EXPECT_EQ(m_mixer->SetDeviceVolume(0x8000, 0x8000), err::kOk);
  uint16_t left = 0, right = 0;
  EXPECT_EQ(m_mixer->GetDeviceVolume(&left, &right), err::kOk);
  EXPECT_EQ(left, 0x8000);
  EXPECT_EQ(m_mixer->Stop(), err::kOk);
  EXPECT_FALSE(m_mixer->IsStarted());
}

namespace {

// A silent sound that counts its starts and runs a hook where the mixer
// calls it: Stop while the main loop holds the mixer, DeliverSamples while
// a refill mixes.
class CHookSound final : public CSound {
 public:
  SoundFormat Format() const override { return kMono16; }
  uint64_t FrameCount() const override { return 100000; }
  ErrCode Start() override {
    ++starts;
    return err::kOk;
  }
  void Stop() override {
    if (on_stop) on_stop();
  }
  ErrCode Update() override { return err::kOk; }
  uint32_t DeliverSamples(const CConverter&, EConvertOp, uint64_t, uint32_t count,
                          void*) override {
    if (on_deliver) on_deliver();
    return count;
  }

  std::function<void()> on_stop, on_deliver;
  std::atomic<int> starts{0};
};

}  // namespace

TEST_F(MixerTest, TheCallbackRefillsOnlyWhileTheMainLoopLetsIt) {
  ASSERT_EQ(m_mixer->Open(kMono16, 16, 200), err::kOk);
  m_mixer->SetCallbackMode(true);
  m_mixer->BufferDone(0);
  EXPECT_TRUE(m_mixer->RefillMissed());  // not started
  ASSERT_EQ(m_mixer->Start(), err::kOk);
  ASSERT_EQ(m_mixer->Process(), err::kOk);
  EXPECT_FALSE(m_mixer->RefillMissed());
  auto buffers = [&] {
    const size_t bytes = RecordedBytes().size() - 44;
    EXPECT_EQ(bytes % 8800, 0u);
    return bytes / 8800;
  };
  EXPECT_EQ(buffers(), 2u);
  // A callback while the main loop does not hold the mixer refills.
  std::thread([&] { m_mixer->BufferDone(0); }).join();
  EXPECT_FALSE(m_mixer->RefillMissed());
  EXPECT_EQ(buffers(), 3u);

  // One that comes while the main loop holds it (here: inside
  // SetChannelSound) only notes the miss; Process makes up for it.
  CHookSound sound;
  ASSERT_EQ(m_mixer->SetChannelSound(0, &sound, 0), err::kOk);
  size_t during_hold = 0;
  sound.on_stop = [&] {
    std::thread([&] { m_mixer->BufferDone(1); }).join();
    during_hold = buffers();
  };
  ASSERT_EQ(m_mixer->SetChannelSound(0, nullptr, 0), err::kOk);
  sound.on_stop = nullptr;
  EXPECT_EQ(during_hold, 3u);
  EXPECT_TRUE(m_mixer->RefillMissed());
  Run(600);  // the device has played two buffers
  EXPECT_FALSE(m_mixer->RefillMissed());
  EXPECT_GT(buffers(), 3u);

  // A main-loop call that comes while a refill mixes waits until it is over:
  // the other sound is not started before the refill returns.
  ASSERT_EQ(m_mixer->SetChannelSound(0, &sound, 0), err::kOk);
  CHookSound other;
  std::thread main_loop;
  std::atomic<bool> calling{false};
  int starts_while_mixing = -1;
  sound.on_deliver = [&] {
    if (main_loop.joinable()) return;
    main_loop = std::thread([&] {
      calling = true;
      EXPECT_EQ(m_mixer->SetChannelSound(1, &other, 0), err::kOk);
    });
    while (!calling) std::this_thread::yield();
    for (int i = 0; i < 1000; ++i) std::this_thread::yield();
    starts_while_mixing = other.starts;
  };
  std::thread([&] { m_mixer->BufferDone(0); }).join();
  main_loop.join();
  sound.on_deliver = nullptr;
  EXPECT_EQ(starts_while_mixing, 0);
  EXPECT_EQ(other.starts, 1);
}
