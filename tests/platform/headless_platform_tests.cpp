#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <optional>

#include "base/log.h"
#include "support/env_guard.h"
#include "platform/headless_platform.h"

namespace {

using K = EPlatformMessage;

struct SFields {
  uint64_t time;
  K kind;
  int x = 0, y = 0, key = 0, character = 0;
  uint32_t modifiers = 0;
  int32_t steps = 0;
  uint32_t command = 0;
  std::string text = "";
  bool operator==(const SFields&) const = default;
};

void PrintTo(const SFields& f, std::ostream* out) {
  *out << f.time << ' ' << static_cast<int>(f.kind) << " (" << f.x << ", " << f.y << ") key "
       << f.key << " char " << f.character << " mods " << f.modifiers << " steps " << f.steps
       << " command " << f.command << " \"" << f.text << '"';
}

SFields FieldsOf(const SInputEvent& event) {
  const SPlatformMessage& m = event.message;
  return {event.time_ms, m.kind,      m.x,     m.y,       m.virtual_key,
          m.character,   m.modifiers, m.steps, m.command, m.text};
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A platform reading `script` (none when empty) with the given idle time.
std::unique_ptr<CHeadlessPlatform> Headless(const std::string& script, uint32_t idle_ms,
                                            bool realtime = false) {
  SHeadlessOptions options;
  if (!script.empty()) {
    // CTest runs the cases in parallel, each in its own process.
    options.script_path = testing::TempDir() + "input-" + std::to_string(getpid()) + ".txt";
    std::ofstream(options.script_path) << script;
  }
  options.idle_quit_ms = idle_ms;
  options.realtime = realtime;
  return std::make_unique<CHeadlessPlatform>(options);
}

// The kind of the next message, if one is waiting.
std::optional<K> Next(CPlatform& platform) {
  SPlatformMessage message;
  if (!platform.PeekMessage(&message)) return std::nullopt;
  return message.kind;
}

TEST(InputScript, EveryEventKindInTimeOrder) {
  const std::string text =
      "16 quit\n# a comment line\n0 move 10 20\n5 ldown 10 20   # trailing comment\n"
      "5 lup 11 21 +shift\n\n7 ldbl -3 4\n8 rdown 1 2\n8 rup 1 2\r\n9 rdbl 32767 -32768\n"
      "10 key 65\n11 key 0x41 a +ctrl +shift\n12 keyup 13 +alt\n13 key 13\n13 key 49 0x21\n"
      "14 text H\xC3\xA9! x\n15 shot out/frame 1.bmp\n17 wheel -32767 32767 -3\n"
      "18 resize 800 0\n18 close\n18 activate\n18 deactivate\n18 focus\n18 blur\n"
      "19 menu 0xFFFFFFFF\n19 menu 40001\n20 dump  tree.txt \n21 key f12\n"
      "21 keyup pageup +shift\n21 key a +ctrl\n21 key esc\n";
  const std::vector<SInputEvent> events = ParseInputScript(text, "s.txt");
  const uint32_t ctrl_shift = kModControl | kModShift;
  const SFields expected[] = {
      {0, K::kMouseMove, 10, 20, 0, 0, 0},    {5, K::kLeftDown, 10, 20, 0, 0, 0},
      {5, K::kLeftUp, 11, 21, 0, 0, kModShift}, {7, K::kLeftDouble, -3, 4, 0, 0, 0},
      {8, K::kRightDown, 1, 2, 0, 0, 0},      {8, K::kRightUp, 1, 2, 0, 0, 0},
      {9, K::kRightDouble, 32767, -32768, 0, 0, 0},
      {10, K::kKeyDown, 0, 0, 0x41, 'A', 0},  {11, K::kKeyDown, 0, 0, 0x41, 'a', ctrl_shift},
      {11, K::kChar, 0, 0, 0, 1, ctrl_shift}, {12, K::kKeyUp, 0, 0, 13, 13, kModAlt},
      {13, K::kKeyDown, 0, 0, 13, 13, 0},     {13, K::kChar, 0, 0, 0, 13, 0},
      {13, K::kKeyDown, 0, 0, 49, 0x21, 0},   {14, K::kChar, 0, 0, 0, 'H', 0},
      {14, K::kChar, 0, 0, 0, 0xE9, 0},       {14, K::kChar, 0, 0, 0, '!', 0},
      {14, K::kChar, 0, 0, 0, ' ', 0},        {14, K::kChar, 0, 0, 0, 'x', 0},
      {15, K::kShot, 0, 0, 0, 0, 0, 0, 0, "out/frame 1.bmp"},
      {16, K::kQuit},
      {17, K::kWheel, -32767, 32767, 0, 0, 0, -3},
      {18, K::kResize, 800, 0},               {18, K::kClose},
      {18, K::kActivate},                     {18, K::kDeactivate},
      {18, K::kFocusGained},                  {18, K::kFocusLost},
      {19, K::kMenu, 0, 0, 0, 0, 0, 0, 0xFFFFFFFF},
      {19, K::kMenu, 0, 0, 0, 0, 0, 0, 40001},
      {20, K::kDump, 0, 0, 0, 0, 0, 0, 0, "tree.txt"},
      {21, K::kKeyDown, 0, 0, 0x7B, 0, 0},    {21, K::kKeyUp, 0, 0, 0x21, 0, kModShift},
      {21, K::kKeyDown, 0, 0, 0x41, 'A', kModControl},
      {21, K::kChar, 0, 0, 0, 1, kModControl},
      {21, K::kKeyDown, 0, 0, 0x1B, 27, 0},   {21, K::kChar, 0, 0, 0, 27, 0},
  };
  ASSERT_EQ(events.size(), std::size(expected));
  for (size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(FieldsOf(events[i]), expected[i]) << i;
    EXPECT_EQ(events[i].action, EInputAction::kMessage) << i;
  }
}

TEST(InputScript, MalformedLinesAreSkippedWithOneWarningEach) {
  const char* const bad[] = {
      "x move 1 2", "5 hop 1 2", "5 ldown 1 2 +meta", "5 move 1", "5 move 1 2 3", "5 move 40000 2", "5 key",
      "5 key 65 +meta", "5 key 65 +ctrl x", "5 key 0x10000", "5 text   # only a comment",
      "5 text \xE2\x82\xAC", "5 shot", "5 quit now", "7 key 65 ab", "4294967296 quit",
      "5 wheel 1 2", "5 wheel 1 2 x", "5 wheel 1 2 2147483648", "5 wheel 1 -32769 1",
      "5 resize 640", "5 resize -1 480", "5 resize 640 480 1", "5 close now",
      "5 activate 1", "5 deactivate x", "5 focus x", "5 blur x", "5 menu",
      "5 menu 0x100000000", "5 menu -1", "5 menu 1 2", "5 dump", "5 clip", "5 clip a\\qb",
      "5 clip a\\", "5 clipsave", "5 answer", "5 answer maybe", "5 answer yes no",
      "5 key f13", "5 key f0", "5 key pgup", "5 key A", "5 keyup enter2",
  };
  std::string text = "";
  for (const char* line : bad) text += std::string(line) + "\r\n";
  text += "6 move 1 2\r\n";
  testing::internal::CaptureStderr();
  const std::vector<SInputEvent> events = ParseInputScript(text, "bad.txt");
  const std::string warnings = testing::internal::GetCapturedStderr();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].time_ms, 6u);
  EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), std::ssize(bad));
  for (size_t i = 0; i < std::size(bad); ++i) {
    const std::string line = "bad.txt:" + std::to_string(i + 1) + ": warning: input line skipped: ";
    EXPECT_NE(warnings.find(line), std::string::npos) << bad[i];
  }
}

TEST(InputScript, ClipboardLinesActInScriptOrderAndRoundTrip) {
  const std::string base = testing::TempDir() + "clip-" + std::to_string(getpid());
  auto platform = Headless("0 clip  Gr\xC3\xBC\xC3\x9F \n0 clipsave " + base + "1\n0 move 1 1\n"
                           "0 clip \xE2\x82\xAC\n0 clipsave " + base + "2\n0 clip a\\nb\\\\\n"
                           "0 clipsave " + base + "3\n",
                           100);
  EXPECT_EQ(Next(*platform), K::kMouseMove);
  EXPECT_EQ(platform->GetClipboardText(), "Gr\xFC\xDF");  // the lines after the move wait
  EXPECT_EQ(Next(*platform), std::nullopt);
  EXPECT_EQ(platform->GetClipboardText(), "a\r\nb\\");
  EXPECT_EQ(Slurp(base + "1"), "Gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(Slurp(base + "2"), "?");
  EXPECT_EQ(Slurp(base + "3"), "a\nb\\");
  for (const char* n : {"1", "2", "3"}) std::remove((base + n).c_str());
}

TEST(HeadlessClock, WaitFastForwardsToTheNextEventOrTheTimeout) {
  auto platform = Headless("100 move 1 1\n250 ldown 2 2\n", 1000);
  EXPECT_EQ(platform->TickCount(), 0u);
  EXPECT_EQ(Next(*platform), std::nullopt);
  platform->WaitMessage(50);
  EXPECT_EQ(platform->TickCount(), 50u);
  EXPECT_EQ(Next(*platform), std::nullopt);
  platform->WaitMessage(kWaitForever);
  EXPECT_EQ(platform->TickCount(), 100u);
  platform->WaitMessage(50);  // a message is pending: no time passes
  EXPECT_EQ(platform->TickCount(), 100u);
  EXPECT_EQ(Next(*platform), K::kMouseMove);
  EXPECT_EQ(Next(*platform), std::nullopt);
  platform->WaitMessage(1000);
  EXPECT_EQ(platform->TickCount(), 250u);
  EXPECT_EQ(Next(*platform), K::kLeftDown);
  platform->WaitMessage(100);
  EXPECT_EQ(platform->TickCount(), 350u);
  EXPECT_EQ(Next(*platform), std::nullopt);
  // The idle quit comes at the last event (250) plus the idle time.
  platform->WaitMessage(kWaitForever);
  EXPECT_EQ(platform->TickCount(), 1250u);
  EXPECT_EQ(Next(*platform), K::kQuit);
  EXPECT_EQ(Next(*platform), std::nullopt);
  platform->WaitMessage(kWaitForever);  // nothing can come any more
  EXPECT_EQ(platform->TickCount(), 1250u);
  platform->WaitMessage(10);
  EXPECT_EQ(platform->HighResCounter(), 1260000u);
  EXPECT_EQ(platform->HighResFrequency(), 1000000u);
}

TEST(HeadlessClock, IdleQuitFromTheOptionsAndTheEnvironment) {
  auto quick = Headless("0 move 3 4\n30 key 32\n", 0);
  EXPECT_EQ(Next(*quick), K::kMouseMove);  // time 0 is due at once
  EXPECT_EQ(Next(*quick), std::nullopt);
  quick->WaitMessage(kWaitForever);
  EXPECT_EQ(Next(*quick), K::kKeyDown);
  EXPECT_EQ(Next(*quick), K::kQuit);  // right after the last event
  EXPECT_EQ(quick->TickCount(), 30u);

  CEnvGuard input("TARVOLIN_INPUT", nullptr);
  CEnvGuard idle("TARVOLIN_IDLE_QUIT_MS", nullptr);
  CEnvGuard realtime("TARVOLIN_HEADLESS_REALTIME", "yes");  // only "1" means real time
  ASSERT_FALSE(SHeadlessOptions::FromEnvironment().realtime);
  CHeadlessPlatform platform(SHeadlessOptions::FromEnvironment());
  platform.WaitMessage(4999);
  EXPECT_EQ(Next(platform), std::nullopt);
  platform.WaitMessage(kWaitForever);
  EXPECT_EQ(platform.TickCount(), 5000u);
  EXPECT_EQ(Next(platform), K::kQuit);

  CEnvGuard set_input("TARVOLIN_INPUT", "/x/in.txt");
  CEnvGuard set_idle("TARVOLIN_IDLE_QUIT_MS", "250");
  CEnvGuard set_realtime("TARVOLIN_HEADLESS_REALTIME", "1");
  const SHeadlessOptions options = SHeadlessOptions::FromEnvironment();
  EXPECT_EQ(options.script_path, "/x/in.txt");
  EXPECT_EQ(options.idle_quit_ms, 250u);
  EXPECT_TRUE(options.realtime);
}

TEST(HeadlessMessages, PostQuitComesFirstAndMessagesCarryTheLiveWindow) {
  auto platform = Headless("0 move 1 1\n0 lup 1 1\n", 100);
  ErrCode error = err::kUnknownError;
  auto window = platform->CreateWindow(640, 480, &error);
  ASSERT_TRUE(window);
  EXPECT_EQ(error, err::kOk);
  platform->PostQuit();
  platform->WaitMessage(kWaitForever);
  EXPECT_EQ(platform->TickCount(), 0u);
  EXPECT_EQ(Next(*platform), K::kQuit);
  SPlatformMessage message;
  ASSERT_TRUE(platform->PeekMessage(&message));
  EXPECT_EQ(message.kind, K::kMouseMove);
  EXPECT_EQ(message.window, window.get());
  window->WarpMouse(-3, 479);
  ASSERT_TRUE(platform->PeekMessage(&message));  // behind the scripted lup
  EXPECT_EQ(message.kind, K::kLeftUp);
  window.reset();
  ASSERT_TRUE(platform->PeekMessage(&message));
  EXPECT_EQ(message.kind, K::kMouseMove);
  EXPECT_EQ(message.x, -3);
  EXPECT_EQ(message.y, 479);
  EXPECT_EQ(message.window, nullptr);
  EXPECT_EQ(Next(*platform), std::nullopt);
  EXPECT_FALSE(platform->CreateWindow(0, 480, &error));
  EXPECT_EQ(error, err::kCreatingWnd);
}

TEST(HeadlessMessages, SignalPostsQuitAndHandlerIsRestored) {
  struct sigaction before {};
  sigaction(SIGTERM, nullptr, &before);
  {
    auto platform = Headless("", 100);
    raise(SIGTERM);
    EXPECT_EQ(Next(*platform), K::kQuit);
    EXPECT_EQ(Next(*platform), std::nullopt);
  }
  struct sigaction after {};
  sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
}

TEST(HeadlessRealtime, WaitWakesForQuitAndSignals) {
  auto platform = Headless("", 60000, true);
  platform->PostQuit();
  platform->WaitMessage(kWaitForever);  // returns at once: a quit is queued
  EXPECT_EQ(Next(*platform), K::kQuit);
  raise(SIGINT);
  platform->WaitMessage(kWaitForever);  // woken through the pipe
  EXPECT_EQ(Next(*platform), K::kQuit);
  const uint32_t start = platform->TickCount();
  platform->WaitMessage(3);
  EXPECT_GE(platform->TickCount() - start, 3u);
}

TEST(HeadlessWindow, PresentCopiesClippedRectanglesAndPalettes) {
  auto platform = Headless("", 100);
  ErrCode error;
  auto created = platform->CreateWindow(4, 3, &error);
  CHeadlessWindow* window = platform->Window();
  ASSERT_EQ(window, created.get());
  uint8_t frame[2 * 8];  // 5 × 2 pixels, 8 bytes per row
  for (int i = 0; i < 16; ++i) frame[i] = static_cast<uint8_t>(10 * (i / 8) + i % 8 + 1);
  const TRect beyond{-1, -1, 10, 10};
  window->Present(frame, 5, 2, 8, {&beyond, 1});
  EXPECT_EQ(window->Frame(), (std::vector<uint8_t>{1, 2, 3, 4, 11, 12, 13, 14, 0, 0, 0, 0}));
  const std::vector<uint8_t> grey(4 * 3, 99);
  const TRect rects[] = {{2, 1, 2, 1}, {4, 0, 9, 2}, {0, 3, 3, 3}};
  window->Present(grey.data(), 4, 3, 4, rects);
  EXPECT_EQ(window->Frame(), (std::vector<uint8_t>{1, 2, 3, 4, 11, 12, 99, 14, 0, 0, 0, 0}));
  window->Present(grey.data(), 4, 3, 4, {});
  EXPECT_EQ(window->Frame(), grey);
  EXPECT_EQ(window->PresentCount(), 3);

  window->SetPalette(std::vector<SRgb>(256, SRgb{9, 8, 7}));
  const SRgb two[] = {{1, 2, 3}, {4, 5, 6}};
  window->SetPalette(two);  // a short palette blacks the rest
  EXPECT_EQ(window->Palette()[1].green, 5);
  EXPECT_EQ(window->Palette()[2].red, 0);
  EXPECT_EQ(window->Palette()[255].blue, 0);
}

TEST(HeadlessMessageBox, OneLineOnStandardErrorAndScriptedAnswers) {
  auto platform = Headless("0 answer no\n0 answer yes\n", 100);
  testing::internal::CaptureStderr();
  EXPECT_EQ(platform->MessageBox("Error", "Line one\nline two\n", kMbOk), kIdOk);
  EXPECT_EQ(Next(*platform), std::nullopt);  // takes the answers; the later one counts
  EXPECT_EQ(platform->MessageBox("Assert", "x", kMbAbortRetryIgnore | kMbIconStop), kIdYes);
  EXPECT_EQ(platform->MessageBox("Assert", "y", kMbAbortRetryIgnore), kIdIgnore);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error: Line one line two\nAssert: x\nAssert: y\n");
}

}  // namespace
