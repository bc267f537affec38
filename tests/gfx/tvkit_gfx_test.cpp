// tvkit's picture, animation and font commands, run as authors run them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fs/file_service.h"
#include "fs/native_fs.h"
#include "gfx/bmp.h"
#include "gfx/font.h"
#include "support/tvkit_fixture.h"

namespace {

class TvkitGfxTest : public CTvkitTest {
 protected:
  void SetUp() override { MountNativeFileSystem(); }
  void TearDown() override { ShutdownFileService(); }

  // A 5 x 3 8-bit picture in four colours whose pixels depend on `seed`.
  std::string Picture(const std::string& name, int seed, int order) {
    auto palette = std::make_unique<CPalette>();
    palette->SetCount(4);
    for (uint32_t i = 0; i < 4; ++i)
      palette->SetEntry(i, SPalEntry{static_cast<uint8_t>(60 * i), 0, static_cast<uint8_t>(200 - i), 0});
    CBitmap bitmap;
    EXPECT_EQ(bitmap.Create(5, 3, kPixel8, std::move(palette), order, 0), err::kOk);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) bitmap.SetPixel(x, y, (x + y + seed) % 4);
    const std::string path = m_dir.Join(name);
    EXPECT_EQ(SaveBmp(path.c_str(), bitmap, 0), err::kOk);
    return path;
  }

  std::unique_ptr<CBitmap> Load(const std::string& path) {
    ErrCode error;
    auto bitmap = LoadBmp(path.c_str(), &error, false);
    EXPECT_NE(bitmap, nullptr) << path << ": " << ErrName(error);
    return bitmap;
  }
  // Whether the two files load to the same pixels.
  bool SamePixels(const std::string& a_path, const std::string& b_path) {
    const auto a = Load(a_path);
    const auto b = Load(b_path);
    if (!a || !b || a->Width() != b->Width() || a->Height() != b->Height()) return false;
    for (int y = 0; y < a->Height(); ++y)
      for (int x = 0; x < a->Width(); ++x)
        if (a->GetPixel(x, y) != b->GetPixel(x, y)) return false;
    return true;
  }
};

TEST_F(TvkitGfxTest, BmpInfoAndConvert) {
  const std::string top = Picture("top.bmp", 0, kTopDown);
  SProcessResult run = Run({"bmp", "info", top});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "5x3 8bpp top-down palette=4 compression=none\n");
  const std::string bottom = m_dir.Join("bottom.bmp");
  run = Run({"bmp", "convert", top, bottom});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(Run({"bmp", "info", bottom}).out, "5x3 8bpp bottom-up palette=4 compression=none\n");
  EXPECT_TRUE(SamePixels(top, bottom));

  run = Run({"bmp", "info", m_dir.Join("none.bmp")});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "error: FILENOTFOUND\n");
  m_dir.WriteFile("text.bmp", "not a picture at all, but long enough for two headers......");
  run = Run({"bmp", "info", m_dir.Join("text.bmp")});
  EXPECT_EQ(run.err, "error: BMP_BADFILEFORMAT\n");
  run = Run({"bmp", "convert", top, bottom, "--lzss"});
  EXPECT_EQ(run.exit_code, 1);
}

TEST_F(TvkitGfxTest, BmpFromXpmTakesTheLowestEqualEntryAndTheKeyForNone) {
  m_dir.WriteFile("p.gpl",
                  "GIMP Palette\n0 0 0\n255 0 0 red\n0 255 0\n255 0 0 red again\n0 0 255\n");
  const std::string xpm =
      "/* XPM */\nstatic char* x[] = {\n\"3 2 4 1\",\n\". c None\",\n\"r c #FF0000\",\n"
      "\"b c #0000FF\",\n\"g c #00FF00\",\n\"rgb\",\n\".br\"\n};\n";
  m_dir.WriteFile("in.xpm", xpm);
  const std::string out = m_dir.Join("out.bmp");
  const std::string gpl = m_dir.Join("p.gpl");
  for (const int key : {0, 3}) {
    std::vector<std::string> args = {"bmp", "from-xpm", out, m_dir.Join("in.xpm"),
                                     "--palette", gpl};
    if (key) args.insert(args.end(), {"--key", std::to_string(key)});
    ExpectRun(args, 0, "");
    const auto bitmap = Load(out);
    ASSERT_NE(bitmap, nullptr);
    ASSERT_EQ(bitmap->Bits(), 8);
    ASSERT_EQ(bitmap->Palette()->Count(), 5u);
    EXPECT_EQ(bitmap->Palette()->Entries()[4].blue, 255);
    const int expected[2][3] = {{1, 2, 4}, {key, 4, 1}};
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x)
        EXPECT_EQ(bitmap->GetPixel(x, y), expected[y][x]) << x << "," << y;
  }
  for (const char* key : {"5", "256", "-1", ""})
    ExpectRun({"bmp", "from-xpm", out, m_dir.Join("in.xpm"), "--palette", gpl, "--key", key}, 1, "",
              "error: INVALIDVALUE\n");
  m_dir.WriteFile("miss.xpm", std::string(xpm).replace(xpm.find("#0000FF"), 7, "#0000FE"));
  ExpectRun({"bmp", "from-xpm", out, m_dir.Join("miss.xpm"), "--palette", gpl}, 1, "",
            "error: INVALIDVALUE\n");
  ExpectRun({"bmp", "from-xpm", out, gpl, "--palette", gpl}, 1, "", "error: INVALIDFORMAT\n");
}

TEST_F(TvkitGfxTest, AniBuildPlaysEveryFrameAtItsTime) {
  std::vector<std::string> args = {"ani", "build", m_dir.Join("a.ani"), "10"};
  for (int f = 0; f < 6; ++f) args.push_back(Picture("f" + std::to_string(f) + ".bmp", f / 2, f % 2 ? kTopDown : kBottomUp));
  SProcessResult run = Run(args);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(Run({"ani", "info", m_dir.Join("a.ani")}).out, "5x3 frames=6 chunks=1\n");
  // Ten frames a second: frame f from 100 f to 100 f + 99 ms, the last one after.
  const int times[][2] = {{0, 0}, {99, 0}, {100, 1}, {250, 2}, {599, 5}, {5000, 5}};
  for (const auto& [ms, frame] : times) {
    const std::string out = m_dir.Join("out" + std::to_string(ms) + ".bmp");
    run = Run({"ani", "frame", m_dir.Join("a.ani"), std::to_string(ms), out});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(SamePixels(out, m_dir.Join("f" + std::to_string(frame) + ".bmp"))) << ms;
    const auto shown = Load(out);
    ASSERT_NE(shown->Palette(), nullptr);
    SPalEntry entry;
    ASSERT_EQ(shown->Palette()->GetEntry(3, &entry), err::kOk);
    EXPECT_EQ(entry.blue, 180);
    EXPECT_EQ(entry.red, 197);
  }
  run = Run({"ani", "info", m_dir.Join("f0.bmp")});
  EXPECT_EQ(run.err, "error: INVALIDFORMAT\n");
}

TEST_F(TvkitGfxTest, FontBuildAndRenderDrawTheMeasuredLine) {
  const std::string fnt = m_dir.Join("andika.fnt");
  SProcessResult run =
      Run({"font", "build", "/usr/share/fonts/truetype/andika/Andika-Regular.ttf", "20", fnt});
  if (run.exit_code == 1 && run.err == "error: FILENOTFOUND\n") GTEST_SKIP() << "no Andika";
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ErrCode error;
  const auto font = CFont::Load(fnt.c_str(), &error);
  ASSERT_NE(font, nullptr) << ErrName(error);
  EXPECT_EQ(font->FirstChar(), 32);
  EXPECT_EQ(font->CharCount(), 224);  // Latin-1 from the space
  EXPECT_GE(font->LineHeight(), 20);
  EXPECT_GT(font->Advance('m'), font->Advance('i'));  // proportional
  const std::string out = m_dir.Join("hi.bmp");
  run = Run({"font", "render", fnt, "Hi there", out});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto bitmap = Load(out);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width(), font->MeasureText("Hi there"));
  EXPECT_EQ(bitmap->Height(), font->LineHeight());
  int ink = 0;
  for (int y = 0; y < bitmap->Height(); ++y)
    for (int x = 0; x < bitmap->Width(); ++x) {
      const int p = bitmap->GetPixel(x, y);
      ASSERT_TRUE(p == 0 || p == 1);
      ink += p;
    }
  EXPECT_GT(ink, 40);
  run = Run({"font", "render", m_dir.Join("none.fnt"), "x", out});
  EXPECT_EQ(run.err, "error: FILENOTFOUND\n");
  run = Run({"font", "build", m_dir.Join("none.ttf"), "20", fnt});
  EXPECT_EQ(run.exit_code, 1);
}

}  // namespace
