// The SDL back end's window under SDL's offscreen driver, driven by real SDL
// events.
#include <gtest/gtest.h>

#include <vector>

#include "platform/sdl_inject.h"
#include "platform/sdl_platform.h"
#include "platform/virtual_keys.h"
#include "support/env_guard.h"

namespace {

using EKind = EPlatformMessage;

class SdlWindow : public testing::Test {
 protected:
  void SetUp() override {
    ErrCode error = err::kOk;
    m_platform = CSdlPlatform::Create(&error);
    if (!m_platform) GTEST_SKIP() << "SDL has no offscreen video here";
    m_window = m_platform->CreateWindow(640, 480, &error);
    ASSERT_TRUE(m_window);
    m_inject.emplace(m_window.get());
    Take();
  }
  void TearDown() override {
    m_inject.reset();
    m_window.reset();
  }

  std::vector<SPlatformMessage> Take() {
    std::vector<SPlatformMessage> messages;
    SPlatformMessage message;
    while (m_platform->PeekMessage(&message)) messages.push_back(message);
    return messages;
  }
  std::vector<EKind> TakeKinds(bool keys_only = false) {
    std::vector<EKind> kinds;
    for (const SPlatformMessage& message : Take())
      if (!keys_only || message.kind == EKind::kKeyDown ||
          message.kind == EKind::kKeyUp)
        kinds.push_back(message.kind);
    return kinds;
  }

  CEnvGuard m_driver{"SDL_VIDEODRIVER", "offscreen"};
  // SDL's software renderer alone: offscreen OpenGL reads back no pixels,
  // and its drivers leak at every start.
  CEnvGuard m_renderer{"SDL_RENDER_DRIVER", "software"};
  CEnvGuard m_surface{"SDL_FRAMEBUFFER_ACCELERATION", "0"};
  std::unique_ptr<CPlatform> m_platform;
  std::unique_ptr<CPlatformWindow> m_window;
  std::optional<CSdlEventInjector> m_inject;
};

void ExpectMessage(const SPlatformMessage& message, EKind kind, int x, int y) {
  EXPECT_EQ(message.kind, kind);
  EXPECT_EQ(message.x, x);
  EXPECT_EQ(message.y, y);
}

TEST_F(SdlWindow, DoubleClicksArePairedByTimeDistanceAndButton) {
  constexpr auto kLeft = EMouseButton::kLeft;
  constexpr auto kRight = EMouseButton::kRight;
  struct SClick {
    EMouseButton button;
    uint32_t time;
    int x;
  };
  struct {
    const char* name;
    std::vector<SClick> clicks;
    std::vector<EKind> downs;
  } const cases[] = {
      {"500 ms, 2 px",
       {{kLeft, 0, 100}, {kLeft, 500, 102}},
       {EKind::kLeftDown, EKind::kLeftDouble}},
      {"right",
       {{kRight, 0, 100}, {kRight, 10, 98}},
       {EKind::kRightDown, EKind::kRightDouble}},
      {"501 ms",
       {{kLeft, 0, 100}, {kLeft, 501, 100}},
       {EKind::kLeftDown, EKind::kLeftDown}},
      {"3 px",
       {{kLeft, 0, 100}, {kLeft, 10, 103}},
       {EKind::kLeftDown, EKind::kLeftDown}},
      {"third click",
       {{kLeft, 0, 100}, {kLeft, 100, 100}, {kLeft, 200, 100}},
       {EKind::kLeftDown, EKind::kLeftDouble, EKind::kLeftDown}},
      {"other button between",
       {{kLeft, 0, 100}, {kRight, 100, 100}, {kLeft, 200, 100}},
       {EKind::kLeftDown, EKind::kRightDown, EKind::kLeftDown}},
  };
  uint32_t base = 10000;
  for (const auto& c : cases) {
    for (const SClick& click : c.clicks) {
      m_inject->Button(click.button, true, click.x, 50, base + click.time);
      m_inject->Button(click.button, false, click.x, 50, base + click.time + 5);
    }
    std::vector<EKind> downs;
    for (const SPlatformMessage& message : Take()) {
      if (message.kind == EKind::kLeftUp || message.kind == EKind::kRightUp)
        continue;
      downs.push_back(message.kind);
      EXPECT_EQ(message.y, 50) << c.name;
    }
    EXPECT_EQ(downs, c.downs) << c.name;
    base += 10000;
  }
}

TEST_F(SdlWindow, TaskSwitchKeysAreSilentOnlyInFullScreen) {
  for (const uint16_t key : {kVkTab, kVkEscape, kVkSpace}) {
    ASSERT_TRUE(m_window->SetFullScreen(false));
    m_inject->Key(key, true, kModAlt);
    m_inject->Key(key, false, kModAlt);
    EXPECT_EQ(TakeKinds(true),
              (std::vector<EKind>{EKind::kKeyDown, EKind::kKeyUp}))
        << key;
    ASSERT_TRUE(m_window->SetFullScreen(true));
    ASSERT_TRUE(m_window->IsFullScreen());
    m_inject->Key(key, true, kModAlt);
    m_inject->Key(key, false, kModAlt);
    // Without Alt the key is an ordinary one.
    m_inject->Key(key, true);
    EXPECT_EQ(TakeKinds(true), std::vector<EKind>{EKind::kKeyDown}) << key;
  }
}

TEST_F(SdlWindow, AltEnterTogglesFullScreenSilently) {
  EXPECT_FALSE(m_window->IsFullScreen());
  for (const bool full : {true, false}) {
    m_inject->Key(kVkReturn, true, kModAlt);
    m_inject->Key(kVkReturn, false, kModAlt);
    EXPECT_EQ(TakeKinds(true), std::vector<EKind>{});
    EXPECT_EQ(m_window->IsFullScreen(), full);
  }
}

TEST_F(SdlWindow, WarpGivesOneMoveToTheWarpedSpot) {
  m_inject->Move(10, 10);
  Take();
  m_window->WarpMouse(200, 150);
  m_inject->Move(201, 150);
  const auto messages = Take();
  ASSERT_EQ(messages.size(), 2u);
  ExpectMessage(messages[0], EKind::kMouseMove, 200, 150);
  ExpectMessage(messages[1], EKind::kMouseMove, 201, 150);
}

TEST_F(SdlWindow, WheelStepsCountAwayFromTheUser) {
  struct {
    int steps;
    bool flipped;
  } const cases[] = {{1, false}, {-2, false}, {3, true}, {-1, true}};
  for (const auto& c : cases) {
    m_inject->Wheel(c.steps, 300, 200, c.flipped);
    const auto messages = Take();
    ASSERT_EQ(messages.size(), 1u);
    ExpectMessage(messages[0], EKind::kWheel, 300, 200);
    EXPECT_EQ(messages[0].steps, c.steps);
  }
}

TEST_F(SdlWindow, KeysByLayoutAndByPlace) {
  // Letters by name; every other key by its USB HID place.
  struct {
    int usage;
    uint16_t virtual_key;
  } const places[] = {
      {0x14, 'Q'},  {0x04, 'A'},  {0x1E, '1'},  {0x27, '0'},  {0x3A, 0x70},
      {0x45, 0x7B}, {0x2F, 0xDB}, {0x30, 0xDD}, {0x31, 0xDC}, {0x32, 0xDC},
      {0x33, 0xBA}, {0x34, 0xDE}, {0x35, 0xC0}, {0x64, 0xE2}, {0x36, 0xBC},
      {0x38, 0xBF}, {0x39, 0x14}, {0x48, 0x13}, {0x46, 0x2C}, {0x47, 0x91},
      {0x53, 0x90}, {0x58, 0x0D}, {0x59, 0x61}, {0x55, 0x6A}, {0xE3, 0x5B},
      {0xE7, 0x5C}, {0x65, 0x5D}, {0xE4, 0x11}, {0xE6, 0x12}, {0x4A, 0x24},
  };
  for (const auto& place : places) {
    m_inject->KeyAt(place.usage, true, kModShift);
    const auto messages = Take();
    ASSERT_FALSE(messages.empty()) << place.usage;
    EXPECT_EQ(messages[0].kind, EKind::kKeyDown);
    EXPECT_EQ(messages[0].virtual_key, place.virtual_key) << place.usage;
    EXPECT_EQ(messages[0].modifiers, kModShift);
  }
  m_inject->Key('Z', true, kModControl);
  const auto messages = Take();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].character, 'Z');
  EXPECT_EQ(messages[1].kind, EKind::kChar);
  EXPECT_EQ(messages[1].character, 26);
}

TEST_F(SdlWindow, TextBeyondLatin1BecomesQuestionMarks) {
  m_inject->Text("a\xC3\xA9\xE2\x82\xAC");  // "aé€"
  std::vector<uint16_t> characters;
  for (const SPlatformMessage& message : Take())
    if (message.kind == EKind::kChar) characters.push_back(message.character);
  EXPECT_EQ(characters, (std::vector<uint16_t>{'a', 0xE9, '?'}));
}

TEST_F(SdlWindow, ClipboardRoundTrips) {
  for (const char* text : {"Gr\xFC\xDF"
                           "e",
                           "a\r\nb"}) {
    m_platform->SetClipboardText(text);
    const std::string back = m_platform->GetClipboardText();
    if (back.empty()) GTEST_SKIP() << "no clipboard with this driver";
    EXPECT_EQ(back, text);
  }
}

TEST_F(SdlWindow, WindowEventsBecomeMessages) {
  m_inject->FocusGained();
  m_inject->FocusLost();
  m_inject->MouseLeft();
  m_inject->Close();
  EXPECT_EQ(TakeKinds(),
            (std::vector<EKind>{EKind::kActivate, EKind::kFocusGained,
                                EKind::kDeactivate, EKind::kFocusLost,
                                EKind::kMouseLeave, EKind::kClose}));
  m_inject->Resize(1000, 1000);
  const auto messages = Take();
  ASSERT_EQ(messages.size(), 1u);
  ExpectMessage(messages[0], EKind::kResize, 1000, 1000);
}

TEST_F(SdlWindow, DisplayModesAreListedOnce) {
  const std::vector<SDisplayMode> modes = m_platform->DisplayModes();
  ASSERT_FALSE(modes.empty());
  EXPECT_GT(modes[0].width, 0);
  EXPECT_GT(modes[0].bits, 0);
  for (size_t i = 0; i < modes.size(); ++i)
    for (size_t j = i + 1; j < modes.size(); ++j)
      EXPECT_FALSE(modes[i] == modes[j]);
}

// Images the window must refuse or clip without reading past them.
TEST_F(SdlWindow, OddCursorAndIconImagesAreSafe) {
  const uint8_t pixels[4] = {0, 1, 2, 0};
  const SRgb palette[256] = {{0, 0, 0}, {255, 255, 255}};
  const SCursorImage cursors[] = {{0, 0, 0, 0, pixels, palette, 0},
                                  {1000, 1, 0, 0, pixels, palette, 0},
                                  {2, 2, 5, -1, pixels, palette, 2}};
  for (const SCursorImage& cursor : cursors) m_window->SetCursorImage(&cursor);
  m_window->SetCursorImage(nullptr);
  const uint32_t icon_pixels[4] = {0xFFFF0000, 0, 0, 0xFF00FF00};
  const SArgbImage icons[] = {{2, 2, icon_pixels}, {0, 0, icon_pixels}};
  for (const SArgbImage& icon : icons) m_window->SetIcon(&icon);
  m_window->SetIcon(nullptr);
}

// Colour 1 on the left half, 2 on the right; the window at 1000 x 1000
// shows the frame at 1.5625 from row 125.
TEST_F(SdlWindow, OutputShowsOnlyPresentedRectanglesInThePalette) {
  m_inject->Resize(1000, 1000);
  Take();
  const SRgb colors[] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  m_window->SetPalette(colors);
  std::vector<uint8_t> frame(640 * 480);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) frame[y * 640 + x] = x < 320 ? 1 : 2;
  m_window->Present(frame.data(), 640, 480, 640, {});
  EXPECT_EQ(m_inject->OutputPixel(100, 400), 0xFFFF0000u);
  EXPECT_EQ(m_inject->OutputPixel(900, 800), 0xFF00FF00u);
  EXPECT_EQ(m_inject->OutputPixel(500, 100), 0xFF000000u);  // above
  EXPECT_EQ(m_inject->OutputPixel(500, 900), 0xFF000000u);  // below

  // Only frame pixels 0 ... 63 change: output 0 ... 99.
  std::fill(frame.begin(), frame.end(), 3);
  const TRect corner[] = {{0, 0, 63, 63}};
  m_window->Present(frame.data(), 640, 480, 640, corner);
  EXPECT_EQ(m_inject->OutputPixel(50, 175), 0xFF0000FFu);
  EXPECT_EQ(m_inject->OutputPixel(200, 400), 0xFFFF0000u);
  EXPECT_EQ(m_window->Presented().pixels[200 * 640 + 200], 1);

  const SRgb grey[] = {{9, 9, 9}, {9, 9, 9}};
  m_window->SetPalette(grey);
  m_window->Present(frame.data(), 640, 480, 640, corner);
  EXPECT_EQ(m_inject->OutputPixel(200, 400), 0xFF090909u);
  EXPECT_EQ(m_window->Presented().palette[1].red, 9);

  m_window->SetIntegerScale(true);  // 640 x 480 at (180, 260)
  EXPECT_EQ(m_inject->OutputPixel(170, 400), 0xFF000000u);
  EXPECT_EQ(m_inject->OutputPixel(190, 400), 0xFF090909u);
}

// At whole scales each frame pixel is a block of the scale's side: in
// 1400 x 960 at 2 from (60, 0); in 600 x 400, whole scales only, at 1 from
// (-20, -40), cut by the window.
TEST_F(SdlWindow, WholeScalesShowFramePixelsAsBlocks) {
  constexpr uint32_t kBlack = 0xFF000000, kRed = 0xFFFF0000,
                     kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;
  struct SShown {
    int x, y;
    uint32_t color;
  };
  auto expect_shown = [&](std::initializer_list<SShown> shown) {
    for (const SShown& s : shown)
      EXPECT_EQ(m_inject->OutputPixel(s.x, s.y), s.color) << s.x << "," << s.y;
  };
  m_inject->Resize(1400, 960);
  Take();
  const SRgb colors[] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}};
  m_window->SetPalette(colors);
  std::vector<uint8_t> frame(640 * 480, 1);
  m_window->Present(frame.data(), 640, 480, 640, {});
  std::fill(frame.begin(), frame.end(), 2);
  const TRect square[] = {{10, 20, 19, 29}};
  m_window->Present(frame.data(), 640, 480, 640, square);
  expect_shown({{80, 40, kGreen}, {79, 40, kRed}, {80, 39, kRed},
                {99, 59, kGreen}, {100, 59, kRed}, {99, 60, kRed},
                {59, 500, kBlack}, {60, 500, kRed}, {1339, 500, kRed},
                {1340, 500, kBlack}});

  // A new palette recolours all of it, whatever the rectangles.
  const SRgb swapped[] = {{0, 0, 0}, {0, 0, 255}, {255, 0, 0}};
  m_window->SetPalette(swapped);
  const TRect pixel[] = {{0, 0, 0, 0}};
  m_window->Present(frame.data(), 640, 480, 640, pixel);
  expect_shown({{80, 40, kRed}, {1339, 500, kBlue}});

  m_inject->Resize(600, 400);
  Take();
  m_window->SetIntegerScale(true);
  frame[40 * 640 + 20] = 1;
  m_window->Present(frame.data(), 640, 480, 640, {});
  expect_shown({{0, 0, kBlue}, {1, 0, kRed}, {0, 1, kRed}, {599, 399, kRed}});
}

}  // namespace
