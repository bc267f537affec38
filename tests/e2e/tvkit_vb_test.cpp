// tvkit vb, run as authors run it.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/tvkit_fault_fixture.h"
#include "support/kill_runs.h"
#include "support/le_words.h"
#include "support/tvkit_fixture.h"

namespace {

class TvkitVbTest : public CTvkitTest {
 protected:
  // Runs a command and then the check, which must pass.
  SProcessResult RunChecked(const std::vector<std::string>& args) {
    SProcessResult run = Run(args);
    const SProcessResult check = Run({"vb", "check", Project()});
    EXPECT_EQ(check.out, "ok\n") << args[1];
    EXPECT_EQ(check.exit_code, 0);
    return run;
  }
  std::string Project() const { return m_dir.Join("game.prj"); }
};

const char kTree[] =
    "[/]\r\n"
    "n=long:-12\r\n"
    "s=str:hello\r\n"
    "World=container\r\n"
    "[/World/]\r\n"
    "p=point:3, 4\r\n"
    "r=rect:1, 2, 3, 4\r\n"
    "Room=container\r\n"
    "[/World/Room/]\r\n"
    "OnClick=script\r\n"
    "raw=other\r\n"
    "[/World/Room/OnClick]\r\n"
    "Size=12\r\n"
    "Type=34\r\n"
    "TextSize=15\r\n"
    "1=.void f()\\s\r\n"
    "2=.a\\\\b\r\n"
    "[/World/Room/raw]\r\n"
    "1=DE AD BE EF \r\n"
    "Size=8\r\n"
    "Type=200\r\n";

TEST_F(TvkitVbTest, CommandsShowAndChangeTheTree) {
  m_dir.WriteFile("tree.ini", kTree);
  EXPECT_EQ(RunChecked({"vb", "new", Project()}).exit_code, 0);
  EXPECT_EQ(Run({"vb", "ls", Project()}).out, "");
  EXPECT_EQ(RunChecked({"vb", "import", Project(), m_dir.Join("tree.ini")}).exit_code, 0);
  EXPECT_EQ(Run({"vb", "ls", Project()}).out, "n\tlong:-12\ns\tstr:hello\nWorld\tcontainer\n");
  EXPECT_EQ(Run({"vb", "ls", Project(), "/World/Room"}).out, "OnClick\tscript\nraw\tother\n");
  EXPECT_EQ(Run({"vb", "get", Project(), "/World/Room/OnClick"}).out, "void f();\na\\b\n");
  EXPECT_EQ(Run({"vb", "get", Project(), "/World/p"}).out, "point:3, 4\n");
  // The longer value no longer fits its slot and moves to the end.
  EXPECT_EQ(RunChecked({"vb", "set", Project(), "/World/p", "str:moved"}).exit_code, 0);
  EXPECT_EQ(RunChecked({"vb", "set", Project(), "/World/New", "container"}).exit_code, 0);
  EXPECT_EQ(Run({"vb", "ls", Project(), "/World/"}).out,
            "r\trect:1, 2, 3, 4\nRoom\tcontainer\np\tstr:moved\nNew\tcontainer\n");
  EXPECT_EQ(RunChecked({"vb", "rm", Project(), "/World/Room"}).exit_code, 0);
  EXPECT_EQ(Run({"vb", "ls", Project(), "/World"}).out,
            "r\trect:1, 2, 3, 4\np\tstr:moved\nNew\tcontainer\n");
  EXPECT_EQ(RunChecked({"vb", "import", Project(), m_dir.Join("tree.ini"), "/World/New"}).exit_code,
            0);
  EXPECT_EQ(Run({"vb", "get", Project(), "/World/New/n"}).out, "long:-12\n");
  EXPECT_FALSE(m_dir.Exists("game.prj.new"));
}

TEST_F(TvkitVbTest, ExportAndImportGiveTheSameTree) {
  m_dir.WriteFile("tree.ini", kTree);
  ASSERT_EQ(RunChecked({"vb", "import", Project(), m_dir.Join("tree.ini")}).exit_code, 0);
  ASSERT_EQ(Run({"vb", "export", Project(), m_dir.Join("one.ini")}).exit_code, 0);
  const std::string second = m_dir.Join("second.prj");
  ASSERT_EQ(Run({"vb", "import", second, m_dir.Join("one.ini")}).exit_code, 0);
  ASSERT_EQ(Run({"vb", "export", second, m_dir.Join("two.ini")}).exit_code, 0);
  const std::string one = m_dir.ReadFile("one.ini");
  EXPECT_EQ(one, m_dir.ReadFile("two.ini"));
  EXPECT_NE(one.find("1=.void f()\\s\r\n2=.a\\\\b\r\n"), std::string::npos);
  EXPECT_NE(one.find("1=DE AD BE EF \r\nSize=8\r\nType=200\r\n"), std::string::npos);
}

TEST_F(TvkitVbTest, ErrorsEndWithTheirNames) {
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"vb", "ls", m_dir.Join("none.prj")}, "error: FILENOTFOUND\n"},
      {{"vb", "get", m_dir.Join("bad.prj"), "/x"}, "error: INVALIDFORMAT\n"},
      {{"vb", "get", Project(), "/missing"}, "error: NOTFOUND\n"},
      {{"vb", "set", Project(), "/x", "long"}, "error: NOTFOUND\n"},
      {{"vb", "set", Project(), "/s", "str:" + std::string(1024, 'z')}, "error: BADPARAMS\n"},
      {{"vb", "rm", Project(), "/nothing/x"}, "error: NOTFOUND\n"},
      {{"vb", "new", Project()}, "error: FILEEXIST\n"},
      {{"vb", "import", Project(), m_dir.Join("odd.ini")}, "error: Bad format\n"},
  };
  m_dir.WriteFile("bad.prj", std::string(512, 'x'));
  m_dir.WriteFile("odd.ini", "[/]\r\nraw=other\r\n[/raw]\r\n1=DE AD XY\r\nSize=7\r\nType=200\r\n");
  ASSERT_EQ(Run({"vb", "new", Project()}).exit_code, 0);
  for (const auto& c : cases) ExpectRun(c.args, 1, "", c.err);
  ExpectRun({"vb", "check", m_dir.Join("bad.prj")}, 1, "cannot open the project: INVALIDFORMAT\n");
}

TEST_F(TvkitVbTest, CheckReportsALostBlock) {
  ASSERT_EQ(Run({"vb", "new", Project()}).exit_code, 0);
  // One more block past the end that no handle owns: the file grows by one
  // block and the header's next block counts it.
  std::string bytes = m_dir.ReadFile("game.prj");
  const uint32_t blocks = static_cast<uint32_t>(bytes.size() / 256) + 1;
  bytes.resize(bytes.size() + 256);
  PutWord(&bytes, 8, blocks);
  m_dir.WriteFile("game.prj", bytes);
  ExpectRun({"vb", "check", Project()}, 1,
            "block " + std::to_string(blocks - 1) + " belongs to nothing\n");
}

// The tree of the kill tests: `containers` containers of six strings each,
// then the generation number.
std::string GenerationTree(int containers, int generation) {
  std::string ini = "[/]\r\n";
  for (int i = 0; i < containers; ++i) ini += "c" + std::to_string(i) + "=container\r\n";
  for (int i = 0; i < containers; ++i) {
    ini += "[/c" + std::to_string(i) + "/]\r\n";
    for (int j = 0; j < 6; ++j) ini += "v" + std::to_string(j) + "=str:" + std::string(30, 'v') + "\r\n";
  }
  return ini + "[/]\r\ngen=long:" + std::to_string(generation) + "\r\n";
}

// Kills imports at random moments: each time the project is the one from
// before or the one after, and sound. Every step of an import is
// interrupted deterministically by the test after this one; this run checks
// the real thing, so it runs in the optimised build only, where an import
// is quick and its length steady.
TEST_F(TvkitVbTest, AKilledImportLeavesTheOldOrTheNewProject) {
#if !defined(NDEBUG) || defined(TV_SANITIZED)
  GTEST_SKIP() << "timed kills need the optimised build";
#endif
  constexpr int kKills = 40;
  ASSERT_EQ(Run({"vb", "new", Project()}).exit_code, 0);
  const auto import_generation = [&](int generation) {
    m_dir.WriteFile("gen.ini", GenerationTree(40, generation));
    return std::make_unique<CChildProcess>(
        TVKIT_BINARY, std::vector<std::string>{"vb", "import", Project(), m_dir.Join("gen.ini")},
        std::map<std::string, std::string>{}, m_dir.Join("import"));
  };
  int done = 0;
  int last = 0;
  KillRunsAtRandomMoments(import_generation, kKills, [&](int kill_number) {
    const std::string gen = Run({"vb", "get", Project(), "/gen"}).out;
    const bool finished = gen == "long:" + std::to_string(kill_number) + "\n";
    ASSERT_TRUE(finished || gen == "long:" + std::to_string(last) + "\n") << gen;
    if (finished) {
      last = kill_number;
      ++done;
    }
    ASSERT_EQ(Run({"vb", "check", Project()}).out, "ok\n") << kill_number;
    EXPECT_FALSE(m_dir.Exists("game.prj.new")) << kill_number;
  });
  EXPECT_LT(done, kKills);
}

// tvkit vb run in this process, so that an import can be stopped at any
// one of its steps.
class TvkitVbFaultTest : public CTvkitFaultTest {
 protected:
  std::string Vb(std::vector<std::string> args) {
    args.insert(args.begin(), "vb");
    return Tvkit(RunVb, args);
  }
  std::string Project() const { return m_dir.Join("game.prj"); }
};

// The import stopped at each of its changes in turn (a kill or a power cut
// there: nothing from that change on reaches the disk). The project opened
// next is the old one up to some step and the new one from then on, always
// sound, and no copy outlives that open.
TEST_F(TvkitVbFaultTest, AnImportStoppedAtAnyStepLeavesTheOldOrTheNewProject) {
  m_dir.WriteFile("gen0.ini", GenerationTree(40, 0));
  m_dir.WriteFile("gen1.ini", GenerationTree(40, 1));
  Vb({"import", Project(), m_dir.Join("gen0.ini")});
  ASSERT_EQ(Vb({"get", Project(), "/gen"}), "long:0\n");
  const std::string before = m_dir.ReadFile("game.prj");
  *m_plan = SFaultPlan{};
  Vb({"import", Project(), m_dir.Join("gen1.ini")});
  const int changes = m_plan->changes;
  ASSERT_EQ(Vb({"get", Project(), "/gen"}), "long:1\n");
  // At least the copy's creation, the copied project, the store's writes,
  // the copy's flush, the rename and the folder's flush.
  ASSERT_GE(changes, 6);

  int first_new = 0;
  for (int n = 1; n <= changes; ++n) {
    m_dir.WriteFile("game.prj", before);
    *m_plan = SFaultPlan{};
    m_plan->lose_from = n;
    Vb({"import", Project(), m_dir.Join("gen1.ini")});
    *m_plan = SFaultPlan{};
    const std::string gen = Vb({"get", Project(), "/gen"});
    if (first_new) {
      EXPECT_EQ(gen, "long:1\n") << n;
    } else if (gen == "long:1\n") {
      first_new = n;
    } else {
      EXPECT_EQ(gen, "long:0\n") << n;
    }
    EXPECT_FALSE(m_dir.Exists("game.prj.new")) << n;
    EXPECT_EQ(Vb({"check", Project()}), "ok\n") << n;
  }
  // The rename is the next to last change, the folder's flush the last.
  EXPECT_EQ(first_new, changes);
}

// vb set with each write, flush and rename failing in turn: the project is
// the old one except when the folder's flush, after the rename, fails.
TEST_F(TvkitVbFaultTest, ASetWhoseWriteFlushOrRenameFailsKeepsTheOldProject) {
  m_dir.WriteFile("gen0.ini", GenerationTree(4, 0));
  Vb({"import", Project(), m_dir.Join("gen0.ini")});
  const std::string before = m_dir.ReadFile("game.prj");
  ForEachFailure(
      [&] {
        m_dir.WriteFile("game.prj", before);
        Vb({"set", Project(), "/gen", "long:2"});
      },
      [&](bool renamed, const std::string& at) {
        EXPECT_EQ(Vb({"get", Project(), "/gen"}), renamed ? "long:2\n" : "long:0\n") << at;
        EXPECT_FALSE(m_dir.Exists("game.prj.new")) << at;
        EXPECT_EQ(Vb({"check", Project()}), "ok\n") << at;
      });
}

}  // namespace
