// A picture laid over the view while the screen dissolve runs: the old
// view's picture, which the dissolve takes away after a dissolving change,
// or an image, which it brings in and which then stays on top until the
// next change of view.
//
// The dissolve runs kDuration ms. t ms in, it is 256 t / kDuration (at most
// 256) of 256 shares done, and a pixel shows the new state where its rank
// in the graphics layer's 16 x 16 order is below the share done. The share
// changes every kDuration / 256 ms; the world redraws at each change.
#pragma once

#include <cstdint>
#include <memory>

#include "gfx/bitmap.h"

class CPalette;

class CWDissolve {
 public:
  static constexpr uint32_t kDuration = 2000;
  static constexpr int kShares = 256;
  enum class EKind : uint8_t { kAway, kIn };

  // `picture` is 8-bit; its pixels are mapped to `palette` by nearest
  // colour first.
  CWDissolve(std::unique_ptr<CBitmap> picture, const CPalette& palette, EKind kind);

  static int ShareAt(uint32_t elapsed);
  // The first ms after `elapsed` at which the share grows.
  static uint32_t NextChangeAfter(uint32_t elapsed);

  EKind Kind() const { return m_kind; }
  int Share() const { return m_share; }
  void SetShare(int share) { m_share = share; }
  bool Running() const { return m_share < kShares; }
  // Lays the pixels of the picture that show now over `canvas` (same
  // top-left).
  void DrawOver(const SPixelView& canvas) const;

 private:
  std::unique_ptr<CBitmap> m_picture;
  EKind m_kind;
  int m_share = 0;
};
