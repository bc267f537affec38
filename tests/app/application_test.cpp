// The command line that selects tool mode, and the main loop's waiting.
#include "app/application.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/headless_platform.h"
#include "support/env_guard.h"
#include "support/temp_dir.h"

namespace {

// The headless platform, watched: how often and how long the engine waits.
// A loop that never waits would never move the virtual clock, so after
// kPeekLimit messages asked for the platform answers quit itself.
class CWatchedPlatform final : public CPlatform {
 public:
  static constexpr int kPeekLimit = 2000;

  explicit CWatchedPlatform(const SHeadlessOptions& options) : m_inner(options) {}

  const char* Name() const override { return m_inner.Name(); }
  int MessageBox(const char* caption, const char* text, uint32_t flags) override {
    return m_inner.MessageBox(caption, text, flags);
  }
  uint32_t TickCount() override { return m_inner.TickCount(); }
  uint64_t HighResCounter() override { return m_inner.HighResCounter(); }
  uint64_t HighResFrequency() override { return m_inner.HighResFrequency(); }
  bool PeekMessage(SPlatformMessage* message) override {
    if (++peeks < kPeekLimit) return m_inner.PeekMessage(message);
    *message = SPlatformMessage{};
    message->kind = EPlatformMessage::kQuit;
    return true;
  }
  void WaitMessage(uint32_t timeout_ms) override {
    ++waits;
    m_inner.WaitMessage(timeout_ms);
  }
  void PostQuit() override { m_inner.PostQuit(); }
  std::string GetClipboardText() override { return m_inner.GetClipboardText(); }
  void SetClipboardText(std::string_view text) override { m_inner.SetClipboardText(text); }
  std::unique_ptr<CPlatformWindow> CreateWindow(int width, int height,
                                                ErrCode* error) override {
    return m_inner.CreateWindow(width, height, error);
  }
  int AudioDeviceCount() override { return m_inner.AudioDeviceCount(); }
  std::string AudioDeviceName(int device) override { return m_inner.AudioDeviceName(device); }
  std::unique_ptr<CAudioOutput> OpenAudio(int device, const SAudioFormat& format,
                                          ErrCode* error) override {
    return m_inner.OpenAudio(device, format, error);
  }

  int waits = 0;
  int peeks = 0;

 private:
  CHeadlessPlatform m_inner;
};

}  // namespace

TEST(CommandLine, OnlyTheExactTextSelectsToolMode) {
  const char* tool[] = {"tarvolin", "-tool"};
  const char* upper[] = {"tarvolin", "-TOOL"};
  const char* extra[] = {"tarvolin", "-tool", "x"};
  const char* longer[] = {"tarvolin", "-tools"};
  const char* none[] = {"tarvolin"};
  EXPECT_TRUE(IsToolCommandLine(2, tool));
  EXPECT_FALSE(IsToolCommandLine(2, upper));
  EXPECT_FALSE(IsToolCommandLine(3, extra));
  EXPECT_FALSE(IsToolCommandLine(2, longer));
  EXPECT_FALSE(IsToolCommandLine(1, none));
}

// The game folder of the in-process runs: a configuration and nothing else.
class MainLoopTest : public ::testing::Test {
 protected:
  MainLoopTest()
      : m_dir("TARVOLIN_DIR", m_game.Path().c_str()),
        m_runtime("XDG_RUNTIME_DIR", RuntimeDir().c_str()) {
    m_game.WriteFile("tool.ini", "[main]\n[Messages]\nError=Test\n[FS]\n/HDD/=Trans, ./\n");
  }

  std::string RuntimeDir() {
    std::filesystem::create_directories(m_game.Join("run"));
    return m_game.Join("run");
  }

  CTempDir m_game;
  CEnvGuard m_dir;
  CEnvGuard m_runtime;
};

// Three idle seconds of the virtual clock: the main loop sleeps until the
// mixer needs it (every 50 ms) or a message comes, instead of polling.
TEST_F(MainLoopTest, AnIdleEngineSleepsInsteadOfSpinning) {
  SHeadlessOptions options;
  options.idle_quit_ms = 3000;
  auto platform = std::make_unique<CWatchedPlatform>(options);
  CWatchedPlatform* watched = platform.get();
  CApplication application(std::move(platform), false);
  EXPECT_EQ(application.Run(), 0);
  EXPECT_LT(watched->peeks, CWatchedPlatform::kPeekLimit);
  EXPECT_GE(watched->waits, 3000 / 50);
  EXPECT_LE(watched->waits, 3000 / 50 + 5);
}

// A quit that arrives while the desktop is first shown ends the run there,
// instead of being lost until the idle time runs out.
TEST_F(MainLoopTest, AQuitDuringStartUpEndsTheRun) {
  m_game.WriteFile("input.txt", "0 quit\n");
  SHeadlessOptions options;
  options.script_path = m_game.Join("input.txt");
  options.idle_quit_ms = 60000;
  auto platform = std::make_unique<CWatchedPlatform>(options);
  CWatchedPlatform* watched = platform.get();
  CApplication application(std::move(platform), false);
  EXPECT_EQ(application.Run(), 0);
  EXPECT_LE(watched->waits, 1);
}
