// The drawing of paint objects: dabs of a tool put down at a point or along
// a line, and flood fills, over 8-bit pixel views.
//
// Every routine writes only canvas pixels its area allows: with a map (a
// picture of the canvas's size) only those whose map index is the region's,
// so that colouring never crosses the lines the map draws.
#pragma once

#include <cstdint>
#include <vector>

#include "base/geometry.h"
#include "gfx/bitmap.h"

// One pixel of a tool's footprint, relative to where the tool is put down,
// with its own colour (stamps keep it, brushes and rubbers use their ink's).
struct SDab {
  int dx = 0;
  int dy = 0;
  uint8_t colour = 0;
};
using DabList = std::vector<SDab>;

// The round footprint of `diameter`: the offsets with
// 4 (dx^2 + dy^2) <= diameter^2.
DabList RoundDabs(int diameter);
// The pixels of `picture` other than `key` (kNoKey: all), centred: pixel
// (x, y) lands at (x - width / 2, y - height / 2).
DabList PictureDabs(const SPixelView& picture, uint32_t key);

// Where a tool may paint: the whole canvas, or with a map only the pixels
// of one region.
struct SPaintArea {
  SPixelView map{};  // origin null: no map
  int region = -1;  // the map index allowed

  bool Allows(int x, int y) const { return !map.origin || map.Row(y)[x] == region; }
};
// The area of the region under `point`: nothing at all when a map is given
// and the point lies outside it.
SPaintArea AreaAt(const SPixelView* map, TPoint point);

// What a painted pixel becomes: the ink's colour, the dab's own, or the
// pixel of a picture tiled from the canvas origin whose `key` pixels take
// the ink's colour instead.
struct SInk {
  uint8_t colour = 0;
  bool own = false;
  SPixelView tile{};  // origin null: none
  uint32_t key = 0xFFFFFFFF;

  uint8_t At(int x, int y, uint8_t dab_colour) const;
};

// Puts `dabs` down at `at`; answers the canvas rectangle that may have
// changed (empty: none).
TRect PutDabs(const SPixelView& canvas, const SPaintArea& area, TPoint at, const DabList& dabs,
              const SInk& ink);
// Puts `dabs` down at every point of the line after `from` up to `to`.
TRect StrokeDabs(const SPixelView& canvas, const SPaintArea& area, TPoint from, TPoint to,
                 const DabList& dabs, const SInk& ink);
// Paints the 4-connected pixels of the index at `seed` that the area
// allows, the seed among them.
TRect FloodFill(const SPixelView& canvas, const SPaintArea& area, TPoint seed, const SInk& ink);
