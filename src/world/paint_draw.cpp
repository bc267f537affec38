#include "world/paint_draw.h"

#include <algorithm>
#include <cstdlib>

#include "gfx/blit.h"

namespace {

// Grows towards the pixels written; starts empty.
class CChanged {
 public:
  void Add(int x, int y) {
    m_left = std::min(m_left, x);
    m_top = std::min(m_top, y);
    m_right = std::max(m_right, x);
    m_bottom = std::max(m_bottom, y);
  }
  TRect Rect() const {
    if (m_left > m_right) return {1, 1, 0, 0};
    return {static_cast<int16_t>(m_left), static_cast<int16_t>(m_top),
            static_cast<int16_t>(m_right), static_cast<int16_t>(m_bottom)};
  }

 private:
  int m_left = 1 << 20, m_top = 1 << 20, m_right = -(1 << 20), m_bottom = -(1 << 20);
};

bool Inside(const SPixelView& view, int x, int y) {
  return x >= 0 && y >= 0 && x < view.width && y < view.height;
}

void PutDabsInto(const SPixelView& canvas, const SPaintArea& area, int x, int y,
                 const DabList& dabs, const SInk& ink, CChanged* changed) {
  for (const SDab& dab : dabs) {
    const int px = x + dab.dx, py = y + dab.dy;
    if (!Inside(canvas, px, py) || !area.Allows(px, py)) continue;
    canvas.Row(py)[px] = ink.At(px, py, dab.colour);
    changed->Add(px, py);
  }
}

}  // namespace

DabList RoundDabs(int diameter) {
  DabList dabs;
  const int radius = diameter / 2;
  for (int dy = -radius; dy <= radius; ++dy)
    for (int dx = -radius; dx <= radius; ++dx)
      if (4 * (dx * dx + dy * dy) <= diameter * diameter) dabs.push_back({dx, dy, 0});
  return dabs;
}

DabList PictureDabs(const SPixelView& picture, uint32_t key) {
  DabList dabs;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) {
      const uint8_t colour = picture.Row(y)[x];
      if (key == kNoKey || colour != key)
        dabs.push_back({x - picture.width / 2, y - picture.height / 2, colour});
    }
  return dabs;
}

SPaintArea AreaAt(const SPixelView* map, TPoint point) {
  if (!map) return {};
  return {*map, Inside(*map, point.x, point.y) ? map->Row(point.y)[point.x] : -1};
}

uint8_t SInk::At(int x, int y, uint8_t dab_colour) const {
  if (own) return dab_colour;
  if (!tile.origin) return colour;
  const uint8_t pixel = tile.Row(y % tile.height)[x % tile.width];
  return pixel == key ? colour : pixel;
}

TRect PutDabs(const SPixelView& canvas, const SPaintArea& area, TPoint at, const DabList& dabs,
              const SInk& ink) {
  CChanged changed;
  PutDabsInto(canvas, area, at.x, at.y, dabs, ink, &changed);
  return changed.Rect();
}

TRect StrokeDabs(const SPixelView& canvas, const SPaintArea& area, TPoint from, TPoint to,
                 const DabList& dabs, const SInk& ink) {
  // Points whose dabs all fall outside the canvas are passed over at once.
  CChanged reach;
  for (const SDab& dab : dabs) reach.Add(dab.dx, dab.dy);
  const TRect r = reach.Rect();
  CChanged changed;
  WalkLine(from, to, [&](TPoint point) {
    const int x = point.x, y = point.y;
    if (x + r.right >= 0 && y + r.bottom >= 0 && x + r.left < canvas.width && y + r.top < canvas.height)
      PutDabsInto(canvas, area, x, y, dabs, ink, &changed);
    return true;
  });
  return changed.Rect();
}

TRect FloodFill(const SPixelView& canvas, const SPaintArea& area, TPoint seed, const SInk& ink) {
  if (!Inside(canvas, seed.x, seed.y) || !area.Allows(seed.x, seed.y)) return {1, 1, 0, 0};
  const uint8_t index = canvas.Row(seed.y)[seed.x];
  std::vector<uint8_t> seen(static_cast<size_t>(canvas.width) * canvas.height, 0);
  std::vector<TPoint> pending{seed}, found;
  seen[static_cast<size_t>(seed.y) * canvas.width + seed.x] = 1;
  while (!pending.empty()) {
    const TPoint point = pending.back();
    pending.pop_back();
    found.push_back(point);
    const TPoint next[] = {{static_cast<int16_t>(point.x - 1), point.y},
                           {static_cast<int16_t>(point.x + 1), point.y},
                           {point.x, static_cast<int16_t>(point.y - 1)},
                           {point.x, static_cast<int16_t>(point.y + 1)}};
    for (const TPoint& near : next) {
      if (!Inside(canvas, near.x, near.y)) continue;
      uint8_t& mark = seen[static_cast<size_t>(near.y) * canvas.width + near.x];
      if (mark || canvas.Row(near.y)[near.x] != index || !area.Allows(near.x, near.y)) continue;
      mark = 1;
      pending.push_back(near);
    }
  }
  // Painted once all are found, since the ink may be the index itself.
  CChanged changed;
  for (const TPoint& point : found) {
    canvas.Row(point.y)[point.x] = ink.At(point.x, point.y, 0);
    changed.Add(point.x, point.y);
  }
  return changed.Rect();
}
