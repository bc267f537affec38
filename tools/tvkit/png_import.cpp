#include "png_import.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <string>
#include <unordered_map>

#include "gfx/gpl.h"
#include "stream_copy.h"

namespace {

// ---- decoding ----

struct SPngSource {
  const uint8_t* data;
  size_t size;
  size_t position;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t length) {
  auto* source = static_cast<SPngSource*>(png_get_io_ptr(png));
  if (length > source->size - source->position) png_error(png, "truncated");
  std::memcpy(out, source->data + source->position, length);
  source->position += length;
}

[[noreturn]] void FailSilently(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void IgnoreWarning(png_structp, png_const_charp) {}

// All the state the two jumping functions below touch: plain data, so that
// a jump back into them skips no destructor.
struct SPngRead {
  png_structp png;
  png_infop info;
  SPngSource source;
  png_uint_32 width;
  png_uint_32 height;
  size_t row_bytes;
};

// Reads the header and asks for 8-bit RGBA rows; false when libpng fails.
bool ReadHeader(SPngRead* read) {
  if (setjmp(png_jmpbuf(read->png))) return false;
  png_set_read_fn(read->png, &read->source, ReadFromMemory);
  png_read_info(read->png, read->info);
  read->width = png_get_image_width(read->png, read->info);
  read->height = png_get_image_height(read->png, read->info);
  png_set_expand(read->png);
  png_set_strip_16(read->png);
  png_set_gray_to_rgb(read->png);
  png_set_add_alpha(read->png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(read->png);
  png_read_update_info(read->png, read->info);
  read->row_bytes = png_get_rowbytes(read->png, read->info);
  return true;
}

bool ReadRows(SPngRead* read, png_bytepp rows) {
  if (setjmp(png_jmpbuf(read->png))) return false;
  png_read_image(read->png, rows);
  png_read_end(read->png, nullptr);
  return true;
}

// Owns libpng's read structures.
class CPngReader {
 public:
  explicit CPngReader(std::span<const uint8_t> bytes)
      : m_read{png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, FailSilently, IgnoreWarning),
               nullptr, {bytes.data(), bytes.size(), 0}, 0, 0, 0} {
    if (m_read.png) m_read.info = png_create_info_struct(m_read.png);
  }
  ~CPngReader() { png_destroy_read_struct(&m_read.png, &m_read.info, nullptr); }
  CPngReader(const CPngReader&) = delete;
  CPngReader& operator=(const CPngReader&) = delete;

  ErrCode Read(SRgbaImage* image) {
    if (!m_read.png || !m_read.info) return err::kAllocFail;
    if (!ReadHeader(&m_read)) return err::kInvalidFormat;
    if (m_read.width > kPngMaxSide || m_read.height > kPngMaxSide) return err::kOutOfRange;
    if (m_read.row_bytes != size_t{m_read.width} * 4) return err::kInvalidFormat;
    std::vector<uint8_t> rgba(m_read.row_bytes * m_read.height);
    std::vector<png_bytep> rows(m_read.height);
    for (png_uint_32 y = 0; y < m_read.height; ++y) rows[y] = &rgba[y * m_read.row_bytes];
    if (!ReadRows(&m_read, rows.data())) return err::kInvalidFormat;
    image->width = m_read.width;
    image->height = m_read.height;
    image->rgba = std::move(rgba);
    return err::kOk;
  }

 private:
  SPngRead m_read;
};

// ---- mapping ----

// The 8 x 8 ordered-dither thresholds 0..63, [y][x].
constexpr uint8_t kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},   {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38},  {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},   {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21},
};

// A colour drawn as `near` with `far` mixed in: `far` where
// 128 * weight > (2 * threshold + 1) * span, i.e. in the share weight / span.
struct SMix {
  uint8_t near;
  uint8_t far;
  int64_t weight;
  int64_t span;
};

class CMapper {
 public:
  CMapper(const CPalette& palette, int key, EDither dither)
      : m_palette(palette), m_key(key), m_dither(dither) {}

  uint8_t Map(const uint8_t* rgba, uint32_t x, uint32_t y) {
    if (m_key >= 0 && rgba[3] < 128) return static_cast<uint8_t>(m_key);
    const SMix& mix = MixOf(rgba);
    const int64_t threshold = 2 * kBayer[y % 8][x % 8] + 1;
    return 128 * mix.weight > threshold * mix.span ? mix.far : mix.near;
  }

 private:
  const SMix& MixOf(const uint8_t* rgba) {
    const uint32_t rgb = rgba[0] << 16 | rgba[1] << 8 | rgba[2];
    auto found = m_mixes.find(rgb);
    if (found == m_mixes.end()) found = m_mixes.emplace(rgb, MakeMix({rgba[2], rgba[1], rgba[0]})).first;
    return found->second;
  }

  // The nearest entry other than the key.
  uint8_t Nearest(SPalEntry colour, int* distance) const {
    uint32_t index = m_key == 0 ? 1 : 0;
    *distance = CPalette::kFullSearch;
    const uint32_t last = m_palette.Count() - 1;
    if (m_key < 0) {
      m_palette.FindNearestInRange(colour, 0, last, &index, distance);
    } else {
      if (m_key > 0) m_palette.FindNearestInRange(colour, 0, m_key - 1, &index, distance);
      if (static_cast<uint32_t>(m_key) < last)
        m_palette.FindNearestInRange(colour, m_key + 1, last, &index, distance);
    }
    return static_cast<uint8_t>(index);
  }

  SMix MakeMix(SPalEntry colour) const {
    int distance = 0;
    const uint8_t near = Nearest(colour, &distance);
    if (distance == 0 || m_dither == EDither::kNone) return {near, near, 0, 1};
    const SPalEntry a = m_palette.Entries()[near];
    const auto mirror = [](uint8_t p, uint8_t q) {
      return static_cast<uint8_t>(std::clamp(2 * p - q, 0, 255));
    };
    const uint8_t far = Nearest(
        {mirror(colour.blue, a.blue), mirror(colour.green, a.green), mirror(colour.red, a.red), 0},
        &distance);
    const SPalEntry b = m_palette.Entries()[far];
    const int64_t d[3] = {b.red - a.red, b.green - a.green, b.blue - a.blue};
    const int64_t p[3] = {colour.red - a.red, colour.green - a.green, colour.blue - a.blue};
    const int64_t span = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    if (span == 0) return {near, near, 0, 1};
    const int64_t weight = std::clamp<int64_t>(d[0] * p[0] + d[1] * p[1] + d[2] * p[2], 0, span);
    return {near, far, weight, span};
  }

  const CPalette& m_palette;
  int m_key;
  EDither m_dither;
  std::unordered_map<uint32_t, SMix> m_mixes;
};

}  // namespace

ErrCode LoadGpl(const char* path, CPalette* palette) {
  std::string text;
  ErrCode error = ReadWholeFile(path, &text);
  return error ? error : ParseGpl(text, palette);
}

ErrCode DecodePng(std::span<const uint8_t> bytes, SRgbaImage* image) {
  CPngReader reader(bytes);
  return reader.Read(image);
}

std::vector<uint8_t> MapToPalette(const SRgbaImage& image, const CPalette& palette, int key,
                                  EDither dither) {
  CMapper mapper(palette, key, dither);
  std::vector<uint8_t> indices(size_t{image.width} * image.height);
  for (uint32_t y = 0; y < image.height; ++y)
    for (uint32_t x = 0; x < image.width; ++x) {
      const size_t at = size_t{y} * image.width + x;
      indices[at] = mapper.Map(&image.rgba[at * 4], x, y);
    }
  return indices;
}
