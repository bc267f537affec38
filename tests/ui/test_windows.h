// Windows for tests: a filled panel that can capture, toggle its colour,
// draw only a frame, record what reaches it, or destroy itself.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "fs/file_service.h"
#include "gfx/bmp.h"
#include "gfx/font.h"
#include "support/temp_dir.h"
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
    context.Frame(r, m_colour, m_colour);
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

// A (100,100)-(299,299) in 1 captures while the left button is down; B above
// it in 2 toggles to 4 and back on each left down; C inside B is transparent,
// a frame in 3. The desktop is then drawn whole and presented.
struct STestTree {
  CPanel* a;
  CPanel* b;
  CPanel* c;
};

inline STestTree BuildTestTree(CDesktop& desktop) {
  using EKind = CPanel::EKind;
  STestTree tree;
  tree.a = new CPanel(&desktop, {100, 100, 299, 299}, 1, EKind::kCapturing);
  tree.b = new CPanel(&desktop, {200, 200, 399, 399}, 2, EKind::kToggling);
  tree.c = new CPanel(tree.b, {250, 250, 269, 269}, 3, EKind::kFrame,
                      kStyleVisible | kStyleTransparent);
  desktop.Invalidate(desktop.GetRect(), nullptr, false);
  desktop.Present();
  return tree;
}

// An 8-bit picture `name` in `dir` of `width` columns, its pixels row by
// row from the top; answers its path.
inline std::string WritePicture(const CTempDir& dir, const std::string& name, int width,
                                const std::vector<uint8_t>& pixels, bool grey = false) {
  CBitmap bitmap;
  auto palette = std::make_unique<CPalette>();
  palette->SetCount(256);
  for (uint32_t i = 0; grey && i < 256; ++i) {
    const auto level = static_cast<uint8_t>(i);
    palette->SetEntry(i, {level, level, level, 0});
  }
  const int height = static_cast<int>(pixels.size()) / width;
  bitmap.Create(static_cast<uint16_t>(width), static_cast<uint16_t>(height), kPixel8,
                std::move(palette), kTopDown, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) bitmap.SetPixel(x, y, pixels[y * width + x]);
  const std::string path = dir.Join(name);
  SaveBmp(path.c_str(), bitmap, kBottomUp);
  return path;
}

// A font whose glyphs are 3 x 5 blocks, lines 6 pixels high, for the
// characters from the space to "Z", written to `path` through the file
// service.
inline void WriteBoxFont(const std::string& path) {
  CFont font(6, 5, ' ');
  const uint8_t mask[] = {0xE0, 0xE0, 0xE0, 0xE0, 0xE0};
  for (int c = ' '; c <= 'Z'; ++c) font.AddGlyph(SGlyph{3, 5, 0, 1, 4}, mask);
  if (std::unique_ptr<CFile> out = FsOpen(path.c_str(), 0x0F, nullptr)) font.Write(out.get());
}

// A 4 x 4 cursor picture "hand.bmp" in `dir` whose bottom-left pixel is 7,
// with `ini` as its description; answers its path.
inline std::string WriteCursor(const CTempDir& dir, const std::string& ini) {
  std::vector<uint8_t> pixels(16, 0);
  pixels[12] = 7;
  dir.WriteFile("hand.bmp.ini", ini);
  return WritePicture(dir, "hand.bmp", 4, pixels);
}
