// Points and rectangles in the engine's 16-bit coordinates. Rectangles are
// inclusive: right and bottom are the last column and row inside.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>

struct TPoint {
  int16_t x = 0;
  int16_t y = 0;
};

struct TRect {
  int16_t left = 0;
  int16_t top = 0;
  int16_t right = 0;
  int16_t bottom = 0;
};

// The centre of an inclusive rectangle, rounded towards zero.
inline TPoint RectCenter(const TRect& rect) {
  return {static_cast<int16_t>((rect.left + rect.right) / 2),
          static_cast<int16_t>((rect.top + rect.bottom) / 2)};
}

inline bool RectEmpty(const TRect& rect) {
  return rect.left > rect.right || rect.top > rect.bottom;
}

inline bool RectContains(const TRect& rect, TPoint point) {
  return point.x >= rect.left && point.x <= rect.right && point.y >= rect.top &&
         point.y <= rect.bottom;
}

// Pixels covered, edges included; 0 for an empty rectangle.
inline int64_t RectArea(const TRect& rect) {
  if (RectEmpty(rect)) return 0;
  return int64_t{rect.right - rect.left + 1} * (rect.bottom - rect.top + 1);
}

// Intersects two rectangles; false when nothing is left.
inline bool IntersectRect(const TRect& a, const TRect& b, TRect* out) {
  out->left = std::max(a.left, b.left);
  out->top = std::max(a.top, b.top);
  out->right = std::min(a.right, b.right);
  out->bottom = std::min(a.bottom, b.bottom);
  return !RectEmpty(*out);
}

// The smallest rectangle holding both.
inline TRect UnionRect(const TRect& a, const TRect& b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top),
          std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

inline TRect OffsetRect(const TRect& rect, int dx, int dy) {
  return {static_cast<int16_t>(rect.left + dx), static_cast<int16_t>(rect.top + dy),
          static_cast<int16_t>(rect.right + dx), static_cast<int16_t>(rect.bottom + dy)};
}

// Visits the points of the straight line from `from` to `to` (Bresenham's
// steps) after `from`, up to and with `to`, while `visit` answers true.
template <class Visit>
void WalkLine(TPoint from, TPoint to, Visit visit) {
  const int dx = std::abs(to.x - from.x), dy = -std::abs(to.y - from.y);
  const int sx = from.x < to.x ? 1 : -1, sy = from.y < to.y ? 1 : -1;
  int error = dx + dy;
  TPoint at = from;
  while (at.x != to.x || at.y != to.y) {
    const int twice = 2 * error;
    if (twice >= dy) {
      error += dy;
      at.x = static_cast<int16_t>(at.x + sx);
    }
    if (twice <= dx) {
      error += dx;
      at.y = static_cast<int16_t>(at.y + sy);
    }
    if (!visit(at)) return;
  }
}
