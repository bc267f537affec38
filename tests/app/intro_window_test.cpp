// The intro and credits window on a headless desktop with a virtual clock:
// the steps in order with their sounds, skips to the skip point and to the
// step's end, the slow variants, and animations that are missing.
#include "app/intro_window.h"

#include <gtest/gtest.h>

#include "fs/file_service.h"
#include "fs/mount_config.h"
#include "gfx/anim_writer.h"
#include "platform/virtual_keys.h"
#include "ui/ui_rig.h"

namespace {

class CRecordingSound : public CIntroSound {
 public:
  void Play(const std::string& path) override { calls.push_back("play " + path + At()); }
  void Seek(uint32_t ms) override { calls.push_back("seek " + std::to_string(ms) + At()); }
  std::string At() const { return " @" + std::to_string(queue->Now()); }
  CEventQueue* queue = nullptr;
  std::vector<std::string> calls;
};

// 10 frames a second of 8 x 8 pixels; frame i is all colour i % 200 + 1.
void WriteAnimationFile(const std::string& path, int frames) {
  std::vector<std::vector<uint8_t>> pixels;
  for (int i = 0; i < frames; ++i) pixels.emplace_back(64, static_cast<uint8_t>(i % 200 + 1));
  CPalette palette;
  palette.SetCount(256);
  std::unique_ptr<CFile> out = FsOpen(path.c_str(), 0x0F, nullptr);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(WriteAnimation(out.get(), SAnimFormat{8, 8, 10, 20}, palette, pixels), err::kOk);
}

class IntroWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_sound.queue = &m_rig.Queue();
    const std::string anim = m_rig.Dir().Join("anim/");
    m_rig.Dir().WriteFile("anim/.keep", "");
    WriteAnimationFile(anim + "quillanvex.ani", 5);  // 500 ms
    WriteAnimationFile(anim + "introLast.ani", 300);  // 30 s
    WriteAnimationFile(anim + "intro_s.ani", 50);
    WriteAnimationFile(anim + "_credits.ani", 20);
    ASSERT_EQ(MountFromConfig(m_mounts = {{"/anim/", "Trans, " + anim}}), err::kOk);
  }
  void TearDown() override { UnmountFromConfig(m_mounts); }

  void Open(CIntroWindow::EMode mode, bool slow) {
    CIntroWindow::SOptions options;
    options.mode = mode;
    options.slow = slow;
    options.sound = &m_sound;
    options.finished = [this] { m_finished_at = static_cast<int64_t>(m_rig.Queue().Now()); };
    m_window = new CIntroWindow(&m_rig.Desktop(), std::move(options));
  }
  // Runs the loop until `ms` on the virtual clock.
  void RunUntil(uint32_t ms) {
    while (m_rig.Queue().Now() < ms) {
      m_rig.Layer().Wait(ms - m_rig.Queue().Now());
      m_rig.Pump();
    }
    m_rig.Pump();
  }
  void Key(uint16_t virtual_key) {
    m_rig.Desktop().SendEvent(m_rig.Desktop().Id(), kEvKeyDown, uint32_t{virtual_key} << 16, 0);
  }
  // The colour the frame shows at the screen's centre.
  uint8_t Centre() {
    const SPresentedFrame shown = m_rig.Top().PlatformWindow()->Presented();
    return shown.pixels[240 * shown.width + 320];
  }

  CUiRig m_rig;
  ConfigEntries m_mounts;
  CRecordingSound m_sound;
  CIntroWindow* m_window = nullptr;
  int64_t m_finished_at = -1;
};

TEST_F(IntroWindowTest, BothStepsPlayInTurnAndTheEndOpensTheSignIn) {
  Open(CIntroWindow::EMode::kIntro, false);
  RunUntil(250);
  EXPECT_EQ(Centre(), 3);  // frame 2 of the sting
  // The sting ends at the tick of 500 ms; the next tick starts the second
  // step: 4490 ms in at 5000, frame 44.
  RunUntil(5000);
  EXPECT_EQ(Centre(), 45);
  EXPECT_EQ(m_finished_at, -1);
  RunUntil(40000);
  EXPECT_GT(m_finished_at, 30000);
  ASSERT_EQ(m_sound.calls.size(), 3u);
  EXPECT_EQ(m_sound.calls[0], "play /anim/quillanvex.wav @0");
  EXPECT_EQ(m_sound.calls[1], "play /anim/introLast.wav @510");
  EXPECT_TRUE(m_sound.calls[2].starts_with("play shutup.wav")) << m_sound.calls[2];
}

// Escape before 26022 ms jumps there, the sound too; after it, the intro
// ends.
TEST_F(IntroWindowTest, EscapeJumpsToTheSkipPointThenEndsTheIntro) {
  Open(CIntroWindow::EMode::kIntro, false);
  RunUntil(1000);
  EXPECT_EQ(m_window->Step(), 1);
  Key(kVkEscape);
  EXPECT_EQ(m_sound.calls.back(), "seek 26022 @1000");
  RunUntil(1100);
  // 26022 + 100 ms in: frame 261.
  EXPECT_EQ(Centre(), 261 % 200 + 1);
  Key(kVkEscape);
  RunUntil(1200);
  EXPECT_GE(m_finished_at, 1000);
  EXPECT_LT(m_finished_at, 1200);
}

// In slow mode the second step is the short intro, which a skip ends.
TEST_F(IntroWindowTest, TheSlowIntroEndsAtASkip) {
  Open(CIntroWindow::EMode::kIntro, true);
  RunUntil(1000);
  EXPECT_TRUE(m_sound.calls.back().starts_with("play /anim/intro_s.wav")) << m_sound.calls.back();
  m_rig.Desktop().SendEvent(m_rig.Desktop().Id(), kEvLeftDown, PackPoint({10, 10}), 0);
  m_rig.Desktop().SendEvent(m_rig.Desktop().Id(), kEvLeftUp, PackPoint({10, 10}), 0);
  RunUntil(1100);
  EXPECT_GE(m_finished_at, 1000);
}

// The credits play "_credits" with the credits' sound; without the
// animations both the intro and the credits end at once.
TEST_F(IntroWindowTest, TheCreditsPlayTheirAnimationAndMissingOnesAreSkipped) {
  Open(CIntroWindow::EMode::kCredits, false);
  RunUntil(100);
  EXPECT_EQ(m_sound.calls.front(), "play /anim/credits.wav @0");
  RunUntil(3000);
  EXPECT_GE(m_finished_at, 2000);

  m_finished_at = -1;
  Open(CIntroWindow::EMode::kCredits, true);  // "credits" is not there
  RunUntil(3100);
  EXPECT_GE(m_finished_at, 3000);
  EXPECT_LT(m_finished_at, 3050);
}

}  // namespace
