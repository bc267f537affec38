// Record in a game played headless: the wave input (a known WAV file) goes
// into a 22050 Hz 16-bit mono WAV below "/out/", until ten seconds have
// passed, the player presses on the view, or the game ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "game_run.h"

namespace {

std::string Le(uint32_t value, int size) {
  std::string bytes;
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
  return bytes;
}

// 1000 samples of a ramp, -15000 rising by 30.
std::string Ramp() {
  std::string data;
  for (int i = 0; i < 1000; ++i) data += Le(static_cast<uint16_t>(-15000 + 30 * i), 2);
  return data;
}

// The header of a 22050 Hz 16-bit mono PCM WAV with `samples` samples.
std::string Header(uint32_t samples) {
  return "RIFF" + Le(36 + 2 * samples, 4) + "WAVEfmt " + Le(16, 4) + Le(1, 2) + Le(1, 2) +
         Le(22050, 4) + Le(44100, 4) + Le(2, 2) + Le(16, 2) + "data" + Le(2 * samples, 4);
}

class RecordTest : public GameRunTest {
 protected:
  void SetUp() override {
    m_game.WriteFile("tool.ini", "[main]\nautoload=game.prj\n[Messages]\nError=Game\n"
                                 "[FS]\n/HDD/=Trans, ./\n/out/=Trans, ./out/\n");
    std::filesystem::create_directories(m_game.Join("out"));
    m_game.WriteFile("back.bmp", GamePicture());
    m_game.WriteFile("in.wav", Header(1000) + Ramp());
    m_game.WriteFile("src/world.ini",
                     "[/]\r\nWorld=container\r\nTemplates=container\r\n"
                     "[/Templates/]\r\nPlaneView=container\r\nViewSet=container\r\n"
                     "[/Templates/PlaneView/]\r\nType=str:PlaneView\r\n"
                     "[/Templates/ViewSet/]\r\nType=str:ViewSet\r\n"
                     "[/World/]\r\nTemplate=str:ViewSet\r\nRoom=container\r\n"
                     "[/World/Room/]\r\nTemplate=str:PlaneView\r\nImageName=str:" +
                         m_game.Join("back.bmp") + "\r\n");
    // Refused outside "/out/"; the second recording is ignored.
    m_game.WriteFile("src/World/OnNew.tvs",
                     "Record(\"/HDD/x.wav\");\nRecord(\"/out/r.wav\");\nRecord(\"/out/s.wav\");\n"
                     "GoToView(\"Room\", 0, 0);\n");
    m_game.WriteFile("src/World/Room/OnRecordStop.tvs", ";\n");
    ASSERT_EQ(Build().exit_code, 0);
  }

  // Plays `input`; the times of the calls of "OnNew" and "OnRecordStop".
  void Run(const std::string& input, uint32_t* start, std::vector<uint32_t>* stops) {
    std::filesystem::remove(m_game.Join("out/r.wav"));
    const SProcessResult run = Play({}, input, {{"TARVOLIN_AUDIO_IN", m_game.Join("in.wav")}});
    ASSERT_EQ(run.exit_code, 0);
    EXPECT_NE(run.err.find("file access denied: /HDD/x.wav"), std::string::npos) << run.err;
    EXPECT_FALSE(m_game.Exists("x.wav"));
    EXPECT_FALSE(m_game.Exists("out/s.wav"));
    for (const std::string& line : TraceLines()) {
      const std::string call = WithoutTime(line);
      if (call.starts_with("handlers\tcall\t0\tWorld\tOnNew\t")) *start = static_cast<uint32_t>(std::stoul(line));
      if (call == "handlers\tcall\t0\tRoom\tOnRecordStop\trun") stops->push_back(static_cast<uint32_t>(std::stoul(line)));
    }
  }

  // The recording holds the ramp, then silence, `samples` in all.
  void ExpectRecording(uint32_t samples) const {
    const std::string wav = m_game.ReadFile("out/r.wav");
    ASSERT_EQ(wav.size(), 44 + 2 * size_t{samples});
    EXPECT_EQ(wav.substr(0, 44), Header(samples));
    const std::string ramp = Ramp().substr(0, std::min<size_t>(2000, 2 * samples));
    EXPECT_EQ(wav.substr(44, ramp.size()), ramp);
    EXPECT_EQ(std::count(wav.begin() + 44 + static_cast<ptrdiff_t>(ramp.size()), wav.end(), '\0'),
              static_cast<ptrdiff_t>(wav.size() - 44 - ramp.size()));
  }
};

}  // namespace

// Ten seconds of 22.05 samples a millisecond: 220500, however late the pass
// that stops it comes.
TEST_F(RecordTest, TenSecondsEndTheRecordingAndTellTheView) {
  uint32_t start = 0;
  std::vector<uint32_t> stops;
  Run("12000 quit\n", &start, &stops);
  ASSERT_EQ(stops.size(), 1u);
  EXPECT_GE(stops[0] - start, 10000u);
  EXPECT_LT(stops[0], 12000u);
  ExpectRecording(220500);
}

// A press stops it at once; ending the game writes it without a word.
TEST_F(RecordTest, APressOrTheEndOfTheGameStopsItEarly) {
  const struct {
    const char* input;
    uint32_t stop;  // 0: none
  } cases[] = {{"3000 ldown 10 10\n3010 lup 10 10\n12000 quit\n", 3000}, {"2000 quit\n", 0}};
  for (const auto& c : cases) {
    uint32_t start = 0;
    std::vector<uint32_t> stops;
    Run(c.input, &start, &stops);
    EXPECT_EQ(stops, c.stop ? std::vector<uint32_t>{c.stop} : std::vector<uint32_t>{}) << c.input;
    ExpectRecording(((c.stop ? c.stop : 2000) - start) * 22050 / 1000);
  }
}
