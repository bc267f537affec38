#include "world/dissolve.h"

#include <algorithm>
#include <array>

#include "gfx/blit.h"
#include "gfx/palette.h"

namespace {

// Each pixel of `picture` becomes the index of `palette` nearest to its
// colour in the picture's own palette.
void MapToPalette(CBitmap& picture, const CPalette& palette) {
  const CPalette* own = picture.Palette();
  if (!own) return;
  std::array<uint8_t, 256> map{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t nearest = i;
    if (i < own->Count()) palette.FindNearest(own->Entries()[i], &nearest);
    map[i] = static_cast<uint8_t>(nearest);
  }
  const CBitmapLock lock(picture);
  if (!lock) return;
  const SPixelView& view = lock.View();
  for (int y = 0; y < view.height; ++y) {
    uint8_t* row = view.Row(y);
    for (int x = 0; x < view.width; ++x) row[x] = map[row[x]];
  }
}

}  // namespace

CWDissolve::CWDissolve(std::unique_ptr<CBitmap> picture, const CPalette& palette, EKind kind)
    : m_picture(std::move(picture)), m_kind(kind) {
  if (m_picture) MapToPalette(*m_picture, palette);
}

int CWDissolve::ShareAt(uint32_t elapsed) {
  return static_cast<int>(std::min<uint64_t>(uint64_t{elapsed} * kShares / kDuration, kShares));
}

uint32_t CWDissolve::NextChangeAfter(uint32_t elapsed) {
  const uint64_t next_share = static_cast<uint64_t>(ShareAt(elapsed)) + 1;
  return static_cast<uint32_t>((next_share * kDuration + kShares - 1) / kShares);
}

void CWDissolve::DrawOver(const SPixelView& canvas) const {
  if (!m_picture) return;
  const CBitmapLock lock(*m_picture);
  if (!lock) return;
  const SPixelView& picture = lock.View();
  const int height = std::min(canvas.height, picture.height);
  const int width = std::min(canvas.width, picture.width);
  // Going away, the picture shows where the new state does not yet; coming
  // in, where it does.
  const bool shows_below = m_kind == EKind::kIn;
  for (int y = 0; y < height; ++y) {
    uint8_t* out = canvas.Row(y);
    const uint8_t* in = picture.Row(y);
    for (int x = 0; x < width; ++x)
      if ((DissolveRank(x, y) < m_share) == shows_below) out[x] = in[x];
  }
}
