// tvkit bmp: describes a BMP file, rewrites it plain or compressed, or makes
// one from an XPM picture in the colours of a GIMP palette.
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

namespace {

int Usage() {
  std::fputs(
      "usage: tvkit bmp info <file>\n"
      "       tvkit bmp convert <in.bmp> <out.bmp> [--lzss <param>] [--top-down]\n"
      "       tvkit bmp from-xpm <out.bmp> <in.xpm> --palette <file.gpl> [--key <index>]\n",
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

// The whole file as text.
ErrCode ReadSource(const char* path, std::string* text) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> file = FsOpen(path, kOpenRead | kOpenShareRead, &error);
  if (!file) return error;
  text->assign(file->GetSize(), '\0');
  return file->ReadAt(text->data(), 0, static_cast<uint32_t>(text->size()), nullptr);
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

// An 8-bit bitmap holding the whole palette; None pixels take the key index.
int FromXpm(int argc, char** argv) {
  const char* palette_path = nullptr;
  unsigned long key = 0;
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], "--palette") == 0 && i + 1 < argc) {
      palette_path = argv[++i];
    } else if (std::strcmp(argv[i], "--key") == 0 && i + 1 < argc) {
      char* end = nullptr;
      key = std::strtoul(argv[++i], &end, 10);
      if (end == argv[i] || *end || key > 0xFF) return ReportError(err::kInvalidValue);
    } else {
      return Usage();
    }
  }
  if (!palette_path) return Usage();
  auto palette = std::make_unique<CPalette>();
  SXpmImage image;
  std::string text;
  ErrCode error = ReadSource(palette_path, &text);
  if (!error) error = ParseGpl(text, palette.get());
  if (!error) error = ReadSource(argv[3], &text);
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
  CBitmap bitmap;
  error = bitmap.Create(static_cast<uint16_t>(image.width), static_cast<uint16_t>(image.height),
                        kPixel8, std::move(palette), kBottomUp, 0);
  if (error) return ReportError(error);
  {
    CBitmapLock lock(bitmap);
    if (!lock) return ReportError(err::kLockFail);
    for (int y = 0; y < image.height; ++y)
      for (int x = 0; x < image.width; ++x)
        lock.View().Row(y)[x] = index_of[image.pixels[static_cast<size_t>(y) * image.width + x]];
  }
  error = WriteReplacing(argv[2], kOpenRead, [&](CFile& out) { return WriteBmp(&out, bitmap, 0); });
  return error ? ReportError(error) : 0;
}

}  // namespace

int RunBmp(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "info") == 0) return Info(argv[2]);
  if (argc >= 4 && std::strcmp(argv[1], "convert") == 0) return Convert(argc, argv);
  if (argc >= 4 && std::strcmp(argv[1], "from-xpm") == 0) return FromXpm(argc, argv);
  return Usage();
}
