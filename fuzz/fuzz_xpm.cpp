// Feeds arbitrary text to the XPM reader; what it accepts must hold a colour
// index below the colour count for every pixel of its geometry.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "gfx/xpm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SXpmImage image;
  if (ParseXpm(std::string_view(reinterpret_cast<const char*>(data), size), &image)) return 0;
  if (image.width < 1 || image.width > kXpmMaxSide || image.height < 1 ||
      image.height > kXpmMaxSide ||
      image.pixels.size() != static_cast<size_t>(image.width) * image.height)
    std::abort();
  for (uint16_t index : image.pixels)
    if (index >= image.colours.size()) std::abort();
  for (const SXpmColour& colour : image.colours)
    if (colour.none && (colour.red || colour.green || colour.blue)) std::abort();
  return 0;
}
