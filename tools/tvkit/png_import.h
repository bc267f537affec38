// PNG pictures brought into a palette: the decoder, which turns any PNG
// into 8-bit RGBA, and the mapping of RGBA pixels to palette indices.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/errors.h"
#include "gfx/palette.h"

// Reads a GIMP palette file.
ErrCode LoadGpl(const char* path, CPalette* palette);

// Pictures wider or higher than this are refused.
inline constexpr uint32_t kPngMaxSide = 4096;

struct SRgbaImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgba;  // red, green, blue, alpha; top row first
};

// INVALIDFORMAT for anything libpng refuses (damaged or truncated data),
// OUTOFRANGE for a side above kPngMaxSide. `image` is unchanged on failure.
ErrCode DecodePng(std::span<const uint8_t> bytes, SRgbaImage* image);

enum class EDither { kOrdered, kNone };

// Pixels with alpha below 128 take `key`; opaque ones the palette colour they
// have exactly, else (kOrdered) the 8 x 8 ordered mix of the nearest entry
// and the entry on the colour's other side, or (kNone) the nearest entry.
// No opaque pixel takes `key`. A negative `key` ignores alpha. The palette
// needs at least one entry besides the key.
std::vector<uint8_t> MapToPalette(const SRgbaImage& image, const CPalette& palette, int key,
                                  EDither dither);
