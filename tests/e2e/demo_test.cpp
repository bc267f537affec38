// The demo game built from its sources and played headless with its own
// play-through input: the views it passes in order, the village's handlers
// around the hill, the hand over what reacts and the cupboard it opens.
#include <gtest/gtest.h>

#include "game_run.h"

namespace {

class DemoTest : public GameRunTest {
 protected:
  // The colour of pixel (x, y) of a 640 x 480 8-bit bottom-up shot, 0xRRGGBB.
  uint32_t ShotColour(const std::string& name, int x, int y) const {
    const std::string bmp = m_game.ReadFile(name);
    const auto byte = [&bmp](size_t at) { return static_cast<uint8_t>(bmp.at(at)); };
    const size_t pixels = byte(10) | byte(11) << 8 | byte(12) << 16;
    const uint8_t index = byte(pixels + static_cast<size_t>(479 - y) * 640 + x);
    const size_t entry = 54 + 4u * index;
    return uint32_t{byte(entry + 2)} << 16 | byte(entry + 1) << 8 | byte(entry);
  }

  // The views trace and the handlers that ran on entering and leaving.
  std::vector<std::string> Story() const {
    std::vector<std::string> lines;
    for (const std::string& traced : TraceLines()) {
      const std::string line = WithoutTime(traced);
      const bool passage = line.ends_with("\tOnEntry\trun") || line.ends_with("\tOnExit\trun");
      if (line.starts_with("views\t") || passage) lines.push_back(line);
    }
    return lines;
  }
};

TEST_F(DemoTest, ThePlayThroughPassesEveryViewAndOpensTheCupboard) {
  const SProcessResult built = Tvkit({"game", "build", m_game.Path(), TARVOLIN_DEMO_DIR});
  ASSERT_EQ(built.exit_code, 0) << built.err;
  const SProcessResult run = CChildProcess(
      TARVOLIN_BINARY, {},
      {{"TARVOLIN_PLATFORM", "headless"},
       {"TARVOLIN_DIR", m_game.Path()},
       {"TARVOLIN_INPUT", std::string(TARVOLIN_DEMO_DIR) + "/tests/playthrough.in"},
       {"XDG_RUNTIME_DIR", m_runtime.Path()},
       {"TARVOLIN_TRACE", "views,handlers,cursor"},
       {"TARVOLIN_TRACE_FILE", m_game.Join("trace.txt")}},
      m_runtime.Join("engine")).Wait();
  EXPECT_EQ(run.exit_code, 0);

  // The intro ends in a new game; the hill lies outside the village, so the
  // village is left (and its OnExit runs) before the hill is entered; the
  // hill hears OnExit when the game ends.
  EXPECT_EQ(Story(), (std::vector<std::string>{
                         "views\tautoload\tusable", "views\tcommand\tnew game",
                         "views\trequest\tVillage/House\t0\tqueued",
                         "views\tenter\tVillage", "handlers\tcall\t0\tVillage\tOnEntry\trun",
                         "views\tenter\tVillage/House",
                         "handlers\tcall\t0\tVillage/House\tOnEntry\trun",
                         "views\tcurrent\tVillage/House\t1",
                         "views\trequest\tVillage/Square\t0\tqueued",
                         "views\tleave\tVillage/House", "views\tenter\tVillage/Square",
                         "handlers\tcall\t0\tVillage/Square\tOnEntry\trun",
                         "views\tcurrent\tVillage/Square\t1",
                         "views\trequest\tHill\t1\tqueued", "views\tleave\tVillage/Square",
                         "views\tleave\tVillage", "handlers\tcall\t0\tVillage\tOnExit\trun",
                         "views\tenter\tHill", "handlers\tcall\t0\tHill\tOnEntry\trun",
                         "views\tcurrent\tHill\t1", "handlers\tcall\t0\tHill\tOnExit\trun"}));
  // The hand's hot spot is the finger's tip its .ini names.
  EXPECT_NE(m_game.ReadFile("trace.txt").find("cursor\t/Game Interface/Cursors/hand.bmp\t12,1\n"),
            std::string::npos);
  // Inside the cupboard's left door: its wood while shut, the dark inside
  // once open.
  EXPECT_EQ(ShotColour("house.bmp", 70, 190), 0xDCAA6Eu);
  EXPECT_EQ(ShotColour("cupboard-open.bmp", 70, 190), 0x50321Eu);
  // The intro's last shot is the title card's sky, centred in black.
  EXPECT_EQ(ShotColour("intro-title.bmp", 90, 70), 0xBEE6FFu);
  EXPECT_EQ(ShotColour("intro-title.bmp", 70, 70), 0x000000u);
}

}  // namespace
