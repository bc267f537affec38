// tvkit font: rasterises a TrueType font into the engine's bitmap font
// files, and draws a line of text with one.
//
// Glyphs are rendered monochrome through FreeType's hinter (its mono
// target), so they stay crisp in a single palette colour.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "commands.h"
#include "fs/replace.h"
#include "gfx/bmp.h"
#include "gfx/font.h"

namespace {

// The Latin-1 range from the space on.
constexpr uint32_t kFirstChar = 32;
constexpr uint32_t kLastChar = 255;

int Usage() {
  std::fputs(
      "usage: tvkit font build <font.ttf> <pixel height> <out.fnt>\n"
      "       tvkit font render <font.fnt> <text> <out.bmp>\n",
      stderr);
  return ReportError(err::kBadParams);
}

struct SFreeType {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ~SFreeType() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
};

int8_t Clamp8(long v) { return static_cast<int8_t>(std::clamp<long>(v, -128, 127)); }

int Build(const char* ttf, const char* height_text, const char* out) {
  char* end = nullptr;
  const long pixels = std::strtol(height_text, &end, 10);
  if (*end || pixels < 4 || pixels > 128) return Usage();
  SFreeType ft;
  if (FT_Init_FreeType(&ft.library) || FT_New_Face(ft.library, ttf, 0, &ft.face))
    return ReportError(err::kFileNotFound);
  if (FT_Set_Pixel_Sizes(ft.face, 0, static_cast<FT_UInt>(pixels)))
    return ReportError(err::kInvalidFormat);
  const FT_Size_Metrics& metrics = ft.face->size->metrics;
  const long ascender = (metrics.ascender + 63) >> 6;
  const long line_height = std::clamp<long>((metrics.height + 63) >> 6, 1, 255);
  CFont font(static_cast<int>(line_height), static_cast<int>(std::min(ascender, line_height)),
             kFirstChar);
  std::vector<uint8_t> mask;
  for (uint32_t code = kFirstChar; code <= kLastChar; ++code) {
    SGlyph glyph;
    mask.clear();
    const FT_UInt index = FT_Get_Char_Index(ft.face, code);
    if (index && !FT_Load_Glyph(ft.face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO)) {
      const FT_GlyphSlot slot = ft.face->glyph;
      const FT_Bitmap& bitmap = slot->bitmap;
      glyph.advance = static_cast<uint8_t>(std::clamp<long>((slot->advance.x + 32) >> 6, 0, 255));
      if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO && bitmap.width <= 255 && bitmap.rows <= 255) {
        glyph.width = static_cast<uint8_t>(bitmap.width);
        glyph.height = static_cast<uint8_t>(bitmap.rows);
        glyph.left = Clamp8(slot->bitmap_left);
        glyph.top = Clamp8(ascender - slot->bitmap_top);
        const int row_bytes = (glyph.width + 7) / 8;
        for (unsigned r = 0; r < bitmap.rows; ++r) {
          const unsigned char* row = bitmap.buffer + static_cast<long>(r) * bitmap.pitch;
          mask.insert(mask.end(), row, row + row_bytes);
        }
      }
    }
    if (ErrCode error = font.AddGlyph(glyph, mask.data())) return ReportError(error);
  }
  const ErrCode error =
      WriteReplacing(out, kOpenRead, [&](CFile& file) { return font.Write(&file); });
  return error ? ReportError(error) : 0;
}

int Render(const char* path, const char* text, const char* out) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFont> font = CFont::Load(path, &error);
  if (!font) return ReportError(error);
  const int width = std::max(1, font->MeasureText(text));
  auto palette = std::make_unique<CPalette>();
  palette->SetCount(2);
  palette->SetEntry(0, SPalEntry{255, 255, 255, 0});
  CBitmap bitmap;
  if ((error = bitmap.Create(static_cast<uint16_t>(std::min(width, 0x7FFC)),
                             static_cast<uint16_t>(font->LineHeight()), kPixel8,
                             std::move(palette), kTopDown, 0)))
    return ReportError(error);
  {
    CBitmapLock lock(bitmap);
    if (!lock) return ReportError(err::kLockFail);
    for (int y = 0; y < bitmap.Height(); ++y) std::memset(lock.View().Row(y), 0, bitmap.Width());
    font->DrawText(lock.View(), 0, 0, text, 1, bitmap.GetBounds());
  }
  if ((error = WriteReplacing(out, kOpenRead,
                              [&](CFile& file) { return WriteBmp(&file, bitmap, kBottomUp); })))
    return ReportError(error);
  return 0;
}

}  // namespace

int RunFont(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "build") == 0) return Build(argv[2], argv[3], argv[4]);
  if (argc == 5 && std::strcmp(argv[1], "render") == 0) return Render(argv[2], argv[3], argv[4]);
  return Usage();
}
