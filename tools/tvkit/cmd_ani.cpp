// tvkit ani: describes an RLM animation, exports the frame shown at a time,
// or builds an animation from 8-bit BMP frames or from a recipe of SVG
// layers.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "anim_recipe.h"

#include "commands.h"
#include "fs/replace.h"
#include "gfx/anim.h"
#include "gfx/anim_writer.h"
#include "gfx/bmp.h"
#include "png_import.h"
#include "source_path.h"
#include "stream_copy.h"
#include "svg.h"

namespace {

int Usage() {
  std::fputs(
      "usage: tvkit ani info <file.ani>\n"
      "       tvkit ani frame <file.ani> <ms> <out.bmp>\n"
      "       tvkit ani build <out.ani> <fps> <frame1.bmp> <frame2.bmp> ...\n"
      "       tvkit ani compose --palette <file.gpl> --root <src dir> [--renders <dir>]\n"
      "                         <out.ani> <recipe.ini>\n",
      stderr);
  return ReportError(err::kBadParams);
}

// A key frame every two seconds.
uint32_t ChunkFrames(uint32_t fps) { return std::max<uint32_t>(2 * fps, 1); }

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
  reader.UseFileRate();
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
  format.frames_per_chunk = ChunkFrames(fps);
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

// Deletes a scratch file when the scope ends.
class CScratchFile {
 public:
  explicit CScratchFile(std::string path) : m_path(std::move(path)) {}
  ~CScratchFile() {
    std::error_code ignored;
    std::filesystem::remove(m_path, ignored);
  }
  CScratchFile(const CScratchFile&) = delete;
  CScratchFile& operator=(const CScratchFile&) = delete;
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

// The layer's SVG rendered (kept in `renders` when that is not empty) and
// mapped to the palette; false with `message`.
bool LayerPicture(const std::string& root, const SAnimLayer& layer, const CPalette& palette,
                  const std::string& renders, const std::string& scratch,
                  SIndexedPicture* picture, std::string* message) {
  std::string svg_path, bytes, href;
  if (!SourcePathInside(root, layer.svg, &svg_path)) {
    *message = "svg " + layer.svg + " is not a file inside the source folder";
    return false;
  }
  if (ReadWholeFile(svg_path.c_str(), &bytes)) {
    *message = "cannot read " + layer.svg;
    return false;
  }
  if (FindExternalHref(bytes, &href) != std::string::npos) {
    *message = layer.svg + " refers outside itself: " + href;
    return false;
  }
  const CScratchFile scratch_png(renders.empty() ? scratch : "");
  const std::string png = renders.empty() ? scratch : RenderPath(renders, bytes);
  const bool rendered = renders.empty() ? RenderSvg(svg_path, png, message)
                                        : RenderSvgOnce(svg_path, png, message);
  if (!rendered) return false;
  SRgbaImage image;
  ErrCode error = ReadWholeFile(png.c_str(), &bytes);
  if (!error) error = DecodePng({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, &image);
  if (error) {
    *message = layer.svg + ": " + ErrName(error);
    return false;
  }
  picture->width = static_cast<int>(image.width);
  picture->height = static_cast<int>(image.height);
  picture->pixels = MapToPalette(image, palette, kAnimKeyIndex, EDither::kOrdered);
  return true;
}

int ReportAt(const std::string& file, const SRecipeError& error) {
  std::fprintf(stderr, "%s\n", LocatedError(file, error.at, error.text).c_str());
  return 1;
}

// The recipe's name relative to the source folder when it lies inside.
std::string RecipeName(const char* root, const char* recipe) {
  std::error_code error_code;
  const std::filesystem::path relative = std::filesystem::relative(recipe, root, error_code);
  return error_code || relative.empty() || *relative.begin() == ".." ? recipe : relative.generic_string();
}

int Compose(int argc, char** argv) {
  const char* palette_path = TakeOption(&argc, argv, "--palette");
  const char* root = TakeOption(&argc, argv, "--root");
  const char* renders = TakeOption(&argc, argv, "--renders");
  if (!palette_path || !root || argc != 4) return Usage();
  const char* out = argv[2];
  auto palette = std::make_unique<CPalette>();
  std::string text;
  ErrCode error = LoadGpl(palette_path, palette.get());
  if (!error) error = ReadWholeFile(argv[3], &text);
  if (error) return ReportError(error);
  const std::string name = RecipeName(root, argv[3]);
  SAnimRecipe recipe;
  SRecipeError recipe_error;
  if (!ParseAnimRecipe(text, &recipe, &recipe_error)) return ReportAt(name, recipe_error);
  std::vector<SIndexedPicture> pictures(recipe.layers.size());
  for (size_t i = 0; i < recipe.layers.size(); ++i) {
    const SAnimLayer& layer = recipe.layers[i];
    std::string message;
    if (!LayerPicture(root, layer, *palette, renders ? renders : "",
                      std::string(out) + ".layer.png", &pictures[i], &message))
      return ReportAt(name, {FindIniValue(text, layer.section, "svg"), message});
    if (pictures[i].width % layer.columns != 0)
      return ReportAt(name, {FindIniValue(text, layer.section, "columns"),
                             "the picture's width " + std::to_string(pictures[i].width) +
                                 " is no multiple of columns"});
  }
  const std::vector<std::vector<uint8_t>> frames = ComposeAnimation(recipe, pictures);
  SAnimFormat format;
  format.width = static_cast<uint16_t>(recipe.width);
  format.height = static_cast<uint16_t>(recipe.height);
  format.frames_per_second = static_cast<uint32_t>(recipe.fps);
  format.frames_per_chunk = ChunkFrames(format.frames_per_second);
  error = WriteReplacing(out, kOpenRead, [&](CFile& file) {
    return WriteAnimation(&file, format, *palette, frames);
  });
  return error ? ReportError(error) : 0;
}

}  // namespace

int RunAni(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "info") == 0) return Info(argv[2]);
  if (argc == 5 && std::strcmp(argv[1], "frame") == 0) return Frame(argv[2], argv[3], argv[4]);
  if (argc >= 5 && std::strcmp(argv[1], "build") == 0) return Build(argc, argv);
  if (argc >= 4 && std::strcmp(argv[1], "compose") == 0) return Compose(argc, argv);
  return Usage();
}
