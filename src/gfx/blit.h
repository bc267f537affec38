// Drawing into 8-bit pixels: copies with an optional transparent key, colour
// replacement, fills and the screen dissolve. Every routine clips to the
// target view and to the rectangle it is given; rectangles are inclusive.
#pragma once

#include <cstdint>

#include "gfx/bitmap.h"
#include "base/geometry.h"

// The key value that draws every pixel.
inline constexpr uint32_t kNoKey = 0xFFFFFFFF;

// Copies the `source` pixels of `area` (source coordinates) so that the
// area's top-left pixel lands at (x, y) of `target`, leaving out source
// pixels equal to the key's low byte unless `key` is kNoKey. Only target
// pixels inside `clip` change.
void Blit8(const SPixelView& target, int x, int y, const SPixelView& source,
           const TRect& area, uint32_t key, const TRect& clip);

// Replaces `from` by `to` inside `area`, or everywhere when `area` is null.
void ReplaceColour(const SPixelView& target, uint8_t from, uint8_t to, const TRect* area);

void Fill(const SPixelView& target, const TRect& area, uint8_t colour);

// One step of a dissolve from what `screen` shows to `image` (same size):
// step s of `steps` copies the image's pixels of every 16 x 16 block whose
// place in a fixed scattered order falls in the s-th share of the block;
// after all steps from 0 to steps - 1 the screen shows the image.
void DissolveStep(const SPixelView& screen, const SPixelView& image, int step, int steps);
// The place (0..255) of pixel (x, y) in that order: a dissolve that is
// n/256 done shows the new picture where the rank is below n.
uint8_t DissolveRank(int x, int y);
