#include "sound/file_sound.h"

#include <gtest/gtest.h>

#include "base/memory.h"
#include "fs/file_service.h"
#include "sound/sound_support.h"
#include "support/mem_fs.h"

namespace {

class FileSoundTest : public CMemFsTest {
 protected:
  std::unique_ptr<CFileSound> Open(const std::string& bytes) {
    Put("s.wav", bytes);
    ErrCode error = err::kUnknownError;
    auto sound = CFileSound::OpenWav("/mem/s.wav", &error);
    EXPECT_EQ(error, err::kOk);
    return sound;
  }

  // Every frame of the sound, delivered `step` output frames at a time with
  // an update between deliveries, at the sound's own format and unity.
  std::vector<int16_t> PlayAll(CFileSound& sound, uint32_t step) {
    CConverter converter;
    converter.SetGenericOnly(true);  // exact at unity
    converter.Update(sound.Format(), sound.Format(), kUnityVolume, kUnityVolume);
    const uint32_t channels = FormatChannels(sound.Format());
    std::vector<int32_t> accumulator(step * channels);
    std::vector<int16_t> played;
    EXPECT_EQ(sound.Start(), err::kOk);
    for (uint64_t position = 0; position < sound.FrameCount(); position += step) {
      const uint32_t count = static_cast<uint32_t>(
          std::min<uint64_t>(step, sound.FrameCount() - position));
      EXPECT_EQ(sound.DeliverSamples(converter, EConvertOp::kStore, position,
                                     count, accumulator.data()),
                count);
      played.insert(played.end(), accumulator.begin(),
                    accumulator.begin() + count * channels);
      EXPECT_EQ(sound.Update(), err::kOk);
    }
    return played;
  }
};

std::vector<int16_t> Ramp(size_t count, int step) {
  std::vector<int16_t> samples(count);
  for (size_t i = 0; i < count; ++i)
    samples[i] = static_cast<int16_t>(static_cast<int>(i) * step - 30000);
  return samples;
}

}  // namespace

TEST_F(FileSoundTest, DefaultBufferIsAnEighthOfASecondRounded) {
  struct SCase {
    SWavLayout layout;
    size_t data_bytes;
    uint32_t buffer;
  } cases[] = {
      // 2 x 22050 / 8 = 5512, then (5512 + 32) & ~31.
      {{}, 20000, 5536},
      // 4 x 44100 / 8 = 22050 -> 22080.
      {{1, 2, 44100, 16}, 40000, 22080},
      // 11025 / 8 = 1378 -> 1408.
      {{1, 1, 11025, 8}, 3000, 1408},
      // Cut to the sound's 100 bytes first: 132 & ~31 = 128.
      {{}, 100, 128},
      // ADPCM counts the decoded bytes: 2 x 22050 / 8 again.
      {{0x104, 1, 22050, 16}, 20000, 5536},
  };
  for (const SCase& c : cases) {
    auto sound = Open(MakeWav(c.layout, std::string(c.data_bytes, '\x80')));
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->BufferSize(), c.buffer);
  }
}

TEST_F(FileSoundTest, LengthsAndPlayWindows) {
  auto pcm = Open(MakeWav({1, 2, 22050, 16}, std::string(1003, '\0')));
  EXPECT_EQ(pcm->FrameCount(), 250u);  // 1003 / 4, the odd rest dropped
  auto adpcm = Open(MakeWav({0x104, 1, 22050, 16}, std::string(100, '\0')));
  EXPECT_TRUE(adpcm->IsAdpcm());
  EXPECT_EQ(adpcm->FrameCount(), 200u);  // two samples per byte
  Put("p.wav", MakeWav({}, std::string(1000, '\0')));
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> file = FsOpen("/mem/p.wav", kOpenRead, &error);
  CFile* raw = file.get();
  auto windowed = CFileSound::OpenWav(std::move(file), &error);
  ASSERT_TRUE(windowed);
  EXPECT_EQ(windowed->SetSource(raw, false, 100, 300, 0x562202, 0), err::kOk);
  EXPECT_EQ(windowed->FrameCount(), 100u);
  EXPECT_EQ(windowed->BufferSize(), 224u);  // 200 + 32 with the low bits clear
  EXPECT_EQ(windowed->SetSource(raw, false, 0, 5000, 0x562202, 0), err::kOk);
  EXPECT_EQ(windowed->FrameCount(), 500u);
  EXPECT_EQ(windowed->SetSource(raw, false, 301, 300, 0x562202, 0),
            err::kUnknownError);
}

TEST_F(FileSoundTest, WithoutMemoryTheBufferIsAllocFail) {
  auto sound = Open(MakeWav({}, std::string(20000, '\0')));
  SetMemLimit(EMemCategory::kHandle, MemCounter(EMemCategory::kHandle).used + 100);
  EXPECT_EQ(sound->SetBufferSize(0), err::kAllocFail);
  SetMemLimit(EMemCategory::kHandle, kNoMemLimit);
  EXPECT_EQ(sound->SetBufferSize(0), err::kOk);
}

TEST_F(FileSoundTest, PcmStreamsThroughASmallBuffer) {
  const std::vector<int16_t> ramp = Ramp(20000, 3);
  auto sound = Open(MakeWav({}, Pcm16(ramp)));
  ASSERT_EQ(sound->SetBufferSize(256), err::kOk);
  sound->SetReadStep(64);
  // Deliveries larger than the buffer are served in several reads.
  EXPECT_EQ(PlayAll(*sound, 1000), ramp);
  EXPECT_EQ(PlayAll(*sound, 77), ramp);
}

TEST_F(FileSoundTest, AdpcmKeepsItsStateAcrossRefillsAndRestartsAtTheStart) {
  std::string codes(5000, '\0');
  for (size_t i = 0; i < codes.size(); ++i)
    codes[i] = static_cast<char>((i * 37 + i / 7) & 0xFF);
  CAdpcmCodec codec;
  std::vector<int16_t> expected(codes.size() * 2);
  codec.Decode(reinterpret_cast<const uint8_t*>(codes.data()), codes.size(),
               reinterpret_cast<uint8_t*>(expected.data()));
  auto sound = Open(MakeWav({0x104, 1, 22050, 16}, codes));
  ASSERT_EQ(sound->SetBufferSize(100), err::kOk);
  EXPECT_EQ(PlayAll(*sound, 333), expected);
  // Playing again (a loop) decodes from the first byte again.
  EXPECT_EQ(PlayAll(*sound, 4096), expected);
}

TEST_F(FileSoundTest, ReadErrorsOfTheStreamPassThrough) {
  const std::vector<int16_t> ramp = Ramp(20000, 3);
  auto sound = Open(MakeWav({}, Pcm16(ramp)));
  ASSERT_EQ(sound->SetBufferSize(1000), err::kOk);
  EXPECT_EQ(sound->Start(), err::kOk);
  m_fs->File("s.wav").fail_reads_at = 1000;
  CConverter converter;
  converter.Update(0x562202, 0x562202, kUnityVolume, kUnityVolume);
  std::vector<int32_t> out(4000);
  // The buffer's first 1024 bytes (512 frames) are there; the rest fails.
  EXPECT_EQ(sound->DeliverSamples(converter, EConvertOp::kStore, 0, 4000,
                                  out.data()),
            512u);
  EXPECT_EQ(sound->Update(), err::kReadFail);
}
