// The window system on SDL's offscreen driver, fed real SDL events: what it
// traces must be what the headless platform traces for the same input.
#include <gtest/gtest.h>

#include "platform/sdl_inject.h"
#include "platform/sdl_platform.h"
#include "platform/virtual_keys.h"
#include "support/env_guard.h"
#include "test_windows.h"
#include "ui/cursor.h"
#include "ui_rig.h"

namespace {

// The mouse's part of an event trace.
std::vector<std::string> MouseLines(const CUiRig& rig) {
  std::vector<std::string> lines;
  for (const std::string& line : rig.TraceLines("event\t"))
    if (line.starts_with("event\tmouse\t") || line.starts_with("event\trecord\t0\t0x1"))
      lines.push_back(line);
  return lines;
}

class SdlWindowSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ErrCode error = err::kOk;
    std::unique_ptr<CPlatform> platform = CSdlPlatform::Create(&error);
    if (!platform) GTEST_SKIP() << "SDL has no offscreen video here";
    m_rig = std::make_unique<CUiRig>(std::move(platform));
    m_tree = BuildTestTree(m_rig->Desktop());
    m_inject.emplace(m_rig->Top().PlatformWindow());
    m_rig->Pump();
  }
  void TearDown() override {
    m_inject.reset();
    m_rig.reset();
  }
  // The colour shown at the centre of a frame pixel.
  uint32_t Shown(int x, int y) {
    const auto* window = static_cast<CSdlWindow*>(m_rig->Top().PlatformWindow());
    const CFrameMapping& mapping = window->Mapping();
    return m_inject->OutputPixel(
        mapping.Output().left + static_cast<int>((x + 0.5) * mapping.Scale()),
        mapping.Output().top + static_cast<int>((y + 0.5) * mapping.Scale()));
  }

  CEnvGuard m_driver{"SDL_VIDEODRIVER", "offscreen"};
  CEnvGuard m_renderer{"SDL_RENDER_DRIVER", "software"};
  CEnvGuard m_surface{"SDL_FRAMEBUFFER_ACCELERATION", "0"};
  std::unique_ptr<CUiRig> m_rig;
  STestTree m_tree{};
  std::optional<CSdlEventInjector> m_inject;
};

TEST_F(SdlWindowSystemTest, SdlInputTracesWhatTheMatchingScriptLinesTrace) {
  m_inject->Move(150, 150, 1000);
  m_inject->Move(300, 300, 1010);
  m_inject->Move(260, 260, 1020);
  m_inject->Button(EMouseButton::kLeft, true, 300, 300, 1100);
  m_inject->Button(EMouseButton::kLeft, false, 300, 300, 1150);
  m_inject->Button(EMouseButton::kLeft, true, 300, 300, 1200);
  m_inject->Button(EMouseButton::kLeft, false, 300, 300, 1250);
  m_inject->Wheel(-2, 300, 300);
  m_rig->Pump();
  const std::vector<std::string> from_sdl = MouseLines(*m_rig);
  TearDown();
  CUiRig headless("10 move 150 150\n20 move 300 300\n30 move 260 260\n40 ldown 300 300\n"
                  "50 lup 300 300\n60 ldbl 300 300\n70 lup 300 300\n80 wheel 300 300 -2\n");
  BuildTestTree(headless.Desktop());
  headless.Run();
  EXPECT_EQ(from_sdl, MouseLines(headless));
  EXPECT_FALSE(from_sdl.empty());
}

TEST_F(SdlWindowSystemTest, ThePictureShowsInThePaletteAtEveryScale) {
  m_inject->Resize(1280, 960);
  m_rig->Pump();
  EXPECT_EQ(m_rig->TraceLines("present\t").back(), "present\t0,0,639,479");
  EXPECT_EQ(Shown(150, 150), 0xFF010101u);
  EXPECT_EQ(Shown(300, 300), 0xFF020202u);
  EXPECT_EQ(Shown(250, 250), 0xFF030303u);
  EXPECT_EQ(Shown(50, 50), 0xFFFFFFFFu);
}

TEST_F(SdlWindowSystemTest, FullScreenSwallowsTaskSwitchKeysAndAWarpGivesOneMove) {
  m_rig->Top().SetFullScreen(true);
  m_inject->Key(kVkTab, true, kModAlt);
  m_inject->Key(kVkTab, false, kModAlt);
  m_rig->Top().WarpMouse({123, 45});
  m_rig->Pump();
  m_rig->Pump();
  const std::vector<std::string> records = m_rig->TraceLines("event\trecord\t0\t0x2");
  EXPECT_TRUE(records.empty());
  EXPECT_EQ(m_rig->TraceLines("event\trecord\t0\t0x101\t"),
            (std::vector<std::string>{"event\trecord\t0\t0x101\t0x2D007B\t0x0\tCDesktop@0,0,639,479"}));
}

TEST_F(SdlWindowSystemTest, ACursorDescriptionsHotSpotShowsInTheCursorLine) {
  const std::string path = WriteCursor(m_rig->Dir(), "[Cursor]\nHotSpot=1, 2\n");
  ErrCode error = err::kOk;
  m_tree.a->SetCursor(CCursor::Load(path, &error));
  m_tree.a->SetStyle(m_tree.a->GetStyle() | kStyleSetCursor, false);
  m_inject->Move(150, 150);
  m_rig->Pump();
  EXPECT_EQ(m_rig->TraceLines("cursor\t").back(), "cursor\t" + path + "\t1,2");
}

}  // namespace

// The shipped gallery in a real SDL window ends on its Close button.
TEST(SdlGalleryTest, TheGalleryEndsOnItsCloseButton) {
  CEnvGuard driver{"SDL_VIDEODRIVER", "offscreen"};
  CEnvGuard renderer{"SDL_RENDER_DRIVER", "software"};
  CEnvGuard surface{"SDL_FRAMEBUFFER_ACCELERATION", "0"};
  ErrCode error = err::kOk;
  std::unique_ptr<CPlatform> platform = CSdlPlatform::Create(&error);
  if (!platform) GTEST_SKIP() << "SDL has no offscreen video here";
  CUiRig rig(std::move(platform));
  ASSERT_TRUE(rig.UseToolInterface(TARVOLIN_TOOL_INTERFACE));
  auto* gallery = new CUIDialog(&rig.Desktop());
  ASSERT_EQ(gallery->LoadTemplate("/Tool Interface/Gallery/Gallery.ini"), err::kOk);
  uint32_t ended = 0;
  gallery->DoModal([&](uint32_t id) { ended = id; });
  CSdlEventInjector inject(rig.Top().PlatformWindow());
  // Close covers (536,440)-(623,465).
  inject.Move(580, 452, 100);
  inject.Button(EMouseButton::kLeft, true, 580, 452, 110);
  inject.Button(EMouseButton::kLeft, false, 580, 452, 120);
  for (int pass = 0; pass < 10 && !ended; ++pass) rig.Pump();
  EXPECT_EQ(ended, 0x65u);
}
