// Bitmap font files.
//
// Layout (integers little-endian):
//
//   0   4     "SFNT"
//   4   2     version: 1
//   6   2     line height in pixels (1-255)
//   8   2     baseline: pixels from the line top to the baseline
//   10  2     first character code
//   12  2     character count N (first + N <= 256)
//   14  2     0
//   16  12 N  glyphs, one per character code from the first:
//               0  4  file offset of the glyph's mask
//               4  1  mask width in pixels
//               5  1  mask height in pixels
//               6  1  left: signed, from the pen position to the mask
//               7  1  top: signed, from the line top to the mask
//               8  1  advance: pen movement after the glyph
//               9  3  0
//   masks: per glyph, height rows of (width + 7) / 8 bytes, the most
//          significant bit leftmost, 1 = ink
#include "gfx/font.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/byte_order.h"
#include "fs/file.h"
#include "fs/file_service.h"

namespace {

constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kGlyphSize = 12;

uint32_t MaskBytes(const SGlyph& glyph) { return (glyph.width + 7u) / 8 * glyph.height; }

}  // namespace

CFont::CFont(int line_height, int baseline, uint8_t first_char)
    : m_line_height(line_height), m_baseline(baseline), m_first(first_char) {}

std::unique_ptr<CFont> CFont::Read(CFile* file, ErrCode* error) {
  *error = err::kInvalidFormat;
  if (!file) return nullptr;
  const uint32_t size = file->GetSize();
  if (size < kHeaderSize) return nullptr;
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(size);
  } catch (const std::bad_alloc&) {
    *error = err::kAllocFail;
    return nullptr;
  }
  uint32_t count = 0;
  if (file->ReadAt(bytes.data(), 0, size, &count) || count != size) {
    *error = err::kReadFail;
    return nullptr;
  }
  const uint8_t* p = bytes.data();
  const uint32_t line_height = GetLe16(p + 6);
  const uint32_t first = GetLe16(p + 10);
  const uint32_t chars = GetLe16(p + 12);
  if (std::memcmp(p, "SFNT", 4) != 0 || GetLe16(p + 4) != 1 || line_height == 0 ||
      line_height > 255 || GetLe16(p + 8) > line_height || first + chars > 256 ||
      kHeaderSize + kGlyphSize * chars > size)
    return nullptr;
  auto font = std::make_unique<CFont>(line_height, GetLe16(p + 8), static_cast<uint8_t>(first));
  for (uint32_t i = 0; i < chars; ++i) {
    const uint8_t* g = p + kHeaderSize + kGlyphSize * i;
    const SGlyph glyph{g[4], g[5], static_cast<int8_t>(g[6]), static_cast<int8_t>(g[7]), g[8]};
    const uint32_t offset = GetLe32(g);
    if (offset > size || MaskBytes(glyph) > size - offset) return nullptr;
    if (font->AddGlyph(glyph, p + offset)) {
      *error = err::kAllocFail;
      return nullptr;
    }
  }
  *error = err::kOk;
  return font;
}

std::unique_ptr<CFont> CFont::Load(const char* path, ErrCode* error) {
  std::unique_ptr<CFile> file = FsOpen(path, kLoadMode, error);
  if (!file) {
    if (!*error) *error = err::kFileNotFound;
    return nullptr;
  }
  return Read(file.get(), error);
}

ErrCode CFont::Write(CFile* file) const {
  std::vector<uint8_t> out;
  try {
    out = {'S', 'F', 'N', 'T'};
    AppendLe16(&out, 1);
    AppendLe16(&out, m_line_height);
    AppendLe16(&out, m_baseline);
    AppendLe16(&out, m_first);
    AppendLe16(&out, static_cast<uint32_t>(m_glyphs.size()));
    AppendLe16(&out, 0);
    const uint32_t masks = kHeaderSize + kGlyphSize * static_cast<uint32_t>(m_glyphs.size());
    for (const SEntry& entry : m_glyphs) {
      const SGlyph& g = entry.glyph;
      AppendLe32(&out, masks + entry.mask_offset);
      out.insert(out.end(), {g.width, g.height, static_cast<uint8_t>(g.left),
                             static_cast<uint8_t>(g.top), g.advance, 0, 0, 0});
    }
    out.insert(out.end(), m_masks.begin(), m_masks.end());
  } catch (const std::bad_alloc&) {
    return err::kAllocFail;
  }
  uint32_t count = 0;
  const ErrCode error = file->Write(out.data(), static_cast<uint32_t>(out.size()), &count);
  return error ? error : count == out.size() ? err::kOk : err::kWriteFail;
}

ErrCode CFont::AddGlyph(const SGlyph& glyph, const uint8_t* mask) {
  if (m_first + m_glyphs.size() >= 256) return err::kBadParams;
  try {
    m_glyphs.push_back(SEntry{glyph, static_cast<uint32_t>(m_masks.size())});
    m_masks.insert(m_masks.end(), mask, mask + MaskBytes(glyph));
  } catch (const std::bad_alloc&) {
    return err::kAllocFail;
  }
  return err::kOk;
}

uint32_t CFont::ByteSize() const {
  return static_cast<uint32_t>(sizeof(CFont) + m_glyphs.size() * sizeof(SEntry) + m_masks.size());
}

const CFont::SEntry* CFont::Find(char c) const {
  const uint32_t code = static_cast<uint8_t>(c);
  if (code >= m_first && code - m_first < m_glyphs.size()) return &m_glyphs[code - m_first];
  return c == '?' ? nullptr : Find('?');
}

int CFont::Advance(char c) const {
  const SEntry* entry = Find(c);
  return entry ? entry->glyph.advance : 0;
}

int CFont::MeasureText(std::string_view text) const {
  int pen = 0;
  int extent = 0;
  for (char c : text) {
    const SEntry* entry = Find(c);
    if (!entry) continue;
    if (entry->glyph.width) extent = std::max(extent, pen + entry->glyph.left + entry->glyph.width);
    pen += entry->glyph.advance;
  }
  return std::max(pen, extent);
}

void CFont::DrawText(const SPixelView& target, int x, int y, std::string_view text,
                     uint8_t colour, const TRect& clip) const {
  const int left = std::max<int>(clip.left, 0);
  const int top = std::max<int>(clip.top, 0);
  const int right = std::min<int>(clip.right, target.width - 1);
  const int bottom = std::min<int>(clip.bottom, target.height - 1);
  int pen = x;
  for (char c : text) {
    const SEntry* entry = Find(c);
    if (!entry) continue;
    const SGlyph& g = entry->glyph;
    const uint8_t* mask = m_masks.data() + entry->mask_offset;
    const int row_bytes = (g.width + 7) / 8;
    const int gx = pen + g.left;
    const int gy = y + g.top;
    for (int r = std::max(0, top - gy); r < g.height && gy + r <= bottom; ++r) {
      uint8_t* out = target.Row(gy + r);
      const uint8_t* bits = mask + r * row_bytes;
      for (int col = std::max(0, left - gx); col < g.width && gx + col <= right; ++col)
        if (bits[col >> 3] & (0x80 >> (col & 7))) out[gx + col] = colour;
    }
    pen += g.advance;
  }
}

std::vector<std::string_view> CFont::BreakLines(std::string_view text, int width) const {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start <= text.size()) {
    // The longest prefix that fits, then back to its last space.
    size_t end = start;
    size_t last_space = std::string_view::npos;
    while (end < text.size() && text[end] != '\n' &&
           (end == start || MeasureText(text.substr(start, end + 1 - start)) <= width)) {
      if (text[end] == ' ') last_space = end;
      ++end;
    }
    size_t next = end;
    if (end < text.size() && text[end] != '\n' && last_space != std::string_view::npos &&
        last_space > start) {
      end = last_space;
      next = last_space;
    }
    std::string_view line = text.substr(start, end - start);
    while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
    lines.push_back(line);
    while (next < text.size() && text[next] == ' ') ++next;
    if (next < text.size() && text[next] == '\n') ++next;
    else if (next >= text.size()) break;
    start = next;
  }
  return lines;
}
