// Feeds arbitrary bytes to the PNG decoder and maps what it accepts to a
// small palette with a key: the geometry must hold, transparent pixels must
// take the key and opaque ones never. The chunks' checksums are made right
// first, so that mutations reach past them.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "png_import.h"

namespace {

uint32_t Crc32(const uint8_t* bytes, size_t size) {
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = 0; i < size; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

// Rewrites the CRC of every whole chunk after the 8-byte signature.
void FixChecksums(std::vector<uint8_t>* png) {
  std::vector<uint8_t>& bytes = *png;
  for (size_t at = 8; at + 12 <= bytes.size();) {
    const size_t length = size_t{bytes[at]} << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3];
    if (length > bytes.size() - at - 12) return;
    const uint32_t crc = Crc32(&bytes[at + 4], length + 4);
    for (int i = 0; i < 4; ++i) bytes[at + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    at += length + 12;
  }
}

}  // namespace

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
  std::vector<uint8_t> png(data, data + size);
  FixChecksums(&png);
  SRgbaImage image;
  if (DecodePng(png, &image)) return 0;
  if (image.width < 1 || image.width > kPngMaxSide || image.height < 1 ||
      image.height > kPngMaxSide || image.rgba.size() != size_t{image.width} * image.height * 4)
    std::abort();
  const std::vector<uint8_t> indices = MapToPalette(image, *palette, 1, EDither::kOrdered);
  for (size_t i = 0; i < indices.size(); ++i)
    if (indices[i] > 3 || (indices[i] == 1) != (image.rgba[i * 4 + 3] < 128)) std::abort();
  return 0;
}
