// Windows for tests: a filled panel that can capture, toggle its colour,
// draw only a frame, record what reaches it, or destroy itself.
#pragma once

#include <string>
#include <vector>

#include "ui/desktop.h"

class CPanel : public CWindow {
  TV_CLASS(CPanel, CWindow)

 public:
  enum class EKind { kPlain, kCapturing, kToggling, kFrame, kSelfDestroying };

  CPanel(CWindow* parent, const TRect& rect, uint8_t colour, EKind kind = EKind::kPlain,
         uint32_t style = kStyleVisible)
      : CWindow(parent->Desktop(), parent, rect, style), m_colour(colour), m_kind(kind) {}

  void Draw(const SDrawContext& context, const TRect&) override {
    const TRect r = GetRect();
    if (m_kind != EKind::kFrame) return context.Fill(r, m_colour);
    context.Fill({r.left, r.top, r.right, r.top}, m_colour);
    context.Fill({r.left, r.bottom, r.right, r.bottom}, m_colour);
    context.Fill({r.left, r.top, r.left, r.bottom}, m_colour);
    context.Fill({r.right, r.top, r.right, r.bottom}, m_colour);
  }
  bool OnMouse(uint32_t code, TPoint, int32_t) override {
    mouse.push_back(code);
    if (m_kind == EKind::kCapturing && code == kEvLeftDown) Desktop()->SetCapture(this);
    if (m_kind == EKind::kCapturing && code == kEvLeftUp) Desktop()->SetCapture(nullptr);
    if (m_kind == EKind::kToggling && code == kEvLeftDown) {
      m_colour = m_colour == 2 ? 4 : 2;
      Invalidate();
    }
    if (m_kind == EKind::kSelfDestroying && code == kEvLeftDown) delete this;
    return true;
  }
  bool OnKey(uint32_t code, uint16_t, uint16_t) override {
    keys.push_back(code);
    return true;
  }

  std::vector<uint32_t> mouse;
  std::vector<uint32_t> keys;

 private:
  uint8_t m_colour;
  EKind m_kind;
};
