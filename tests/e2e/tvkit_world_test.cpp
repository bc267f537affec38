// tvkit world, run as authors run it.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/kill_runs.h"
#include "support/tvkit_fixture.h"

namespace {

class TvkitWorldTest : public CTvkitTest {
 protected:
  std::string Project() const { return m_dir.Join("game.prj"); }
  std::string Source() const { return m_dir.Join("src"); }
};

// The globals come after the engine module, which ends at slot 429.
TEST_F(TvkitWorldTest, GlobalsListsEveryUsableNameAndLogsTheRest) {
  m_dir.WriteFile("src/globals.ini",
                  "[/]\r\nGlobals=container\r\nInventory=container\r\n"
                  "[/Globals/]\r\n"
                  "Score=long:5\r\n"
                  "score=long:-7\r\n"
                  "Name=str:Tom \"x\"\\s\\\r\n"
                  "Pos=point:3, -4\r\n"
                  "Area=rect:1, 2, 3, 4\r\n"
                  "Abcdefghijklmnopqrstuvwxyz01234=long:1\r\n"
                  "Abcdefghijklmnopqrstuvwxyz012345=long:2\r\n"
                  "Frame=other\r\n"
                  "[/Globals/Frame]\r\n1=01 02 \r\nSize=6\r\nType=9\r\n"
                  "[/Inventory/]\r\n"
                  "Key=container\r\n"
                  "Score=container\r\n"
                  "note=long:3\r\n");
  const std::string logged =
      "Abcdefghijklmnopqrstuvwxyz012345 - invalid name for global variable.\n"
      "Score - inventory item name duplicate.\n";
  ExpectRun({"world", "build", Project(), Source()}, 0, "", logged);
  ExpectRun({"world", "globals", Project()}, 0,
            "430\tScore\tint\t5\n"
            "431\tscore\tint\t-7\n"
            "432\tName\tstr\t\"Tom \\\"x\\\";\\\\\"\n"
            "433\tPos\tpoint\t{3, -4}\n"
            "434\tArea\trect\t{1, 2, 3, 4}\n"
            "435\tAbcdefghijklmnopqrstuvwxyz01234\tint\t1\n"
            "436\tKey\titem\titem:Key\n",
            logged);
}

TEST_F(TvkitWorldTest, GlobalsOfAProjectWithoutThemSaysSo) {
  m_dir.WriteFile("src/world.ini", "[/]\r\nWorld=container\r\n");
  ExpectRun({"world", "build", Project(), Source()}, 0, "",
            "Globals section in VB is not found.\nNo variables found in Globals section!\n");
  ExpectRun({"world", "globals", m_dir.Join("none.prj")}, 1, "", "error: FILENOTFOUND\n");
  ExpectRun({"world", "globals"}, 1, "",
            "usage: tvkit world build <out.prj> <src dir>\n"
            "       tvkit world globals <project.prj>\n"
            "error: BADPARAMS\n");
}

constexpr char kWorld[] =
    "[/]\r\nWorld=container\r\nTemplates=container\r\nGlobals=container\r\n"
    "[/Globals/]\r\nn=long:1\r\n"
    "[/Templates/]\r\nPlaneView=container\r\nDoor=container\r\n"
    "[/Templates/PlaneView/]\r\nType=str:PlaneView\r\n"
    "[/Templates/Door/]\r\nType=str:HotSpot\r\n"
    "[/World/]\r\nRoom=container\r\n"
    "[/World/Room/]\r\nTemplate=str:PlaneView\r\nDoor=container\r\n"
    "[/World/Room/Door/]\r\nTemplate=str:Door\r\nPolygon=str:0,0\\s5,5\r\n";

// Signatures come from a first line, from the call-site table (views have
// their own forms), or are missing.
TEST_F(TvkitWorldTest, BuildCompilesScriptsWithAKnownSignature) {
  m_dir.WriteFile("src/world.ini", kWorld);
  m_dir.WriteFile("src/World/Room/OnMouseEnter.tvs", "n = n + 1;\n");
  m_dir.WriteFile("src/World/Room/Door/OnMouseEnter.tvs", "n = 2;\n");
  m_dir.WriteFile("src/World/Room/Door/Open.tvs", "// signature: int\nreturn n;\n");
  m_dir.WriteFile("src/World/Room/Door/Helper.tvs", "n = 3;\n");
  ExpectRun({"world", "build", Project(), Source()}, 0, "",
            "warning: /World/Room/Door/Helper: no signature\n");
  ExpectRun({"vb", "get", Project(), "/World/Room/OnMouseEnter Descr"}, 0,
            "str:void, int, int, str\n");
  ExpectRun({"vb", "get", Project(), "/World/Room/Door/OnMouseEnter Descr"}, 0, "str:void\n");
  ExpectRun({"vb", "get", Project(), "/World/Room/Door/Open Descr"}, 0, "str:int\n");
  ExpectRun({"vb", "get", Project(), "/World/Room/Door/Polygon"}, 0, "str:0,0;5,5\n");
  ExpectRun({"vb", "get", Project(), "/World/Room/Door/Open"}, 0,
            "// signature: int\nreturn n;\n");
  ExpectRun({"vb", "check", Project()}, 0, "ok\n");
}

TEST_F(TvkitWorldTest, ABuildWithACompileErrorWritesNothing) {
  m_dir.WriteFile("src/world.ini", kWorld);
  m_dir.WriteFile("src/World/Room/Door/Open.tvs", "// signature: int\nreturn y;\n");
  ExpectRun({"world", "build", Project(), Source()}, 1, "",
            "World/Room/Door/Open.tvs(2, 9): Left bracket expected for possible function name "
            "y\r\nerror: SYNTAX\n");
  EXPECT_FALSE(m_dir.Exists("game.prj"));
}

// Builds killed at random moments leave the project of the last whole
// build or of the one killed, and sound: the project goes through the
// crash-safe replace.
TEST_F(TvkitWorldTest, AKilledBuildLeavesTheOldOrTheNewProject) {
#if !defined(NDEBUG) || defined(TV_SANITIZED)
  GTEST_SKIP() << "timed kills need the optimised build";
#endif
  constexpr int kKills = 200;
  std::string bulk;
  for (int i = 0; i < 40; ++i) bulk += "[/World/Room/c" + std::to_string(i) + "/]\r\nText=str:" + std::string(60, 't') + "\r\n";
  std::string rooms;
  for (int i = 0; i < 40; ++i) rooms += "c" + std::to_string(i) + "=container\r\n";
  const auto build = [&](int generation) {
    m_dir.WriteFile("src/world.ini", std::string(kWorld) + rooms + "[/]\r\ngen=long:" +
                                         std::to_string(generation) + "\r\n" + bulk);
    return std::make_unique<CChildProcess>(
        TVKIT_BINARY, std::vector<std::string>{"world", "build", Project(), Source()},
        std::map<std::string, std::string>{}, m_dir.Join("build"));
  };
  int last = 0;
  KillRunsAtRandomMoments(build, kKills, [&](int kill_number) {
    const std::string gen = Run({"vb", "get", Project(), "/gen"}).out;
    const bool finished = gen == "long:" + std::to_string(kill_number) + "\n";
    ASSERT_TRUE(finished || gen == "long:" + std::to_string(last) + "\n") << gen;
    if (finished) last = kill_number;
    ASSERT_EQ(Run({"vb", "check", Project()}).out, "ok\n") << kill_number;
  });
}

}  // namespace
