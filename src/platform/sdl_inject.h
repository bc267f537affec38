// A test aid for the SDL back end: puts real SDL events into SDL's queue for
// one window, so that tests run them through the back end's own translation
// (double clicks, warps, keys, full-screen keys) as if a person had acted.
// Run under SDL_VIDEODRIVER=offscreen, the keyboard layout is US.
//
//   CSdlEventInjector inject(window.get());   // from CSdlPlatform
//   inject.Button(EMouseButton::kLeft, true, 100, 50, 1000);
//   inject.Button(EMouseButton::kLeft, false, 100, 50, 1050);
//   inject.Key(kVkReturn, true, kModAlt);
//   platform->PeekMessage(&message) ...
//
// Positions are frame pixels, turned into window coordinates through the
// window's mapping, so they come back as the same frame pixels. Time stamps
// are SDL's milliseconds and are kept as given (double clicks go by them);
// 0 is as good as any where time does not matter. Modifiers are the kMod
// bits of platform.h.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform.h"

class CSdlWindow;

enum class EMouseButton : uint8_t { kLeft, kRight, kMiddle };

class CSdlEventInjector {
 public:
  // `window` must be a window of CSdlPlatform.
  explicit CSdlEventInjector(CPlatformWindow* window);

  void Move(int x, int y, uint32_t time = 0);
  void Button(EMouseButton button, bool down, int x, int y, uint32_t time = 0);
  // `steps` notches away from the user; `flipped` sends them the way a
  // "natural scrolling" system does (negated, marked as flipped).
  void Wheel(int steps, int x, int y, bool flipped = false, uint32_t time = 0);
  // The key that gives `virtual_key` on the current layout; nothing when no
  // key does.
  void Key(uint16_t virtual_key, bool down, uint32_t modifiers = 0,
           uint32_t time = 0);
  // The key at a place of the keyboard, named by its USB HID usage (0x2F is
  // the key right of 'P', 0x64 the one left of 'Z' on ISO keyboards).
  void KeyAt(int usb_usage, bool down, uint32_t modifiers = 0,
             uint32_t time = 0);
  // UTF-8, as the system's text input delivers it.
  void Text(std::string_view utf8);
  void FocusGained();
  void FocusLost();
  void MouseLeft();
  void Close();
  // Resizes the window to `width` × `height` window coordinates and reports
  // it as the system does.
  void Resize(int width, int height);

  // The colour (0xAARRGGBB) the window shows at output pixel (x, y): read
  // from the window surface when the window draws there, else the last
  // presented frame drawn again and read back from the renderer.
  uint32_t OutputPixel(int x, int y);

 private:
  void PushWindowEvent(uint8_t kind, int data1 = 0, int data2 = 0);
  uint32_t WindowId() const;

  CSdlWindow* m_window;
};
