#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>

#include "app/base/log.h"
#include "ui/env_guard.h"
#include "ui/headless_platform.h"

namespace {

using K = EPlatformMessage;

std::string WriteScript(const std::string& name, const std::string& text) {
  const std::string path = testing::TempDir() + name;
  std::ofstream(path) << text;
  return path;
}

SHeadlessOptions Options(const std::string& script, uint32_t idle_ms) {
  SHeadlessOptions options;
  options.script_path = script;
  options.idle_quit_ms = idle_ms;
  return options;
}

struct SExpected {
  uint64_t time;
  K kind;
  int x = 0, y = 0;
  uint16_t key = 0, character = 0;
  uint32_t modifiers = 0;
};

TEST(InputScript, EveryEventKind) {
  const std::string text =
      "# a comment line\n"
      "0 move 10 20\n"
      "5 ldown 10 20   # trailing comment\n"
      "5 lup 11 21\n"
      "\n"
      "7 ldbl -3 4\n"
      "8 rdown 1 2\n"
      "8 rup 1 2\r\n"
      "9 rdbl 32767 -32768\n"
      "10 key 65\n"
      "11 key 0x41 a +ctrl +shift\n"
      "12 keyup 13 +alt\n"
      "13 key 13\n"
      "13 key 49 0x21\n"
      "14 text H\xC3\xA9! x\n"
      "15 shot out/frame 1.bmp\n"
      "16 quit\n";
  const std::vector<SInputEvent> events = ParseInputScript(text, "s.txt");
  const SExpected expected[] = {
      {0, K::kMouseMove, 10, 20},
      {5, K::kLeftDown, 10, 20},
      {5, K::kLeftUp, 11, 21},
      {7, K::kLeftDouble, -3, 4},
      {8, K::kRightDown, 1, 2},
      {8, K::kRightUp, 1, 2},
      {9, K::kRightDouble, 32767, -32768},
      {10, K::kKeyDown, 0, 0, 0x41, 'A', 0},
      {11, K::kKeyDown, 0, 0, 0x41, 'a', kModControl | kModShift},
      {11, K::kChar, 0, 0, 0, 1, kModControl | kModShift},
      {12, K::kKeyUp, 0, 0, 13, 13, kModAlt},
      {13, K::kKeyDown, 0, 0, 13, 13, 0},
      {13, K::kChar, 0, 0, 0, 13, 0},
      {13, K::kKeyDown, 0, 0, 49, 0x21, 0},
      {14, K::kChar, 0, 0, 0, 'H'},
      {14, K::kChar, 0, 0, 0, 0xE9},
      {14, K::kChar, 0, 0, 0, '!'},
      {14, K::kChar, 0, 0, 0, ' '},
      {14, K::kChar, 0, 0, 0, 'x'},
      {15, K::kShot},
      {16, K::kQuit},
  };
  ASSERT_EQ(events.size(), std::size(expected));
  for (size_t i = 0; i < events.size(); ++i) {
    SCOPED_TRACE(i);
    const SPlatformMessage& message = events[i].message;
    EXPECT_EQ(events[i].time_ms, expected[i].time);
    EXPECT_EQ(message.kind, expected[i].kind);
    EXPECT_EQ(message.x, expected[i].x);
    EXPECT_EQ(message.y, expected[i].y);
    EXPECT_EQ(message.virtual_key, expected[i].key);
    EXPECT_EQ(message.character, expected[i].character);
    EXPECT_EQ(message.modifiers, expected[i].modifiers);
  }
  EXPECT_EQ(events[19].message.text, "out/frame 1.bmp");
}

TEST(InputScript, MalformedLinesAreSkippedWithOneWarningEach) {
  const std::string text =
      "x move 1 2\n"
      "5 hop 1 2\n"
      "5 move 1\n"
      "5 move 1 2 3\n"
      "5 move 40000 2\n"
      "5 key\n"
      "5 key 65 +meta\n"
      "5 key 65 +ctrl x\n"
      "5 key 0x10000\n"
      "5 text   # only a comment\n"
      "5 text \xE2\x82\xAC\n"
      "5 shot\n"
      "5 quit now\n"
      "6 move 1 2\n"
      "7 key 65 ab\n";
  testing::internal::CaptureStderr();
  const std::vector<SInputEvent> events = ParseInputScript(text, "bad.txt");
  const std::string warnings = testing::internal::GetCapturedStderr();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].time_ms, 6u);
  EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 14);
  EXPECT_NE(warnings.find("bad.txt:1:"), std::string::npos);
  EXPECT_NE(warnings.find("bad.txt:13:"), std::string::npos);
  EXPECT_NE(warnings.find("bad.txt:15:"), std::string::npos);
  EXPECT_EQ(warnings.find("bad.txt:14:"), std::string::npos);
}

TEST(InputScript, SortedByTimeKeepingScriptOrderWithinATime) {
  const auto events =
      ParseInputScript("20 key 65\n10 move 1 2\n10 quit\n", "order.txt");
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].message.kind, K::kMouseMove);
  EXPECT_EQ(events[1].message.kind, K::kQuit);
  EXPECT_EQ(events[2].message.kind, K::kKeyDown);
}

TEST(HeadlessClock, WaitFastForwardsToTheNextEventOrTheTimeout) {
  CHeadlessPlatform platform(
      Options(WriteScript("clock.txt", "100 move 1 1\n250 ldown 2 2\n"), 1000));
  SPlatformMessage message;
  EXPECT_EQ(platform.TickCount(), 0u);
  EXPECT_FALSE(platform.PeekMessage(&message));
  platform.WaitMessage(50);
  EXPECT_EQ(platform.TickCount(), 50u);
  EXPECT_FALSE(platform.PeekMessage(&message));
  platform.WaitMessage(kWaitForever);
  EXPECT_EQ(platform.TickCount(), 100u);
  platform.WaitMessage(50);  // a message is pending: no time passes
  EXPECT_EQ(platform.TickCount(), 100u);
  ASSERT_TRUE(platform.PeekMessage(&message));
  EXPECT_EQ(message.kind, K::kMouseMove);
  EXPECT_FALSE(platform.PeekMessage(&message));
  platform.WaitMessage(1000);
  EXPECT_EQ(platform.TickCount(), 250u);
  ASSERT_TRUE(platform.PeekMessage(&message));
  EXPECT_EQ(message.kind, K::kLeftDown);
  platform.WaitMessage(100);
  EXPECT_EQ(platform.TickCount(), 350u);
  EXPECT_FALSE(platform.PeekMessage(&message));
  // The idle quit comes at the last event (250) plus the idle time.
  platform.WaitMessage(kWaitForever);
  EXPECT_EQ(platform.TickCount(), 1250u);
  ASSERT_TRUE(platform.PeekMessage(&message));
  EXPECT_EQ(message.kind, K::kQuit);
  EXPECT_FALSE(platform.PeekMessage(&message));
  platform.WaitMessage(kWaitForever);  // nothing can come any more
  EXPECT_EQ(platform.TickCount(), 1250u);
  platform.WaitMessage(10);
  EXPECT_EQ(platform.TickCount(), 1260u);
  EXPECT_EQ(platform.HighResCounter(), 1260000u);
  EXPECT_EQ(platform.HighResFrequency(), 1000000u);
}

TEST(HeadlessClock, DefaultIdleQuitWithoutScriptIsAt5000) {
  CEnvGuard input("TARVOLIN_INPUT", nullptr);
  CEnvGuard idle("TARVOLIN_IDLE_QUIT_MS", nullptr);
  CEnvGuard realtime("TARVOLIN_HEADLESS_REALTIME", nullptr);
  CHeadlessPlatform platform(SHeadlessOptions::FromEnvironment());
  SPlatformMessage message;
  platform.WaitMessage(4999);
  EXPECT_FALSE(platform.PeekMessage(&message));
  platform.WaitMessage(kWaitForever);
  EXPECT_EQ(platform.TickCount(), 5000u);
  ASSERT_TRUE(platform.PeekMessage(&message));
  EXPECT_EQ(message.kind, K::kQuit);
}

TEST(HeadlessClock, OptionsFromEnvironment) {
  CEnvGuard input("TARVOLIN_INPUT", "/x/in.txt");
  CEnvGuard idle("TARVOLIN_IDLE_QUIT_MS", "250");
  {
    CEnvGuard realtime("TARVOLIN_HEADLESS_REALTIME", "1");
    const SHeadlessOptions options = SHeadlessOptions::FromEnvironment();
    EXPECT_EQ(options.script_path, "/x/in.txt");
    EXPECT_EQ(options.idle_quit_ms, 250u);
    EXPECT_TRUE(options.realtime);
  }
  CEnvGuard realtime("TARVOLIN_HEADLESS_REALTIME", "yes");
  EXPECT_FALSE(SHeadlessOptions::FromEnvironment().realtime);
}

TEST(HeadlessClock, ZeroIdleQuitsRightAfterTheLastEvent) {
  CHeadlessPlatform platform(
      Options(WriteScript("idle0.txt", "0 move 3 4\n30 key 32\n"), 0));
  SPlatformMessage message;
  ASSERT_TRUE(platform.PeekMessage(&message));  // time 0 is due at once
  EXPECT_EQ(message.kind, K::kMouseMove);
  EXPECT_FALSE(platform.PeekMessage(&message));
  platform.WaitMessage(kWaitForever);
  ASSERT_TRUE(platform.PeekMessage(&message));
  EXPECT_EQ(message.kind, K::kKeyDown);
  ASSERT_TRUE(platform.PeekMessage(&message));
  EXPECT_EQ(message.kind, K::kQuit);
  EXPECT_EQ(platform.TickCount(), 30u);
}

TEST(HeadlessMessages, PostQuitComesFirstAndStopsTheClock) {
  CHeadlessPlatform platform(
      Options(WriteScript("post.txt", "0 move 1 1\n"), 100));
  platform.PostQuit();
  platform.WaitMessage(kWaitForever);
  EXPECT_EQ(platform.TickCount(), 0u);
  SPlatformMessage message;
  ASSERT_TRUE(platform.PeekMessage(&message));
  EXPECT_EQ(message.kind, K::kQuit);
  ASSERT_TRUE(platform.PeekMessage(&message));
  EXPECT_EQ(message.kind, K::kMouseMove);
}

TEST(HeadlessMessages, MessagesCarryTheLiveWindow) {
  CHeadlessPlatform platform(
      Options(WriteScript("win.txt", "0 move 1 1\n0 lup 1 1\n"), 100));
  ErrCode error = err::kUnknownError;
  auto window = platform.CreateWindow(640, 480, &error);
  ASSERT_TRUE(window);
  EXPECT_EQ(error, err::kOk);
  SPlatformMessage message;
  ASSERT_TRUE(platform.PeekMessage(&message));
  EXPECT_EQ(message.window, window.get());
  window.reset();
  ASSERT_TRUE(platform.PeekMessage(&message));
  EXPECT_EQ(message.window, nullptr);
  EXPECT_FALSE(platform.CreateWindow(0, 480, &error));
  EXPECT_EQ(error, err::kCreatingWnd);
}

TEST(HeadlessMessages, SignalPostsQuitAndHandlerIsRestored) {
  struct sigaction before {};
  sigaction(SIGTERM, nullptr, &before);
  {
    CHeadlessPlatform platform(Options("", 100));
    raise(SIGTERM);
    SPlatformMessage message;
    ASSERT_TRUE(platform.PeekMessage(&message));
    EXPECT_EQ(message.kind, K::kQuit);
    EXPECT_FALSE(platform.PeekMessage(&message));
  }
  struct sigaction after {};
  sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
}

TEST(HeadlessRealtime, WaitWakesForQuitAndSignals) {
  SHeadlessOptions options = Options("", 60000);
  options.realtime = true;
  CHeadlessPlatform platform(options);
  SPlatformMessage message;
  platform.PostQuit();
  platform.WaitMessage(kWaitForever);  // returns at once: a quit is queued
  ASSERT_TRUE(platform.PeekMessage(&message));
  raise(SIGINT);
  platform.WaitMessage(kWaitForever);  // woken through the pipe
  ASSERT_TRUE(platform.PeekMessage(&message));
  EXPECT_EQ(message.kind, K::kQuit);
  const uint32_t start = platform.TickCount();
  platform.WaitMessage(3);
  EXPECT_GE(platform.TickCount() - start, 3u);
}

TEST(HeadlessWindow, PresentCopiesClippedRectangles) {
  CHeadlessPlatform platform(Options("", 100));
  ErrCode error;
  auto created = platform.CreateWindow(4, 3, &error);
  auto* window = platform.Window();
  ASSERT_EQ(window, created.get());
  uint8_t frame[2 * 8];  // 5 × 2 pixels, 8 bytes per row
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x)
      frame[y * 8 + x] = static_cast<uint8_t>(10 * y + x + 1);
  const SRect16 beyond{-1, -1, 10, 10};
  window->Present(frame, 5, 2, 8, {&beyond, 1});
  EXPECT_EQ(window->Frame(),
            (std::vector<uint8_t>{1, 2, 3, 4, 11, 12, 13, 14, 0, 0, 0, 0}));
  uint8_t grey[4 * 3];
  std::fill(std::begin(grey), std::end(grey), 99);
  const SRect16 rects[] = {{2, 1, 2, 1}, {4, 0, 9, 2}, {0, 3, 3, 3}};
  window->Present(grey, 4, 3, 4, rects);
  EXPECT_EQ(window->Frame(),
            (std::vector<uint8_t>{1, 2, 3, 4, 11, 12, 99, 14, 0, 0, 0, 0}));
  window->Present(grey, 4, 3, 4, {});
  EXPECT_EQ(window->Frame(), std::vector<uint8_t>(12, 99));
  EXPECT_EQ(window->PresentCount(), 3);
}

TEST(HeadlessWindow, ShortPaletteBlacksTheRest) {
  CHeadlessPlatform platform(Options("", 100));
  ErrCode error;
  auto created = platform.CreateWindow(1, 1, &error);
  CHeadlessWindow* window = platform.Window();
  std::vector<SRgb> full(256, SRgb{9, 8, 7});
  window->SetPalette(full);
  const SRgb two[] = {{1, 2, 3}, {4, 5, 6}};
  window->SetPalette(two);
  EXPECT_EQ(window->Palette()[1].green, 5);
  EXPECT_EQ(window->Palette()[2].red, 0);
  EXPECT_EQ(window->Palette()[255].blue, 0);
}

TEST(HeadlessMessageBox, OneLineOnStandardError) {
  CHeadlessPlatform platform(Options("", 100));
  testing::internal::CaptureStderr();
  EXPECT_EQ(platform.MessageBox("Error", "Line one\nline two\n", kMbOk), kIdOk);
  EXPECT_EQ(
      platform.MessageBox("Assert", "x", kMbAbortRetryIgnore | kMbIconStop),
      kIdIgnore);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error: Line one line two\nAssert: x\n");
}

}  // namespace
