#include "sound/wav.h"

#include <gtest/gtest.h>

#include "fs/file_service.h"
#include "sound/file_sound.h"
#include "sound/sound_support.h"
#include "support/mem_fs.h"

namespace {

class WavTest : public CMemFsTest {
 protected:
  ErrCode Read(const std::string& bytes, SWavInfo* info) {
    Put("x.wav", bytes);
    ErrCode error = err::kOk;
    std::unique_ptr<CFile> file = FsOpen("/mem/x.wav", kOpenRead, &error);
    EXPECT_TRUE(file);
    return ReadWavHeader(file.get(), info);
  }
};

const std::string kData(100, '\x10');

}  // namespace

TEST_F(WavTest, HeadersTheEngineTakes) {
  struct SCase {
    const char* name;
    SWavLayout layout;
    SoundFormat format;
    uint32_t data_start;
  } cases[] = {
      {"22050 Hz 16-bit mono", {}, 0x562202, 44},
      {"44100 Hz 8-bit stereo", {1, 2, 44100, 8}, 0xAC4401, 44},
      {"lowest rate", {1, 1, 4000, 16}, 4000 << 8 | 2, 44},
      {"highest rate", {1, 1, 45000, 16}, 45000 << 8 | 2, 44},
      {"other tags are PCM", {3, 1, 11025, 8}, 0x2B1100, 44},
      {"ADPCM", {0x104, 1, 22050, 16}, 0x562202, 44},
      // fmt of 18 bytes: "data" at 20 + 18.
      {"longer format chunk", {1, 1, 22050, 16, 18}, 0x562202, 46},
      // LIST of 4 bytes at 36: "data" at 48.
      {"LIST before data", {1, 1, 22050, 16, 16, Chunk("LIST", "INFO")}, 0x562202, 56},
      // An odd chunk has its pad byte: 36 + 8 + 3 + 1 = 48.
      {"odd chunk padded", {1, 1, 22050, 16, 16, Chunk("junk", "abc")}, 0x562202, 56},
  };
  for (const SCase& c : cases) {
    SWavInfo info;
    ASSERT_EQ(Read(MakeWav(c.layout, kData), &info), err::kOk) << c.name;
    EXPECT_EQ(info.format, c.format) << c.name;
    EXPECT_EQ(info.data_start, c.data_start) << c.name;
    EXPECT_EQ(info.data_size, kData.size()) << c.name;
    EXPECT_EQ(info.adpcm, c.layout.tag == 0x104) << c.name;
  }
}

TEST_F(WavTest, HeadersTheEngineRefuses) {
  auto with = [](auto change) {
    SWavLayout layout;
    change(layout);
    return MakeWav(layout, kData);
  };
  std::string not_riff = MakeWav({}, kData);
  not_riff[0] = 'X';
  std::string not_wave = MakeWav({}, kData);
  not_wave[12] = 'X';  // "fmt " must follow "WAVE" at once
  std::string no_data = MakeWav({}, kData);
  no_data[36] = 'D';
  struct SCase {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"not RIFF", not_riff},
      {"no fmt after WAVE", not_wave},
      {"format chunk of 15 bytes", with([](SWavLayout& s) { s.format_size = 15; })},
      {"no channels", with([](SWavLayout& s) { s.channels = 0; })},
      {"three channels", with([](SWavLayout& s) { s.channels = 3; })},
      {"rate 3999", with([](SWavLayout& s) { s.rate = 3999; })},
      {"rate 45001", with([](SWavLayout& s) { s.rate = 45001; })},
      {"12 bits", with([](SWavLayout& s) { s.bits = 12; })},
      {"8-bit ADPCM", with([](SWavLayout& s) { s.tag = 0x104; s.bits = 8; })},
      {"no data chunk", no_data},
      {"chunk past the end",
       with([](SWavLayout& s) { s.before_data = "LIST\xff\xff\xff\x7f"; })},
      {"header cut short", MakeWav({}, kData).substr(0, 30)},
      {"data header cut short", MakeWav({}, "").substr(0, 40)},
  };
  for (const SCase& c : cases) {
    SWavInfo info;
    EXPECT_EQ(Read(c.bytes, &info), err::kUnknownError) << c.name;
    Put("y.wav", c.bytes);
    ErrCode error = err::kOk;
    EXPECT_FALSE(CFileSound::OpenWav("/mem/y.wav", &error)) << c.name;
    EXPECT_EQ(error, err::kUnknownError) << c.name;
  }
}

TEST_F(WavTest, ADataSizePastTheEndIsCutToTheFile) {
  SWavLayout layout;
  layout.data_size_field = 100000;
  SWavInfo info;
  ASSERT_EQ(Read(MakeWav(layout, kData), &info), err::kOk);
  EXPECT_EQ(info.data_size, 100u);
}

TEST_F(WavTest, ReadErrorsPassThrough) {
  Put("x.wav", MakeWav({}, kData));
  m_fs->File("x.wav").fail_reads_at = 0;
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> file = FsOpen("/mem/x.wav", kOpenRead, &error);
  SWavInfo info;
  EXPECT_EQ(ReadWavHeader(file.get(), &info), err::kReadFail);
}
