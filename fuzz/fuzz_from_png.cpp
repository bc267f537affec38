// Feeds arbitrary bytes to the PNG decoder and maps what it accepts to a
// small palette with a key: the geometry must hold, transparent pixels must
// take the key and opaque ones never.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "png_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const CPalette* const palette = [] {
    auto* made = new CPalette;
    made->SetCount(4);
    made->SetEntry(0, {255, 255, 255, 0});
    made->SetEntry(1, {255, 0, 255, 0});
    made->SetEntry(2, {0, 0, 0, 0});
    made->SetEntry(3, {0, 128, 255, 0});
    return made;
  }();
  SRgbaImage image;
  if (DecodePng(std::span(data, size), &image)) return 0;
  if (image.width < 1 || image.width > kPngMaxSide || image.height < 1 ||
      image.height > kPngMaxSide || image.rgba.size() != size_t{image.width} * image.height * 4)
    std::abort();
  const std::vector<uint8_t> indices = MapToPalette(image, *palette, 1, EDither::kOrdered);
  for (size_t i = 0; i < indices.size(); ++i)
    if (indices[i] > 3 || (indices[i] == 1) != (image.rgba[i * 4 + 3] < 128)) std::abort();
  return 0;
}
