// Points and rectangles in the engine's 16-bit coordinates. Rectangles are
// inclusive: right and bottom are the last column and row inside.
#pragma once

#include <cstdint>

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
