#include "gfx/font.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fs/memory_file.h"

namespace {

// 'A': a 3 x 2 mask one row below the line top ("X.X" over "XXX"), advance
// 4; 'B': no ink, advance 2. Line height 4, baseline 3.
CFont TwoGlyphs() {
  CFont font(4, 3, 'A');
  const uint8_t a[] = {0xA0, 0xE0};
  EXPECT_EQ(font.AddGlyph(SGlyph{3, 2, 0, 1, 4}, a), err::kOk);
  EXPECT_EQ(font.AddGlyph(SGlyph{0, 0, 0, 0, 2}, nullptr), err::kOk);
  return font;
}

std::vector<uint8_t> Written(const CFont& font) {
  CMemoryFile file;
  EXPECT_EQ(font.Write(&file), err::kOk);
  return {file.Data().begin(), file.Data().end()};
}

TEST(Font, FileLayoutByteForByte) {
  const std::vector<uint8_t> b = Written(TwoGlyphs());
  ASSERT_EQ(b.size(), 16u + 2 * 12 + 2);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "SFNT");
  const uint8_t header[] = {'S', 'F', 'N', 'T', 1, 0, 4, 0, 3, 0, 'A', 0, 2, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 16), std::vector<uint8_t>(header, header + 16));
  const uint8_t glyphs[] = {40, 0, 0, 0, 3, 2, 0, 1, 4, 0, 0, 0,
                            42, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 16, b.begin() + 40),
            std::vector<uint8_t>(glyphs, glyphs + 24));
  EXPECT_EQ(b[40], 0xA0);
  EXPECT_EQ(b[41], 0xE0);

  CMemoryFile file(b);
  ErrCode error;
  const auto back = CFont::Read(&file, &error);
  ASSERT_NE(back, nullptr) << ErrName(error);
  EXPECT_EQ(Written(*back), b);
  EXPECT_EQ(back->LineHeight(), 4);
  EXPECT_EQ(back->Baseline(), 3);
}

TEST(Font, DamagedFilesAreRefused) {
  const std::vector<uint8_t> good = Written(TwoGlyphs());
  struct Case {
    const char* what;
    size_t at;
    uint8_t value;
  };
  const Case cases[] = {
      {"magic", 0, 'X'},
      {"version", 4, 2},
      {"line height 0", 6, 0},
      {"baseline below the line", 8, 5},
      {"range past 255", 10, 255},
      {"more glyphs than the table holds", 12, 9},
      {"mask outside the file", 16, 41},
      {"mask offset far outside", 19, 0x80},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> b = good;
    b[c.at] = c.value;
    CMemoryFile file(b);
    ErrCode error;
    EXPECT_EQ(CFont::Read(&file, &error), nullptr) << c.what;
    EXPECT_EQ(error, err::kInvalidFormat) << c.what;
  }
  CMemoryFile empty;
  ErrCode error;
  EXPECT_EQ(CFont::Read(&empty, &error), nullptr);
}

TEST(Font, DrawsInOneColourClippedAndMeasuresWhatItDraws) {
  const CFont font = TwoGlyphs();
  std::vector<uint8_t> pixels(12 * 4, 0);
  const SPixelView view{pixels.data(), 12, 12, 4};
  // ' ' is missing and so is '?': skipped.
  EXPECT_EQ(font.MeasureText("AB A"), 10);
  font.DrawText(view, 1, 0, "AB A", 7, TRect{0, 0, 11, 3});
  const std::string expected =
      "............"
      ".X.X...X.X.."
      ".XXX...XXX.."
      "............";
  std::string drawn;
  for (uint8_t p : pixels) drawn += p == 7 ? 'X' : p == 0 ? '.' : '?';
  EXPECT_EQ(drawn, expected);

  std::fill(pixels.begin(), pixels.end(), 0);
  font.DrawText(view, -1, -1, "AA", 7, TRect{0, 0, 4, 0});
  drawn.clear();
  for (uint8_t p : pixels) drawn += p == 7 ? 'X' : '.';
  // Row 0 holds the masks' first rows: columns 1 and 3 (-1 and 5 fall
  // outside the clip).
  EXPECT_EQ(drawn.substr(0, 12), ".X.X........");
  EXPECT_EQ(drawn.find('X', 12), std::string::npos);
}

// Codes 32-126 without ink: the space advances 1, everything else 2.
CFont Spacing() {
  CFont font(10, 8, ' ');
  for (int c = ' '; c < 127; ++c) font.AddGlyph(SGlyph{0, 0, 0, 0, c == ' ' ? uint8_t{1} : uint8_t{2}}, nullptr);
  return font;
}

// No glyph has mask bytes, so there are none at all: nothing is drawn.
TEST(Font, AFontWithoutInkDrawsNothing) {
  std::vector<uint8_t> pixels(16, 0);
  Spacing().DrawText(SPixelView{pixels.data(), 4, 4, 4}, 0, 0, "a b", 7, TRect{0, 0, 3, 3});
  EXPECT_EQ(pixels, std::vector<uint8_t>(16, 0));
}

TEST(Font, BreaksLinesAtSpacesNewlinesAndInsideLongWords) {
  const CFont font = Spacing();
  using Lines = std::vector<std::string_view>;
  struct Case {
    const char* text;
    int width;
    Lines lines;
  };
  const Case cases[] = {
      {"ab cd", 9, {"ab cd"}},
      {"ab cd", 8, {"ab", "cd"}},
      {"ab cd", 5, {"ab", "cd"}},
      {"ab   cd", 5, {"ab", "cd"}},
      {"ab cd", 3, {"a", "b", "c", "d"}},
      {"ab\ncd", 100, {"ab", "cd"}},
      {"ab cd ef", 11, {"ab cd", "ef"}},
      {"", 10, {""}},
  };
  for (const Case& c : cases) EXPECT_EQ(font.BreakLines(c.text, c.width), c.lines) << c.text << " / " << c.width;
}

}  // namespace
