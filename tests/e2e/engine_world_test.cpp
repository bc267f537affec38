// A small game built with tvkit from text sources, played by the engine
// binary headless: start-up loads it, New game enters the first view, and
// hot spots move between views.
#include <gtest/gtest.h>

#include "game_run.h"
#include "support/kill_runs.h"

namespace {

// An area of two views and one view outside it; every door leads on:
// A -> B -> Outside -> A. A's door asks twice; only the first counts.
std::string WorldIni(const std::string& picture) {
  std::string ini =
      "[/]\r\nWorld=container\r\nTemplates=container\r\nGlobals=container\r\n"
      "[/Globals/]\r\nn=long:0\r\n"
      "[/Templates/]\r\nPlaneView=container\r\nViewSet=container\r\nHotSpot=container\r\n"
      "[/Templates/PlaneView/]\r\nType=str:PlaneView\r\n"
      "[/Templates/ViewSet/]\r\nType=str:ViewSet\r\n"
      "[/Templates/HotSpot/]\r\nType=str:HotSpot\r\n"
      "[/World/]\r\nTemplate=str:ViewSet\r\nArea=container\r\nOutside=container\r\n"
      "[/World/Area/]\r\nTemplate=str:ViewSet\r\nA=container\r\nB=container\r\n";
  for (const char* view : {"Area/A", "Area/B", "Outside"}) {
    const std::string path = std::string("/World/") + view + "/";
    ini += "[" + path + "]\r\nTemplate=str:PlaneView\r\nImageName=str:" + picture +
           "\r\nDoor=container\r\n[" + path + "Door/]\r\nTemplate=str:HotSpot\r\nActive=long:1\r\n"
           "Pos=rect:100, 100, 299, 299\r\n";
  }
  return ini;
}

class EngineWorldTest : public GameRunTest {
 protected:
  void SetUp() override {
    GameRunTest::SetUp();
    m_game.WriteFile("back.bmp", GamePicture());
    m_game.WriteFile("src/world.ini", WorldIni(m_game.Join("back.bmp")));
    m_game.WriteFile("src/World/OnNew.tvs", "GoToView(\"Area/A\", 0, 0);\n");
    m_game.WriteFile("src/World/Area/A/Door/OnLButtonDown.tvs",
                     "GoToView(\"Area/B\", 1, 2);\nGoToView(\"Outside\", 3, 4);\n");
    m_game.WriteFile("src/World/Area/B/Door/OnLButtonDown.tvs", "GoToView(\"Outside\", 0, 0);\n");
    m_game.WriteFile("src/World/Outside/Door/OnLButtonDown.tvs", "GoToView(\"Area/A\", 0, 0);\n");
  }

  // The views trace and the calls of "OnNew" and the doors, without times.
  std::vector<std::string> Story() const {
    std::vector<std::string> lines;
    for (const std::string& traced : TraceLines()) {
      const std::string line = WithoutTime(traced);
      if (line.starts_with("views\t") || line.find("\tWorld\tOn") != std::string::npos ||
          line.find("\tDoor\tOnLButtonDown") != std::string::npos)
        lines.push_back(line);
    }
    return lines;
  }
};

// Six clicks on the door, each after the view changed; y lies inside the
// door in game mode and below the tool's menu bar alike.
std::string Clicks(int first_ms) {
  std::string input;
  for (int i = 0; i < 6; ++i) {
    const std::string at = std::to_string(first_ms + 100 * i);
    input += at + " move 200 230\n" + at + " ldown 200 230\n" + at + " lup 200 230\n";
  }
  return input;
}

const std::vector<std::string> kEnterA = {"views\tenter\tArea", "views\tenter\tArea/A"};

// `door_y`: where the press lands in the door, lower in the game than in
// the tool, whose menu bar moves the view 20 pixels down.
std::vector<std::string> ExpectedStory(int door_y) {
  const std::string press = "handlers\tcall\t0\tDoor\tOnLButtonDown\trun\t100\t" + std::to_string(door_y);
  const auto door = [&](const char* request, std::vector<std::string> change) {
    // The door's script asks for the change, which comes after it returns.
    std::vector<std::string> lines = {press, std::string("views\trequest\t") + request + "\t0\tqueued"};
    if (std::string(request) == "Area/B") lines.push_back("views\trequest\tOutside\t0\tignored");
    lines.push_back("handlers\treturn\t0\tDoor\tOnLButtonDown");
    lines.insert(lines.end(), change.begin(), change.end());
    return lines;
  };
  std::vector<std::vector<std::string>> parts = {
      {"views\tautoload\tusable", "views\tcommand\tnew game", "handlers\tcall\t0\tWorld\tOnNew\trun",
       "views\trequest\tArea/A\t0\tqueued", "handlers\treturn\t0\tWorld\tOnNew",
       "views\tenter\tArea", "views\tenter\tArea/A", "views\tcurrent\tArea/A\t1"}};
  for (int round = 1; round <= 2; ++round) {
    const std::string n = std::to_string(round);
    const std::string next = std::to_string(round + 1);
    parts.push_back(door("Area/B", {"views\tleave\tArea/A", "views\tenter\tArea/B",
                                    "views\tcurrent\tArea/B\t" + n}));
    parts.push_back(door("Outside", {"views\tleave\tArea/B", "views\tleave\tArea",
                                     "views\tenter\tOutside", "views\tcurrent\tOutside\t" + n}));
    parts.push_back(door("Area/A", {"views\tleave\tOutside", "views\tenter\tArea",
                                    "views\tenter\tArea/A", "views\tcurrent\tArea/A\t" + next}));
  }
  std::vector<std::string> story;
  for (const auto& part : parts) story.insert(story.end(), part.begin(), part.end());
  return story;
}

}  // namespace

TEST_F(EngineWorldTest, AGameStartsInItsFirstViewAndTheDoorsLeadOn) {
  const SProcessResult built = Build();
  ASSERT_EQ(built.exit_code, 0) << built.err;
  // The intro finds none of its animations here and gives way to the game.
  m_game.WriteFile("tool.ini", GameConfig("autorun=intro\n"));
  // Escape tells the world's script the player wants to skip; this one has
  // no handler for it.
  const SProcessResult run = Play({}, Clicks(100) + "800 key 27\n900 quit\n");
  EXPECT_EQ(run.exit_code, 0);
  std::vector<std::string> story = ExpectedStory(130);
  story.push_back("handlers\tcall\t0\tWorld\tOnNIS\tmissing");
  EXPECT_EQ(Story(), story);
}

// The tool opens the project but starts no game until New is chosen.
TEST_F(EngineWorldTest, TheToolStartsTheGameFromTheMenu) {
  const SProcessResult built = Build();
  ASSERT_EQ(built.exit_code, 0) << built.err;
  const SProcessResult run = Play({"-tool"}, "50 menu 40013\n" + Clicks(100) + "900 quit\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(Story(), ExpectedStory(110));
  EXPECT_FALSE(m_game.Exists("shadow.tmp"));
}

TEST_F(EngineWorldTest, AProjectWithoutAWorldIsABadInstallAndTheGameQuits) {
  m_game.WriteFile("src/world.ini", "[/]\r\nWorld=container\r\n");
  const SProcessResult built = Build();
  ASSERT_EQ(built.exit_code, 0) << built.err;
  const SProcessResult run = Play({}, "5000 move 1 1\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.err.find("Game: Bad install.\n"), std::string::npos) << run.err;
  EXPECT_EQ(Story(), (std::vector<std::string>{"views\tautoload\tNo such template in the templates directory"}));
}

// Compiled code of another script version: the game refuses it, the tool
// compiles every script again and plays.
TEST_F(EngineWorldTest, AStaleScriptVersionIsABadInstallForTheGameOnly) {
  ASSERT_EQ(Build().exit_code, 0);
  const SProcessResult set = Tvkit({"vb", "set", m_game.Join("game.prj"), "/ScriptVersion", "long:1"});
  ASSERT_EQ(set.exit_code, 0) << set.err;

  const SProcessResult game = Play({}, "5000 move 1 1\n");
  EXPECT_NE(game.err.find("Game: Bad install.\n"), std::string::npos) << game.err;
  EXPECT_EQ(Story(), (std::vector<std::string>{"views\tautoload\tusable"}));

  const SProcessResult tool = Play({"-tool"}, "50 menu 40013\n" + Clicks(100) + "900 quit\n");
  EXPECT_EQ(tool.err.find("Bad install."), std::string::npos) << tool.err;
  EXPECT_EQ(Story(), ExpectedStory(110));
}

// The tool killed at random moments of a session that plays the game and
// commits the project at its end leaves a sound project every time.
TEST_F(EngineWorldTest, AToolKilledAtAnyMomentLeavesASoundProject) {
#if !defined(NDEBUG) || defined(TV_SANITIZED)
  GTEST_SKIP() << "timed kills need the optimised build";
#endif
  ASSERT_EQ(Build().exit_code, 0);
  KillRunsAtRandomMoments(
      [&](int) { return Start({"-tool"}, "50 menu 40013\n" + Clicks(100) + "900 quit\n"); }, 200,
      [&](int kill_number) {
        ASSERT_EQ(Tvkit({"vb", "check", m_game.Join("game.prj")}).out, "ok\n") << kill_number;
      });
}
