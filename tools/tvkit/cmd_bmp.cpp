// tvkit bmp: describes a BMP file, or rewrites it plain or compressed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "commands.h"
#include "fs/file_service.h"
#include "fs/replace.h"
#include "gfx/bmp.h"

namespace {

int Usage() {
  std::fputs(
      "usage: tvkit bmp info <file>\n"
      "       tvkit bmp convert <in.bmp> <out.bmp> [--lzss <param>] [--top-down]\n",
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

}  // namespace

int RunBmp(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "info") == 0) return Info(argv[2]);
  if (argc >= 4 && std::strcmp(argv[1], "convert") == 0) return Convert(argc, argv);
  return Usage();
}
