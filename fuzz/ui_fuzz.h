// What the window-system fuzz targets share: a window whose drawing follows
// from its state alone, and the checks that the presented frame and the
// desktop's window references still agree with the tree.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "platform/platform.h"
#include "ui/desktop.h"
#include "ui/os_layer.h"

// Fills its rectangle, or draws only a frame while it is transparent.
class CFuzzWindow : public CWindow {
  TV_CLASS(CFuzzWindow, CWindow)

 public:
  // What the window does with input, any combination.
  enum : uint8_t {
    kCaptures = 0x01,      // captures on left down, releases on left up
    kToggles = 0x02,       // changes its colour on left down
    kSelfDestroys = 0x04,  // destroys itself on right down
    kModalByKey = 0x08,    // becomes modal on a key down, or stops being it
  };

  CFuzzWindow(CWindow* parent, const TRect& rect, uint32_t style, uint8_t colour,
              uint8_t behaviour)
      : CWindow(parent->Desktop(), parent, rect, style), m_colour(colour), m_behaviour(behaviour) {}

  void Draw(const SDrawContext& context, const TRect&) override {
    const TRect r = GetRect();
    if (!(GetStyle() & kStyleTransparent)) return context.Fill(r, m_colour);
    context.Frame(r, m_colour, m_colour);
  }
  bool OnMouse(uint32_t code, TPoint, int32_t) override {
    CDesktop* desktop = Desktop();
    if ((m_behaviour & kCaptures) && code == kEvLeftDown) desktop->SetCapture(this);
    if ((m_behaviour & kCaptures) && code == kEvLeftUp) desktop->SetCapture(nullptr);
    if ((m_behaviour & kToggles) && code == kEvLeftDown) {
      m_colour ^= 0x55;
      Invalidate();
    }
    if ((m_behaviour & kSelfDestroys) && code == kEvRightDown) delete this;
    return true;
  }
  bool OnKey(uint32_t code, uint16_t, uint16_t) override {
    if (!(m_behaviour & kModalByKey) || code != kEvKeyDown) return false;
    Desktop()->SetModal(Desktop()->Modal() == this ? nullptr : this);
    return true;
  }

 private:
  uint8_t m_colour;
  uint8_t m_behaviour;
};

// Traps unless every pixel of the desktop that the frame shows was presented
// as a full repaint draws it; the first pixel that differs is reported.
inline void CheckPresentedFrame(CDesktop& desktop, std::vector<uint8_t>* scratch) {
  const SPresentedFrame shown = desktop.TopLevel()->PlatformWindow()->Presented();
  SDrawContext context = desktop.FrameContext();
  scratch->assign(static_cast<size_t>(shown.width) * shown.height, 0);
  context.view = {scratch->data(), shown.width, shown.width, shown.height};
  desktop.PaintRect(context, desktop.GetRect(), &desktop);
  TRect area;
  const TRect frame{0, 0, static_cast<int16_t>(shown.width - 1),
                    static_cast<int16_t>(shown.height - 1)};
  if (!IntersectRect(OffsetRect(desktop.GetRect(), context.origin_x, context.origin_y), frame,
                     &area))
    return;
  const size_t width = static_cast<size_t>(area.right - area.left + 1);
  for (int y = area.top; y <= area.bottom; ++y) {
    const size_t at = static_cast<size_t>(y) * shown.width + area.left;
    if (std::memcmp(shown.pixels + at, scratch->data() + at, width) == 0) continue;
    size_t x = 0;
    while (shown.pixels[at + x] == (*scratch)[at + x]) ++x;
    std::fprintf(stderr, "frame pixel %zu,%d is %d, a full repaint draws %d\n", area.left + x, y,
                 shown.pixels[at + x], (*scratch)[at + x]);
    __builtin_trap();
  }
}

// Traps unless hover, capture, focus, saved focus and modal are each null or
// a window of the tree.
inline void CheckDesktopReferences(const CDesktop& desktop) {
  std::unordered_set<const CWindow*> tree;
  std::vector<const CWindow*> pending{&desktop};
  while (!pending.empty()) {
    const CWindow* window = pending.back();
    pending.pop_back();
    tree.insert(window);
    for (const CWindow* child = window->FirstChild(); child; child = child->NextSibling())
      pending.push_back(child);
  }
  for (const CWindow* window : {desktop.Hover(), desktop.GetCapture(), desktop.GetFocus(),
                                desktop.SavedFocus(), desktop.Modal()})
    if (window && !tree.count(window)) __builtin_trap();
}
