// Texts in a font of 2 x 3 blocks, 3 pixels apart, lines 4 pixels high, on
// a 10 x 8 surface: "AB CD\nE" breaks into "AB", "CD" and "E", and "E"
// falls below the surface.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "fs/file_service.h"
#include "fs/mount_config.h"
#include "gfx/font.h"
#include "kind_files.h"
#include "world/object_rig.h"
#include "world/text.h"

namespace {

// The surface's pixels as hexadecimal digits, a row each.
std::vector<std::string> Rows(const CBitmap& picture) {
  std::vector<std::string> rows;
  for (int y = 0; y < picture.Height(); ++y) {
    std::string row;
    for (int x = 0; x < picture.Width(); ++x) row += "0123456789ABCDEF"[picture.GetPixel(x, y) & 15];
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> Grid(const char* first, const char* second) {
  return {first, first, first, "0000000000", second, second, second, "0000000000"};
}

const char kText[] = "Active=long:1\nVisible=long:1\nPos=rect:10, 20, 19, 27\n"
                     "FontName=str:{dir}/blocks.fnt\nColor=long:5\nHLColor=long:9\n";

TEST(TextTest, LinesBreakAndLettersLightUpInTheirColourWhileLetterHLIsOn) {
  const auto plain = Grid("5505500000", "5505500000");
  const std::pair<std::function<void(CText&)>, std::vector<std::string>> kSteps[] = {
      {[](CText& t) { t.TextOut("AB CD\nE"); }, plain},
      // "B", the space and "C".
      {[](CText& t) { t.SetTextHLChar(1, 3); }, Grid("5509900000", "9905500000")},
      {[](CText& t) { t.SetTextHLChar(1, 0); }, plain},
      // "D" and on, past the end.
      {[](CText& t) { t.SetTextHLChar(4, 10); }, Grid("5505500000", "5509900000")},
      {[](CText& t) { t.TextOut("AB CD\nE"); }, plain},
  };
  for (const bool lit : {true, false}) {
    CObjectRig rig;
    WriteBlockFont(rig.Dir().Join("blocks.fnt"));
    rig.Enter(CObjectRig::Section("X", "Text") + kText + "LetterHL=long:" + (lit ? "1" : "0") +
              "\n");
    CText* text = rig.Object<CText>("X");
    ASSERT_NE(text, nullptr);
    for (const auto& [step, rows] : kSteps) {
      step(*text);
      EXPECT_EQ(Rows(*text->Picture()), lit ? rows : plain);
    }
  }
}

// Without a usable "FontName" a text takes the default font, with a line;
// without that either it is not made.
TEST(TextTest, TheDefaultFontStandsInForAMissingOne) {
  const std::string objects =
      CObjectRig::Section("A", "Text") + "Pos=rect:0, 0, 9, 7\n" +
      CObjectRig::Section("B", "Text") + "Pos=rect:0, 0, 9, 7\nFontName=str:{dir}/none.fnt\n";
  for (const bool shipped : {true, false}) {
    CObjectRig rig;
    const std::string folder = rig.Dir().Join("gi");
    std::filesystem::create_directories(folder + "/Shared");
    if (shipped) WriteBlockFont(folder + "/Shared/andika20.fnt");
    const ConfigEntries mount = {{"/Game Interface/", "Trans, " + folder + "/"}};
    MountFromConfig(mount);
    rig.Enter(objects);
    UnmountFromConfig(mount);
    const std::string none = rig.Dir().Join("none.fnt");
    std::vector<std::string> expected = {
        "Font not loaded: , using /Game Interface/Shared/andika20.fnt\n",
        "Font not loaded: " + none + ", using /Game Interface/Shared/andika20.fnt\n"};
    if (!shipped) expected.insert(expected.begin() + 1, "A: INVALIDVALUE\n");
    if (!shipped) expected.push_back("B: INVALIDVALUE\n");
    EXPECT_EQ(rig.Log(), expected);
    CText* text = rig.Object<CText>("A");
    ASSERT_EQ(text != nullptr, shipped);
    if (!shipped) continue;
    text->TextOut("A");
    // The default colour 255 on the default key 0.
    EXPECT_EQ(text->Picture()->GetPixel(1, 2), 255);
    EXPECT_EQ(text->Picture()->GetPixel(2, 2), 0);
  }
}

}  // namespace
