// Sprites cut from a 200 x 40 strip whose pixels are 10 + x / 50 (the
// frame's number plus 10), but for (12, 34), (62, 34) and (63, 34), which
// are 7. Each sprite sits at (2, 4) of the room.
#include <gtest/gtest.h>

#include "gfx/bmp.h"
#include "world/object_rig.h"
#include "world/sprite.h"

namespace {

std::vector<uint8_t> Strip() {
  std::vector<uint8_t> pixels(200 * 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 200; ++x) pixels[y * 200 + x] = static_cast<uint8_t>(10 + x / 50);
  for (int x : {12, 62, 63}) pixels[34 * 200 + x] = 7;
  return pixels;
}

struct SSpriteCase {
  const char* values;
  int width;    // of the frame shown
  int column;
  int corner;   // the frame's pixel (0, 0)
  int at_key;   // the room's pixel over the frame's (12, 34)
};

TEST(SpriteTest, TheStripIsCutIntoTheColumnShownAndKeyedByTColor) {
  // 1012034 names the pixel (12, 34), whose colour is 7; the room has no
  // "TColor", so a sprite without one is opaque, as is one of 300.
  const SSpriteCase kCases[] = {
      {"Cols=long:4\nColumn=long:1\nTColor=long:1012034\n", 50, 1, 11, 3},
      {"Cols=long:4\nColumn=long:0\nTColor=long:1012034\n", 50, 0, 10, 3},
      {"Cols=long:4\nColumn=long:4\n", 50, 0, 10, 7},
      {"Cols=long:4\nColumn=long:1\nTColor=long:300\n", 50, 1, 11, 7},
      {"TColor=long:7\n", 200, 0, 10, 3},
      {"Cols=long:-2\nColumn=long:1\n", 200, 0, 10, 7},
      {"Cols=long:201\n", 200, 0, 10, 7},
      {"Cols=long:200\nColumn=long:60\n", 1, 60, 11, 3},
  };
  for (const SSpriteCase& c : kCases) {
    SCOPED_TRACE(c.values);
    CObjectRig rig;
    WritePicture(rig.Dir(), "strip.bmp", 200, Strip());
    rig.Enter(CObjectRig::Section("S", "Sprite") +
              "Active=long:1\nVisible=long:1\nPos=rect:2, 4, 2, 4\n"
              "ImageName=str:{dir}/strip.bmp\n" + c.values);
    auto* sprite = rig.Object<CWSprite>("S");
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(sprite->Column(), c.column);
    const TRect pos = sprite->GetRect("Pos");
    EXPECT_EQ(pos.right - pos.left + 1, c.width);
    EXPECT_EQ(pos.bottom - pos.top + 1, 40);
    EXPECT_EQ(sprite->Picture()->GetPixel(0, 0), c.corner);
    if (c.width < 13) continue;
    EXPECT_EQ(rig.World().CurrentView()->Canvas()->GetPixel(14, 38), c.at_key);
    EXPECT_EQ(sprite->HitTest({14, 38}), c.at_key != 3);
    EXPECT_TRUE(sprite->HitTest({15, 39}));
  }
}

TEST(SpriteTest, ColumnsAndImagesChangeAtRunTimeAndBadPicturesSkipTheObject) {
  CObjectRig rig;
  WritePicture(rig.Dir(), "strip.bmp", 200, Strip());
  rig.Dir().WriteFile("junk.bmp", "BM");
  CBitmap deep;
  ASSERT_EQ(deep.Create(4, 4, kPixel24, nullptr, kTopDown, 0), err::kOk);
  ASSERT_EQ(SaveBmp(rig.Dir().Join("deep.bmp").c_str(), deep, kBottomUp), err::kOk);
  std::string sections = CObjectRig::Section("S", "Sprite") +
                         "Active=long:1\nCols=long:4\nTColor=long:7\n"
                         "ImageName=str:{dir}/strip.bmp\n";
  for (const std::string name : {"none", "junk", "deep"})
    sections += CObjectRig::Section(name, "Sprite") + "ImageName=str:{dir}/" + name + ".bmp\n";
  rig.Enter(sections);
  // One line each, naming the picture.
  const auto line = [&](const char* file) { return rig.Dir().Join(file) + ": INVALIDVALUE\n"; };
  EXPECT_EQ(rig.Log(), (std::vector<std::string>{line("none.bmp"), line("junk.bmp"), line("deep.bmp")}));
  auto* sprite = rig.Object<CWSprite>("S");
  ASSERT_NE(sprite, nullptr);
  EXPECT_EQ(sprite->SetColumn(3), err::kOk);
  EXPECT_EQ(sprite->Picture()->GetPixel(0, 0), 13);
  EXPECT_EQ(sprite->SetColumn(4), err::kInvalidValue);
  EXPECT_EQ(sprite->SetColumn(-1), err::kInvalidValue);
  EXPECT_EQ(sprite->Column(), 3);
  // A smaller strip of four columns keeps the column; a missing one
  // changes nothing.
  WritePicture(rig.Dir(), "small.bmp", 8, std::vector<uint8_t>(16, 20));
  EXPECT_EQ(sprite->SetImage(rig.Dir().Join("none.bmp").c_str()), err::kInvalidValue);
  EXPECT_EQ(sprite->ImageName(), rig.Dir().Join("strip.bmp"));
  EXPECT_EQ(sprite->SetImage(rig.Dir().Join("small.bmp").c_str()), err::kOk);
  EXPECT_EQ(sprite->Column(), 3);
  EXPECT_EQ(sprite->Picture()->Width(), 2);
  EXPECT_EQ(sprite->Picture()->Height(), 2);
}

}  // namespace
