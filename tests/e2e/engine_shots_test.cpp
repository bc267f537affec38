// Shots of the engine's screen, headless: a view holding a sprite, an
// animation, a text and a decoration, and the intro. Every expected pixel
// follows from the source pictures and the times of the input script.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fs/memory_file.h"
#include "game_run.h"
#include "gfx/font.h"

namespace {

// `width` x `height` pixels, each the colour `colour_at` gives for (x, y)
// with y counted from the top.
template <class ColourAt>
std::string Picture(uint32_t width, uint32_t height, ColourAt colour_at) {
  const uint32_t pitch = (width + 3) / 4 * 4;
  std::string rows(pitch * height, '\0');
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      rows[(height - 1 - y) * pitch + x] = static_cast<char>(colour_at(x, y));
  return BmpFile(width, height, 8, rows);
}

std::string Plain(uint32_t side, uint8_t colour) {
  return Picture(side, side, [colour](uint32_t, uint32_t) { return colour; });
}

// Glyphs of 2 x 3 blocks, 3 pixels apart, from the line's top.
std::string BlockFont() {
  CFont font(4, 3, ' ');
  const uint8_t mask[] = {0xC0, 0xC0, 0xC0};
  font.AddGlyph(SGlyph{0, 0, 0, 0, 3}, mask);
  for (char c = '!'; c <= 'Z'; ++c) font.AddGlyph(SGlyph{2, 3, 0, 0, 3}, mask);
  auto bytes = std::make_shared<std::string>();
  CMemoryFile file(bytes);
  EXPECT_EQ(font.Write(&file), err::kOk);
  return *bytes;
}

// The pixel of a 640 x 480 shot at (x, y) from the top.
uint8_t ShotPixel(const std::string& shot, int x, int y) {
  return static_cast<uint8_t>(shot[54 + 1024 + (479 - y) * 640 + x]);
}

class EngineShotsTest : public GameRunTest {
 protected:
  void SetUp() override { m_game.WriteFile("tool.ini", GameConfig() + "/anim/=Trans, ./anim/\n"); }

  // tvkit ani build of anim/<name>.ani at `fps` from frames of `side`
  // pixels whose colours are first, first + 1, ...
  void BuildAnim(const std::string& name, int fps, int frames, uint32_t side, uint8_t first) {
    std::filesystem::create_directories(m_game.Join("anim"));
    std::vector<std::string> args = {"ani", "build", m_game.Join("anim/" + name + ".ani"),
                                     std::to_string(fps)};
    for (int i = 0; i < frames; ++i) {
      const std::string frame = "frames/" + name + std::to_string(i) + ".bmp";
      m_game.WriteFile(frame, Plain(side, static_cast<uint8_t>(first + i)));
      args.push_back(m_game.Join(frame));
    }
    ASSERT_EQ(Tvkit(args).exit_code, 0);
  }
  // Runs the game on `input` and answers the shot `name`.
  std::string Shoot(const std::string& input, const std::string& name) {
    EXPECT_EQ(Play({}, input).exit_code, 0);
    return m_game.ReadFile(name);
  }
};

// Room on colour 3:
//   Spr (100, 100) a strip of two 16 x 16 columns, 10 and 11; a press
//                 shows its second column.
//   Anim (200, 100) 16 x 16 frames 50 ... 53 at 10 a second, looping.
//   Txt (300, 100) "AB" in colour 200 on its transparent colour 0.
//   Deco (400, 100) 32 x 32 on transparent 0, an 8 x 8 piece of colour 70
//                  placed at (4, 4) on entry.
std::string RoomIni(const CTempDir& game) {
  return "[/]\nWorld=container\nTemplates=container\n"
         "[/Templates/]\nPlaneView=container\nViewSet=container\nSprite=container\n"
         "Animation=container\nText=container\nDecoration=container\n"
         "[/Templates/PlaneView/]\nType=str:PlaneView\n[/Templates/ViewSet/]\nType=str:ViewSet\n"
         "[/Templates/Sprite/]\nType=str:Sprite\n[/Templates/Animation/]\nType=str:Animation\n"
         "[/Templates/Text/]\nType=str:Text\n[/Templates/Decoration/]\nType=str:Decoration\n"
         "[/World/]\nTemplate=str:ViewSet\nRoom=container\n"
         "[/World/Room/]\nTemplate=str:PlaneView\nImageName=str:" + game.Join("back.bmp") +
         "\nSpr=container\nAnim=container\nTxt=container\nDeco=container\n"
         "[/World/Room/Spr/]\nTemplate=str:Sprite\nActive=long:1\nVisible=long:1\nZOrder=long:2\n"
         "Pos=rect:100, 100, 115, 115\nCols=long:2\nImageName=str:" + game.Join("strip.bmp") + "\n"
         "[/World/Room/Anim/]\nTemplate=str:Animation\nActive=long:1\nVisible=long:1\n"
         "ZOrder=long:2\nPos=rect:200, 100, 215, 115\nImageName=str:blink\nLooping=long:1\n"
         "[/World/Room/Txt/]\nTemplate=str:Text\nActive=long:1\nVisible=long:1\nZOrder=long:2\n"
         "Pos=rect:300, 100, 339, 109\nColor=long:200\nFontName=str:" + game.Join("block.fnt") + "\n"
         "[/World/Room/Deco/]\nTemplate=str:Decoration\nActive=long:1\nVisible=long:1\n"
         "ZOrder=long:2\nPos=rect:400, 100, 431, 131\nTColor=long:0\n";
}

TEST_F(EngineShotsTest, ViewObjectsShowTheirPicturesAtKnownTimes) {
  m_game.WriteFile("back.bmp", Picture(640, 480, [](uint32_t, uint32_t) { return 3; }));
  m_game.WriteFile("strip.bmp", Picture(32, 16, [](uint32_t x, uint32_t) { return x < 16 ? 10 : 11; }));
  m_game.WriteFile("piece.bmp", Plain(8, 70));
  m_game.WriteFile("block.fnt", BlockFont());
  BuildAnim("blink", 10, 4, 16, 50);
  m_game.WriteFile("src/world.ini", RoomIni(m_game));
  m_game.WriteFile("src/World/OnNew.tvs", "GoToView(\"Room\", 0, 0);\n");
  m_game.WriteFile("src/World/Room/OnEntry.tvs",
                   "TextOut(\"Txt\", \"AB\");\nAddDecoration(\"Deco\", 4, 4, \"piece.bmp\");\n");
  m_game.WriteFile("src/World/Room/Spr/OnLButtonDown.tvs", "SetColumn(1);\n");
  ASSERT_EQ(Build().exit_code, 0);
  std::string input;
  for (const char* shot : {"250", "450", "750"})
    input += std::string(shot) + " shot " + m_game.Join(std::string("at") + shot + ".bmp") + "\n";
  ASSERT_EQ(Play({}, input + "600 ldown 108 108\n610 lup 108 108\n800 quit\n").exit_code, 0);

  // The frames below assume the room came up within the first 40 ms.
  uint32_t entered = UINT32_MAX;
  for (const std::string& line : TraceLines())
    if (WithoutTime(line) == "views\tcurrent\tRoom\t1") entered = static_cast<uint32_t>(std::stoul(line));
  ASSERT_LT(entered, 40u);

  const std::string before = m_game.ReadFile("at250.bmp");
  const std::string looped = m_game.ReadFile("at450.bmp");
  const std::string after = m_game.ReadFile("at750.bmp");
  ASSERT_EQ(before.size(), 54u + 1024u + 640u * 480u);
  ASSERT_EQ(looped.size(), before.size());
  ASSERT_EQ(after.size(), before.size());
  struct SPoint {
    int x, y;
    uint8_t at250, at450, at750;
  };
  const SPoint points[] = {
      {99, 99, 3, 3, 3},         // background
      {100, 100, 10, 10, 11},    // the sprite's first column, then its second
      {115, 115, 10, 10, 11},    // its last pixel
      {116, 115, 3, 3, 3},       // right of it
      {200, 100, 52, 50, 53},    // frames 2, 4 (looped to 0) and 7 (3)
      {215, 115, 52, 50, 53},
      {300, 100, 200, 200, 200}, // "A", top row
      {301, 102, 200, 200, 200}, // "A", bottom-right
      {302, 100, 3, 3, 3},       // the gap between the letters
      {303, 100, 200, 200, 200}, // "B"
      {300, 103, 3, 3, 3},       // below the glyphs
      {403, 103, 3, 3, 3},       // the board is transparent
      {404, 104, 70, 70, 70},    // the piece
      {411, 111, 70, 70, 70},
      {412, 112, 3, 3, 3},
  };
  for (const SPoint& p : points) {
    SCOPED_TRACE(std::to_string(p.x) + "," + std::to_string(p.y));
    EXPECT_EQ(ShotPixel(before, p.x, p.y), p.at250);
    EXPECT_EQ(ShotPixel(looped, p.x, p.y), p.at450);
    EXPECT_EQ(ShotPixel(after, p.x, p.y), p.at750);
  }
}

// The intro: "quillanvex" (two frames at 10 a second, 60 and 61), then
// "introLast" (one frame a second, 100 + second); a click in the second
// step jumps to its skip point, 26.022 s, whose frame is the 26th.
TEST_F(EngineShotsTest, IntroClickJumpsToTheSkipPoint) {
  m_game.WriteFile("tool.ini", GameConfig("autorun=Intro\n") + "/anim/=Trans, ./anim/\n");
  m_game.WriteFile("back.bmp", Picture(640, 480, [](uint32_t, uint32_t) { return 3; }));
  m_game.WriteFile("src/world.ini",
                   "[/]\nWorld=container\nTemplates=container\n[/Templates/]\nViewSet=container\n"
                   "[/Templates/ViewSet/]\nType=str:ViewSet\n[/World/]\nTemplate=str:ViewSet\n");
  ASSERT_EQ(Build().exit_code, 0);
  BuildAnim("quillanvex", 10, 2, 16, 60);
  BuildAnim("introLast", 1, 30, 16, 100);
  const std::string input = "150 shot " + m_game.Join("first.bmp") + "\n800 shot " +
                            m_game.Join("second.bmp") + "\n1000 ldown 10 10\n1010 lup 10 10\n1500 shot " +
                            m_game.Join("skipped.bmp") + "\n1600 quit\n";
  ASSERT_EQ(Play({}, input).exit_code, 0);
  // 16 x 16 frames centred on (320, 240), black (255) around them.
  const struct {
    const char* shot;
    uint8_t frame;
  } shots[] = {{"first.bmp", 61}, {"second.bmp", 100}, {"skipped.bmp", 126}};
  for (const auto& [name, frame] : shots) {
    SCOPED_TRACE(name);
    const std::string shot = m_game.ReadFile(name);
    ASSERT_EQ(shot.size(), 54u + 1024u + 640u * 480u);
    EXPECT_EQ(ShotPixel(shot, 312, 232), frame);
    EXPECT_EQ(ShotPixel(shot, 327, 247), frame);
    EXPECT_EQ(ShotPixel(shot, 311, 232), 255);
    EXPECT_EQ(ShotPixel(shot, 328, 247), 255);
  }
}

}  // namespace
