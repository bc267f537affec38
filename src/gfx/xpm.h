// XPM pictures in their C-source form (the accepted form is described at the
// top of xpm.cpp).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/errors.h"

// Sides longer than this are refused.
inline constexpr int kXpmMaxSide = 4096;

struct SXpmColour {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  bool none = false;  // transparent; the channels are 0
};

struct SXpmImage {
  int width = 0;
  int height = 0;
  // In the order of the file's colour lines.
  std::vector<SXpmColour> colours;
  // Row by row from the top: an index into `colours` per pixel.
  std::vector<uint16_t> pixels;
};

// INVALIDFORMAT for anything outside the accepted form; `image` is then
// unspecified.
ErrCode ParseXpm(std::string_view text, SXpmImage* image);
