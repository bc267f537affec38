// Bitmap fonts and text drawing (the file layout is described in font.cpp).
//
// A font holds one 1-bit glyph mask per character of a contiguous range of
// 8-bit character codes, with proportional advances, a line height and a
// baseline. Text is drawn in one palette index; unset mask bits leave the
// target alone. Characters the font lacks are drawn as its '?', or skipped
// when it has none.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "base/object.h"
#include "gfx/bitmap.h"
#include "base/geometry.h"

class CFile;

struct SGlyph {
  uint8_t width = 0;   // mask columns
  uint8_t height = 0;  // mask rows
  int8_t left = 0;     // from the pen position to the first mask column
  int8_t top = 0;      // from the line top to the first mask row
  uint8_t advance = 0;
};

class CFont : public CObject {
  TV_CLASS(CFont, CObject)

 public:
  static constexpr uint16_t kLoadMode = 0xC1;

  CFont(int line_height, int baseline, uint8_t first_char);

  // INVALIDFORMAT for anything but a whole, consistent font file.
  static std::unique_ptr<CFont> Read(CFile* file, ErrCode* error);
  static std::unique_ptr<CFont> Load(const char* path, ErrCode* error);
  ErrCode Write(CFile* file) const;

  // Appends the glyph of the next character code; `mask` holds height rows
  // of (width + 7) / 8 bytes, most significant bit leftmost.
  ErrCode AddGlyph(const SGlyph& glyph, const uint8_t* mask);

  int LineHeight() const { return m_line_height; }
  int Baseline() const { return m_baseline; }
  uint8_t FirstChar() const { return m_first; }
  int CharCount() const { return static_cast<int>(m_glyphs.size()); }
  // The bytes the font occupies in memory.
  uint32_t ByteSize() const;

  int Advance(char c) const;
  // From the first pen position to the end of the last advance or ink,
  // whichever lies further right.
  int MeasureText(std::string_view text) const;
  // (x, y) is the left end of the line's top edge.
  void DrawText(const SPixelView& target, int x, int y, std::string_view text, uint8_t colour,
                const TRect& clip) const;
  // Lines of at most `width` pixels, broken after spaces where possible
  // (the spaces at a break are dropped) and at every '\n'; a word wider than
  // the width is broken between characters.
  std::vector<std::string_view> BreakLines(std::string_view text, int width) const;

 private:
  struct SEntry {
    SGlyph glyph;
    uint32_t mask_offset;  // into m_masks
  };
  const SEntry* Find(char c) const;

  int m_line_height;
  int m_baseline;
  uint8_t m_first;
  std::vector<SEntry> m_glyphs;
  std::vector<uint8_t> m_masks;
};
