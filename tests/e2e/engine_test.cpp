// The real engine binary, run headless on game folders of the tests' own.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "support/process.h"
#include "support/temp_dir.h"

namespace {

const std::string kDemoConfig = R"(; a test folder
[main]
CrashLog=0

[Messages]
Error=Demo Caption
AlreadyRunning=Demo is already running.
CDNotFound=No CD.

[FS]
/HDD/=Trans, ./
)";

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(m_runtime.Join("run"));
  }

  void WriteConfig(const std::string& text) { m_game.WriteFile("tool.ini", text); }
  void WriteInput(const std::string& text) { m_game.WriteFile("input.txt", text); }

  std::map<std::string, std::string> Environment() const {
    return {{"TARVOLIN_PLATFORM", "headless"},
            {"TARVOLIN_DIR", m_game.Path()},
            {"TARVOLIN_INPUT", m_game.Join("input.txt")},
            {"XDG_RUNTIME_DIR", m_runtime.Join("run")},
            {"TARVOLIN_LOG", "0"}};
  }

  std::unique_ptr<CChildProcess> Start(const std::vector<std::string>& args,
                                       std::map<std::string, std::string> extra = {}) {
    std::map<std::string, std::string> env = Environment();
    for (auto& [key, value] : extra) env[key] = value;
    return std::make_unique<CChildProcess>(
        TARVOLIN_BINARY, args, env, m_runtime.Join("child" + std::to_string(m_runs++)));
  }

  SProcessResult Run(const std::vector<std::string>& args = {},
                     std::map<std::string, std::string> extra = {}) {
    return Start(args, std::move(extra))->Wait();
  }

  CTempDir m_game;
  CTempDir m_runtime;
  int m_runs = 0;
};

}  // namespace

TEST_F(EngineTest, AMissingConfigurationIsReportedAndTheExitCodeIsZero) {
  const SProcessResult run = Run({}, {{"TARVOLIN_INPUT", ""}});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "Error: Installation is incorrect. Please reinstall.\n");
  EXPECT_FALSE(std::filesystem::exists(m_runtime.Join("run/Tarvolin.mtx")));
}

TEST_F(EngineTest, BinaryGarbageAsConfigurationStillRuns) {
  std::string garbage;
  for (int i = 0; i < 5000; ++i) garbage += static_cast<char>((i * 7919) & 0xFF);
  WriteConfig(garbage);
  WriteInput("0 quit\n");
  const SProcessResult run = Run();
  EXPECT_EQ(run.exit_code, 0);
}

TEST_F(EngineTest, AQuitInTheInputScriptEndsTheRunCleanly) {
  WriteConfig(kDemoConfig);
  WriteInput("10 move 5 5\n20 quit\n");
  const SProcessResult run = Run({}, {{"TARVOLIN_LOG", "1"}});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.err.find("Start-up: file-open override"), std::string::npos);
  EXPECT_NE(run.err.find("Start-up: script registrations"), std::string::npos);
  EXPECT_NE(run.err.find("Shutdown: file systems and script machine"),
            std::string::npos);
  // Nothing was compiled, so the script machine leaves no error list.
  EXPECT_FALSE(std::filesystem::exists(m_game.Join("comp_err.txt")));
  EXPECT_FALSE(std::filesystem::exists(m_runtime.Join("child0/comp_err.txt")));
  // The lock file lives only as long as the run.
  EXPECT_FALSE(std::filesystem::exists(m_runtime.Join("run/Tarvolin.mtx")));
}

TEST_F(EngineTest, WithoutInputTheRunEndsAfterTheIdleTime) {
  WriteConfig(kDemoConfig);
  const SProcessResult run = Run({}, {{"TARVOLIN_INPUT", ""}});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");
}

// The first instance runs on the wall clock without an end of its own, so
// it is alive until it is told to quit; the second starts once the first has
// taken its lock and gone through start-up (a quit request during start-up
// would be lost).
TEST_F(EngineTest, ASecondInstanceShowsAlreadyRunningAndLeavesTheFirstAlone) {
  WriteConfig(kDemoConfig);
  WriteInput("0 quit\n");
  auto first = Start({}, {{"TARVOLIN_HEADLESS_REALTIME", "1"},
                          {"TARVOLIN_INPUT", ""},
                          {"TARVOLIN_IDLE_QUIT_MS", "4000000000"},
                          {"TARVOLIN_LOG", "1"}});
  const std::string last_step = "Start-up: file-open override\n";
  while (m_runtime.ReadFile("child0.err").find(last_step) == std::string::npos &&
         first->Running())
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const std::string lock = m_runtime.Join("run/Tarvolin.mtx");
  ASSERT_TRUE(std::filesystem::exists(lock));

  const SProcessResult second = Run();
  EXPECT_EQ(second.exit_code, 0);
  EXPECT_EQ(second.err, "Demo Caption: Demo is already running.\n");
  EXPECT_TRUE(std::filesystem::exists(lock));
  EXPECT_TRUE(first->Running());

  first->Signal(SIGTERM);  // a quit request
  const SProcessResult first_run = first->Wait();
  EXPECT_EQ(first_run.exit_code, 0);
  EXPECT_NE(first_run.err.find("Shutdown: file systems and script machine"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(lock));
}

TEST_F(EngineTest, TheCrashLogCollectsOneReportPerRunOldestFirstWhenItIsOn) {
  WriteConfig(kDemoConfig);
  WriteInput("0 quit\n");
  ASSERT_EQ(Run().exit_code, 0);
  EXPECT_FALSE(m_game.Exists("crash.log"));
  std::string config = kDemoConfig;
  config.replace(config.find("CrashLog=0"), 10, "CrashLog=1");
  WriteConfig(config);
  ASSERT_EQ(Run().exit_code, 0);
  const std::string once = m_game.ReadFile("crash.log");
  ASSERT_EQ(Run().exit_code, 0);
  const std::string twice = m_game.ReadFile("crash.log");

  ASSERT_EQ(twice.substr(0, once.size()), once);
  EXPECT_EQ(once.rfind(" __________________\n| PC ", 0), 0u);
  const size_t caret = once.find("\n'^^^^^^^^^^^^^^^^^^\n");
  ASSERT_NE(caret, std::string::npos);
  EXPECT_NE(once.find("******** TOTAL MEMORY USAGE: **************\n"),
            std::string::npos);
  EXPECT_NE(once.find("Max memory used for ptrs: "), std::string::npos);
  EXPECT_EQ(once.substr(once.size() - 2), "\n\n");
  const std::string second = twice.substr(once.size());
  EXPECT_EQ(second.rfind(" __________________\n| PC ", 0), 0u);
}

TEST_F(EngineTest, OnlyTheExactToolCommandLineRewritesTheConfiguration) {
  const std::string config =
      "junk before the first section\n[main]\n  Slow =  0 ; note\n\n"
      "Flag\n[Messages]\nError=E\n";
  const std::string writer_form =
      "[main]\r\nSlow=0 ; note\r\nFlag=\r\n\r\n[Messages]\r\nError=E\r\n\r\n";
  WriteInput("0 quit\n");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-TOOL"}, {"-tool", "x"}, {}}) {
    WriteConfig(config);
    ASSERT_EQ(Run(args).exit_code, 0);
    EXPECT_EQ(m_game.ReadFile("tool.ini"), config);
  }
  ASSERT_EQ(Run({"-tool"}).exit_code, 0);
  EXPECT_EQ(m_game.ReadFile("tool.ini"), writer_form);
  EXPECT_FALSE(m_game.Exists("Tool.ini"));
}


TEST_F(EngineTest, ASeedThatIsNoNumberStopsTheStartWithAMessage) {
  WriteConfig(kDemoConfig);
  WriteInput("0 quit\n");
  for (const char* seed : {"abc", "4294967296", "-1", "1x"}) {
    SCOPED_TRACE(seed);
    const SProcessResult run = Run({}, {{"TARVOLIN_SEED", seed}});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err,
              "Demo Caption: TARVOLIN_SEED must be a number from 0 to 4294967295\n");
  }
  const SProcessResult largest = Run({}, {{"TARVOLIN_SEED", "4294967295"}});
  EXPECT_EQ(largest.err, "");
}

namespace {

// The lines of a trace file without their times.
std::vector<std::string> TraceFields(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(line.find('\t') + 1));
  return lines;
}

// The demo's configuration without the lines that name its game: the demo
// folder holds the game's sources, and its project exists only once built.
std::string ReadDemoConfig() {
  std::ifstream in(std::string(TARVOLIN_DEMO_DIR) + "/tool.ini", std::ios::binary);
  std::string config;
  for (std::string line; std::getline(in, line);)
    if (!line.starts_with("autoload=") && !line.starts_with("autorun=")) config += line + "\n";
  return config;
}

}  // namespace

TEST_F(EngineTest, TheDemoOpensOnAnEmptyDesktopInBlack) {
  WriteConfig(ReadDemoConfig());
  WriteInput("100 shot " + m_game.Join("shot.bmp") + "\n200 quit\n");
  const SProcessResult run = Run({}, {{"TARVOLIN_TRACE", "present"},
                                      {"TARVOLIN_TRACE_FILE", m_game.Join("trace.txt")}});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> trace = TraceFields(m_game.ReadFile("trace.txt"));
  ASSERT_FALSE(trace.empty());
  EXPECT_EQ(trace.front(), "present\t0,0,639,479");
  // An 8-bit BMP: 14 + 40 header bytes, 256 palette entries, then the rows.
  const std::string shot = m_game.ReadFile("shot.bmp");
  ASSERT_EQ(shot.size(), 54u + 1024u + 640u * 480u);
  EXPECT_EQ(shot.substr(54, 1024), std::string(1024, '\0'));
  EXPECT_EQ(shot.substr(54 + 1024), std::string(640 * 480, '\xFF'));
}

TEST_F(EngineTest, ToolModeCarriesTheMenuAndTheClipboardSpeaksUtf8Outside) {
  WriteConfig(ReadDemoConfig());
  WriteInput("100 dump " + m_game.Join("dump.txt") +
             "\n200 menu 40005\n300 menu 49999\n400 resize 800 600\n"
             "500 clip Grüße\n510 clipsave " + m_game.Join("clip1.txt") +
             "\n520 clip €\n530 clipsave " + m_game.Join("clip2.txt") + "\n600 close\n");
  const SProcessResult run = Run({"-tool"}, {{"TARVOLIN_TRACE", "present,event"},
                                             {"TARVOLIN_TRACE_FILE", m_game.Join("trace.txt")},
                                             {"TARVOLIN_LOG", "1"}});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(m_game.ReadFile("dump.txt"),
            "CDesktop@0,0,639,499 style=0x00000022\n"
            "  CUIMenu@0,0,639,19 style=0x00000002\n"
            "menu: &File\n"
            "  item: 40001 &Open Project\n  item: 40002 &Save Project\n"
            "  item: 40003 Save Project &as ...\n  item: 40004 Close Project\n"
            "  item: 40005 &Exit\n"
            "menu: &Edit\n"
            "  item: 40010 Cu&t\n  item: 40011 &Copy\n  item: 40012 &Paste\n  separator\n"
            "  item: 40006 &Import\n  item: 40007 &Export\n  item: 40008 &Find\n"
            "  item: 40009 Find &next\n"
            "menu: &Game\n"
            "  item: 40013 &New\n  item: 40014 &Load\n  item: 40015 &Save\n"
            "  item: 40016 &Edit/Play Mode\n  item: 40017 Find next incorrect script\n"
            "  item: 40018 Find next unused field\n"
            "menu: &Window\n"
            "  item: 40019 Data &Tree Palette\n  item: 40021 &Info Palette\n"
            "  item: 40020 &Log Palette\n  item: 40022 Game &Status Palette\n"
            "  item: 40023 Show Z\n");
  const std::vector<std::string> trace = TraceFields(m_game.ReadFile("trace.txt"));
  const std::vector<std::string> expected = {
      "event\trecord\t0\t0xF00\t0x0\t0x0\tCDesktop@0,0,639,499",
      "event\trecord\t0\t0x800\t0x9C45\t0x0\tCDesktop@0,0,639,499",
      "event\trecord\t0\t0xF00\t0x0\t0x0\tCDesktop@0,0,639,499",
      "event\trecord\t0\t0x900\t0x0\t0x0\tCDesktop@0,0,639,499",
      "event\trecord\t0\t0x2897123\t0x0\t0x0\tCUIMenu@0,0,639,19",
      "present\t0,0,639,499",
      "event\trecord\t0\t0x600\t0x0\t0x0\tCDesktop@0,0,639,499"};
  EXPECT_EQ(std::vector<std::string>(trace.begin() + 1, trace.end()), expected);
  EXPECT_NE(run.err.find("Menu item 49999 not available."), std::string::npos);
  EXPECT_EQ(m_game.ReadFile("clip1.txt"), "Grüße");
  EXPECT_EQ(m_game.ReadFile("clip2.txt"), "?");
}

TEST_F(EngineTest, ToolModeMenuBarOpensByClickOrAltAndReportsTheChosenItem) {
  WriteConfig(ReadDemoConfig());
  // File's title is at the bar's left; its list starts at y 20 with two
  // pixels of border, then items of 19 rows (the tool font's 15 and 4):
  // Exit, the fifth, covers y 98..116.
  WriteInput("100 move 20 10\n110 ldown 20 10\n120 lup 20 10\n130 dump " +
             m_game.Join("open.txt") + "\n140 move 30 105\n150 ldown 30 105\n160 lup 30 105\n" +
             "200 key e +alt\n210 dump " + m_game.Join("edit.txt") + "\n220 key esc\n" +
             "230 dump " + m_game.Join("closed.txt") + "\n240 shot " + m_game.Join("bar.bmp") +
             "\n300 quit\n");
  const SProcessResult run = Run({"-tool"}, {{"TARVOLIN_TRACE", "present,event"},
                                             {"TARVOLIN_TRACE_FILE", m_game.Join("trace.txt")}});
  EXPECT_EQ(run.exit_code, 0);
  const auto menu_lines = [&](const std::string& name) {
    std::vector<std::string> lines;
    std::istringstream in(m_game.ReadFile(name));
    for (std::string line; std::getline(in, line);)
      if (line.rfind("menu:", 0) == 0) lines.push_back(line);
    return lines;
  };
  EXPECT_EQ(menu_lines("open.txt"),
            (std::vector<std::string>{"menu: &File open", "menu: &Edit", "menu: &Game", "menu: &Window"}));
  EXPECT_EQ(menu_lines("edit.txt")[1], "menu: &Edit open");
  EXPECT_EQ(menu_lines("closed.txt")[1], "menu: &Edit");
  // The opening is reported before the list is presented; the chosen item
  // as the command.
  std::vector<std::string> events;
  for (const std::string& line : TraceFields(m_game.ReadFile("trace.txt")))
    if (line.find("0xF00") != std::string::npos || line.find("0x800") != std::string::npos ||
        line.rfind("present", 0) == 0)
      events.push_back(line);
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events[1], "event\trecord\t0\t0xF00\t0x0\t0x0\tCDesktop@0,0,639,499");
  EXPECT_EQ(events[2].rfind("present", 0), 0u);
  EXPECT_NE(std::find(events.begin(), events.end(),
                      "event\trecord\t0\t0x800\t0x9C45\t0x0\tCDesktop@0,0,639,499"),
            events.end());
  // The shot shows the bar's face across the top and the desktop below.
  const std::string shot = m_game.ReadFile("bar.bmp");
  ASSERT_EQ(shot.size(), 54u + 1024u + 640u * 500u);
  const auto pixel = [&](int x, int y) { return static_cast<uint8_t>(shot[54 + 1024 + (499 - y) * 640 + x]); };
  EXPECT_EQ(pixel(600, 5), 7);
  EXPECT_EQ(pixel(600, 19), 8);
  EXPECT_EQ(pixel(600, 100), 255);
}
