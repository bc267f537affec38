#include "gfx/blit.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

TRect ViewBounds(const SPixelView& view) {
  return TRect{0, 0, static_cast<int16_t>(view.width - 1), static_cast<int16_t>(view.height - 1)};
}

// The rank of every pixel of a 16 x 16 block in the dissolve: a shuffle of
// 0..255 drawn with the engine's random generator from a fixed seed.
const std::array<uint8_t, 256>& DissolveRanks() {
  static const std::array<uint8_t, 256> ranks = [] {
    std::array<uint8_t, 256> r{};
    for (int i = 0; i < 256; ++i) r[i] = static_cast<uint8_t>(i);
    uint32_t state = 1;
    for (int i = 255; i > 0; --i) {
      state = state * 214013u + 2531011u;
      const int j = static_cast<int>((state >> 16) & 0x7FFF) % (i + 1);
      std::swap(r[i], r[j]);
    }
    return r;
  }();
  return ranks;
}

}  // namespace

void Blit8(const SPixelView& target, int x, int y, const SPixelView& source,
           const TRect& area, uint32_t key, const TRect& clip) {
  TRect from;
  if (!IntersectRect(area, ViewBounds(source), &from)) return;
  // The target rectangle the source area maps to, clipped.
  const int dx = x - area.left;
  const int dy = y - area.top;
  TRect to{static_cast<int16_t>(std::clamp(from.left + dx, -32768, 32767)),
           static_cast<int16_t>(std::clamp(from.top + dy, -32768, 32767)),
           static_cast<int16_t>(std::clamp(from.right + dx, -32768, 32767)),
           static_cast<int16_t>(std::clamp(from.bottom + dy, -32768, 32767))};
  TRect limit;
  if (!IntersectRect(clip, ViewBounds(target), &limit) || !IntersectRect(to, limit, &to)) return;
  const int width = to.right - to.left + 1;
  for (int row = to.top; row <= to.bottom; ++row) {
    uint8_t* out = target.Row(row) + to.left;
    const uint8_t* in = source.Row(row - dy) + (to.left - dx);
    if (key == kNoKey) {
      std::memcpy(out, in, width);
      continue;
    }
    // A select rather than a branch, so that the loop vectorises.
    const uint8_t skip = static_cast<uint8_t>(key);
    for (int i = 0; i < width; ++i) out[i] = in[i] != skip ? in[i] : out[i];
  }
}

void ReplaceColour(const SPixelView& target, uint8_t from, uint8_t to, const TRect* area) {
  TRect r = ViewBounds(target);
  if (area && !IntersectRect(*area, r, &r)) return;
  for (int row = r.top; row <= r.bottom; ++row) {
    uint8_t* p = target.Row(row);
    for (int i = r.left; i <= r.right; ++i)
      if (p[i] == from) p[i] = to;
  }
}

void Fill(const SPixelView& target, const TRect& area, uint8_t colour) {
  TRect r;
  if (!IntersectRect(area, ViewBounds(target), &r)) return;
  for (int row = r.top; row <= r.bottom; ++row)
    std::memset(target.Row(row) + r.left, colour, r.right - r.left + 1);
}

uint8_t DissolveRank(int x, int y) { return DissolveRanks()[(y & 15) * 16 + (x & 15)]; }

void DissolveStep(const SPixelView& screen, const SPixelView& image, int step, int steps) {
  if (steps <= 0 || step < 0 || step >= steps) return;
  const std::array<uint8_t, 256>& ranks = DissolveRanks();
  const int height = std::min(screen.height, image.height);
  const int width = std::min(screen.width, image.width);
  for (int row = 0; row < height; ++row) {
    uint8_t* out = screen.Row(row);
    const uint8_t* in = image.Row(row);
    const uint8_t* rank_row = &ranks[(row & 15) * 16];
    for (int i = 0; i < width; ++i)
      if (rank_row[i & 15] * steps / 256 == step) out[i] = in[i];
  }
}
