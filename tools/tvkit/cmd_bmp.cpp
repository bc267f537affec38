// tvkit bmp: describes a BMP file, rewrites it plain or compressed, or makes
// one from an XPM or PNG picture in the colours of a GIMP palette.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "fs/file_service.h"
#include "fs/replace.h"
#include "gfx/bmp.h"
#include "gfx/gpl.h"
#include "gfx/xpm.h"
#include "png_import.h"
#include "stream_copy.h"

namespace {

int Usage() {
  std::fputs(
      "usage: tvkit bmp info <file>\n"
      "       tvkit bmp convert <in.bmp> <out.bmp> [--lzss <param>] [--top-down]\n"
      "       tvkit bmp from-xpm <out.bmp> <in.xpm> --palette <file.gpl> [--key <index>]\n"
      "       tvkit bmp from-png --palette <file.gpl> [--key <index>] [--dither ordered|none]\n"
      "                          [--lzss <param>] <out.bmp> <in.png>\n",
      stderr);
  return ReportError(err::kBadParams);
}

int Info(const char* path) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> file = FsOpen(path, kBmpLoadMode, &error);
  if (!file) return ReportError(error);
  SBmpHeader header;
  if ((error = ReadBmpHeader(file.get(), &header))) return ReportError(error);
  std::printf("%dx%d %ubpp %s palette=%u compression=%s\n", header.width,
              std::abs(header.height), header.bits,
              header.height < 0 ? "top-down" : "bottom-up", header.colour_entries,
              header.compression == kBmpLzss ? "LZSS" : "none");
  return 0;
}

int Convert(int argc, char** argv) {
  bool compress = false;
  unsigned long param = 0;
  int order = kBottomUp;
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], "--top-down") == 0) {
      order = kTopDown;
    } else if (std::strcmp(argv[i], "--lzss") == 0 && i + 1 < argc) {
      char* end = nullptr;
      param = std::strtoul(argv[++i], &end, 0);
      if (*end || param > 0xFF) return Usage();
      compress = true;
    } else {
      return Usage();
    }
  }
  SetBmpDecodeAtLoad(true);
  ErrCode error = err::kOk;
  std::unique_ptr<CBitmap> bitmap = LoadBmp(argv[2], &error, false);
  if (!bitmap) return ReportError(error);
  error = WriteReplacing(argv[3], kOpenRead, [&](CFile& out) {
    return compress ? WriteBmpLzss(&out, *bitmap, order, static_cast<uint8_t>(param))
                    : WriteBmp(&out, *bitmap, order);
  });
  return error ? ReportError(error) : 0;
}

// The lowest index whose entry has the colour, or -1.
int ExactIndex(const CPalette& palette, const SXpmColour& colour) {
  for (uint32_t i = 0; i < palette.Count(); ++i) {
    const SPalEntry& entry = palette.Entries()[i];
    if (entry.red == colour.red && entry.green == colour.green && entry.blue == colour.blue)
      return static_cast<int>(i);
  }
  return -1;
}

bool ParseByte(const char* text, int base, unsigned long* value) {
  char* end = nullptr;
  *value = std::strtoul(text, &end, base);
  return end != text && !*end && *value <= 0xFF;
}

// Writes the indices, top row first, as an 8-bit bitmap holding the whole
// palette; compressed when `lzss` is given.
ErrCode WriteIndexed(const char* path, uint32_t width, uint32_t height,
                     std::unique_ptr<CPalette> palette, const std::vector<uint8_t>& indices,
                     const char* lzss) {
  unsigned long param = 0;
  if (lzss && !ParseByte(lzss, 0, &param)) return err::kInvalidValue;
  CBitmap bitmap;
  ErrCode error = bitmap.Create(static_cast<uint16_t>(width), static_cast<uint16_t>(height),
                                kPixel8, std::move(palette), kBottomUp, 0);
  if (error) return error;
  {
    CBitmapLock lock(bitmap);
    if (!lock) return err::kLockFail;
    for (uint32_t y = 0; y < height; ++y)
      std::memcpy(lock.View().Row(static_cast<int>(y)), &indices[size_t{y} * width], width);
  }
  return WriteReplacing(path, kOpenRead, [&](CFile& out) {
    return lzss ? WriteBmpLzss(&out, bitmap, 0, static_cast<uint8_t>(param)) : WriteBmp(&out, bitmap, 0);
  });
}

// None pixels take the key index.
int FromXpm(int argc, char** argv) {
  const char* palette_path = nullptr;
  unsigned long key = 0;
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], "--palette") == 0 && i + 1 < argc) {
      palette_path = argv[++i];
    } else if (std::strcmp(argv[i], "--key") == 0 && i + 1 < argc) {
      if (!ParseByte(argv[++i], 10, &key)) return ReportError(err::kInvalidValue);
    } else {
      return Usage();
    }
  }
  if (!palette_path) return Usage();
  auto palette = std::make_unique<CPalette>();
  SXpmImage image;
  std::string text;
  ErrCode error = LoadGpl(palette_path, palette.get());
  if (!error) error = ReadWholeFile(argv[3], &text);
  if (!error) error = ParseXpm(text, &image);
  if (error) return ReportError(error);
  if (key >= palette->Count()) return ReportError(err::kInvalidValue);
  std::vector<uint8_t> index_of(image.colours.size(), static_cast<uint8_t>(key));
  for (size_t c = 0; c < image.colours.size(); ++c) {
    if (image.colours[c].none) continue;
    const int index = ExactIndex(*palette, image.colours[c]);
    if (index < 0) return ReportError(err::kInvalidValue);
    index_of[c] = static_cast<uint8_t>(index);
  }
  std::vector<uint8_t> indices(image.pixels.size());
  for (size_t i = 0; i < indices.size(); ++i) indices[i] = index_of[image.pixels[i]];
  error = WriteIndexed(argv[2], image.width, image.height, std::move(palette), indices, nullptr);
  return error ? ReportError(error) : 0;
}

const struct {
  const char* name;
  EDither dither;
} kDithers[] = {{"ordered", EDither::kOrdered}, {"none", EDither::kNone}};

// Transparent pixels (alpha below 128) take the key index when one is given.
int FromPng(int argc, char** argv) {
  const char* palette_path = TakeOption(&argc, argv, "--palette");
  const char* key_text = TakeOption(&argc, argv, "--key");
  const char* dither_text = TakeOption(&argc, argv, "--dither");
  const char* lzss = TakeOption(&argc, argv, "--lzss");
  if (!palette_path || argc != 4) return Usage();
  unsigned long key = 0;
  if (key_text && !ParseByte(key_text, 10, &key)) return ReportError(err::kInvalidValue);
  EDither dither = EDither::kOrdered;
  if (dither_text) {
    const auto* found = std::find_if(std::begin(kDithers), std::end(kDithers),
                                     [&](const auto& d) { return std::strcmp(d.name, dither_text) == 0; });
    if (found == std::end(kDithers)) return ReportError(err::kInvalidValue);
    dither = found->dither;
  }
  auto palette = std::make_unique<CPalette>();
  std::string bytes;
  SRgbaImage image;
  ErrCode error = LoadGpl(palette_path, palette.get());
  // Opaque pixels need an entry other than the key.
  const uint32_t needed = key_text ? std::max<uint32_t>(static_cast<uint32_t>(key) + 1, 2) : 1;
  if (!error && palette->Count() < needed) error = err::kInvalidValue;
  if (!error) error = ReadWholeFile(argv[3], &bytes);
  if (!error)
    error = DecodePng({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, &image);
  if (error) return ReportError(error);
  const std::vector<uint8_t> indices =
      MapToPalette(image, *palette, key_text ? static_cast<int>(key) : -1, dither);
  error = WriteIndexed(argv[2], image.width, image.height, std::move(palette), indices, lzss);
  return error ? ReportError(error) : 0;
}

}  // namespace

int RunBmp(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "info") == 0) return Info(argv[2]);
  if (argc >= 4 && std::strcmp(argv[1], "convert") == 0) return Convert(argc, argv);
  if (argc >= 4 && std::strcmp(argv[1], "from-xpm") == 0) return FromXpm(argc, argv);
  if (argc >= 4 && std::strcmp(argv[1], "from-png") == 0) return FromPng(argc, argv);
  return Usage();
}
