// tvkit ani: describes an RLM animation, exports the frame shown at a time,
// or builds an animation from 8-bit BMP frames.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "commands.h"
#include "fs/replace.h"
#include "gfx/anim.h"
#include "gfx/anim_writer.h"
#include "gfx/bmp.h"

namespace {

int Usage() {
  std::fputs(
      "usage: tvkit ani info <file.ani>\n"
      "       tvkit ani frame <file.ani> <ms> <out.bmp>\n"
      "       tvkit ani build <out.ani> <fps> <frame1.bmp> <frame2.bmp> ...\n",
      stderr);
  return ReportError(err::kBadParams);
}

bool ParseNumber(const char* text, uint32_t* value) {
  char* end = nullptr;
  const unsigned long parsed = std::strtoul(text, &end, 10);
  if (!*text || *end || parsed > UINT32_MAX) return false;
  *value = static_cast<uint32_t>(parsed);
  return true;
}

int Info(const char* path) {
  CAnimReader reader;
  if (ErrCode error = reader.Open(path)) return ReportError(error);
  uint32_t chunks = 0;
  if (ErrCode error = reader.CountChunks(&chunks)) return ReportError(error);
  std::printf("%ux%u frames=%u chunks=%u\n", reader.Width(), reader.Height(),
              reader.FrameCount(), chunks);
  return 0;
}

int Frame(const char* path, const char* time_text, const char* out) {
  uint32_t time = 0;
  if (!ParseNumber(time_text, &time)) return Usage();
  CAnimReader reader;
  if (ErrCode error = reader.Open(path)) return ReportError(error);
  const SAnimRate rate = AnimFileRate(reader);
  reader.SetRate(rate.numerator, rate.denominator);
  // Updates at the same time until the reader has caught up with it.
  do {
    if (!reader.ShowTime(time)) return ReportError(reader.LastError());
  } while (reader.FrameChanged());
  if (!reader.GetFrameBitmap()) return ReportError(err::kNotFound);
  CBitmap frame(*reader.GetFrameBitmap());
  frame.SetPalette(std::make_unique<CPalette>(*reader.GetPalette()));
  if (ErrCode error = WriteReplacing(out, kOpenRead, [&](CFile& file) {
        return WriteBmp(&file, frame, kBottomUp);
      }))
    return ReportError(error);
  return 0;
}

int Build(int argc, char** argv) {
  uint32_t fps = 0;
  if (!ParseNumber(argv[3], &fps) || fps == 0) return Usage();
  SetBmpDecodeAtLoad(true);
  std::vector<std::vector<uint8_t>> frames;
  std::unique_ptr<CPalette> palette;
  SAnimFormat format;
  format.frames_per_second = fps;
  format.frames_per_chunk = std::max<uint32_t>(2 * fps, 1);  // a key frame every two seconds
  for (int i = 4; i < argc; ++i) {
    ErrCode error = err::kOk;
    std::unique_ptr<CBitmap> bitmap = LoadBmp(argv[i], &error, false);
    if (!bitmap) return ReportError(error);
    if (bitmap->Type() != kPixel8) return ReportError(err::kBmpBadType);
    if (frames.empty()) {
      format.width = bitmap->Width();
      format.height = bitmap->Height();
      palette = bitmap->Palette() ? std::make_unique<CPalette>(*bitmap->Palette())
                                  : std::make_unique<CPalette>();
    } else if (bitmap->Width() != format.width || bitmap->Height() != format.height) {
      return ReportError(err::kBadParams);
    }
    CBitmapLock lock(*bitmap);
    if (!lock) return ReportError(err::kLockFail);
    std::vector<uint8_t> pixels(static_cast<size_t>(format.width) * format.height);
    for (int y = 0; y < format.height; ++y)
      std::memcpy(&pixels[static_cast<size_t>(y) * format.width], lock.View().Row(y), format.width);
    frames.push_back(std::move(pixels));
  }
  const ErrCode error = WriteReplacing(argv[2], kOpenRead, [&](CFile& file) {
    return WriteAnimation(&file, format, *palette, frames);
  });
  return error ? ReportError(error) : 0;
}

}  // namespace

int RunAni(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "info") == 0) return Info(argv[2]);
  if (argc == 5 && std::strcmp(argv[1], "frame") == 0) return Frame(argv[2], argv[3], argv[4]);
  if (argc >= 5 && std::strcmp(argv[1], "build") == 0) return Build(argc, argv);
  return Usage();
}
