#include <gtest/gtest.h>
#include <signal.h>

#include "support/env_guard.h"
#include "platform/sdl_platform.h"

namespace {

// Takes messages until one of `kind` comes; false when they run out first.
bool Receive(CPlatform& platform, EPlatformMessage kind) {
  SPlatformMessage message;
  while (platform.PeekMessage(&message))
    if (message.kind == kind) return true;
  return false;
}

TEST(SdlPlatform, DummyVideoWindowPresentsAndQuits) {
  CEnvGuard driver("SDL_VIDEODRIVER", "dummy");
  CEnvGuard chosen("TARVOLIN_PLATFORM", "sdl");
  ErrCode error = err::kUnknownError;
  auto platform = CPlatform::Create(&error);
  if (!platform) GTEST_SKIP() << "SDL has no dummy video here";
  EXPECT_STREQ(platform->Name(), "sdl");
  auto window = platform->CreateWindow(64, 48, &error);
  ASSERT_TRUE(window);
  EXPECT_EQ(error, err::kOk);
  window->SetTitle("Tarvolin");
  const SRgb colors[] = {{0, 0, 0}, {255, 255, 255}};
  window->SetPalette(colors);
  std::vector<uint8_t> frame(64 * 48, 1);
  window->Present(frame.data(), 64, 48, 64, {});
  const TRect rects[] = {{-5, -5, 3, 3}, {60, 40, 200, 200}};
  window->Present(frame.data(), 64, 48, 64, rects);
  const uint8_t cursor[] = {0, 1, 2, 0};
  const SRgb cursor_palette[256] = {{0, 0, 0}, {255, 255, 255}};
  const SCursorImage image{2, 2, 1, 1, cursor, cursor_palette, 2};
  window->SetCursorImage(&image);
  window->SetCursorImage(nullptr);
  window->Show();

  platform->PostQuit();
  EXPECT_TRUE(Receive(*platform, EPlatformMessage::kQuit));
  raise(SIGINT);
  platform->WaitMessage(kWaitForever);
  EXPECT_TRUE(Receive(*platform, EPlatformMessage::kQuit));
  const uint32_t start = platform->TickCount();
  platform->WaitMessage(2);
  EXPECT_GE(platform->TickCount() - start, 2u);
  window.reset();
}

}  // namespace
