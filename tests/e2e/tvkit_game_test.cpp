// tvkit game build: a game folder from a small source folder, rebuilt from
// the cache, and a broken source leaving the built folder alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "anim_recipe.h"
#include "child_process.h"
#include "fs/file_service.h"
#include "fs/native_fs.h"
#include "gfx/bmp.h"
#include "pack_mounts.h"
#include "sha256.h"
#include "support/tvkit_fixture.h"

namespace {

namespace fs = std::filesystem;

std::string Sha(std::string_view bytes) {
  CSha256 sha;
  sha.Update(bytes);
  return sha.FinalHex();
}

TEST(Sha256Test, FipsVectors) {
  EXPECT_EQ(Sha("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(AnimRecipeTest, MistakesAreReportedWhereTheyStand) {
  const std::string head = "[anim]\nfps=12\nframes=10\nwidth=4\nheight=4\n";
  const struct {
    std::string text;
    int line, col;
  } cases[] = {
      {"[anim]\nfps=0\n", 2, 5},
      {head + "speed=3\n", 6, 7},
      {head + "[layer a]\nsvg=a.svg\nkeys=0 0 0 | 5 1 1 | 5 2 2\n", 8, 6},
      {head + "[layer a]\nsvg=a.svg\nshow=3-10 ; one past the end\n", 8, 6},
      {head + "[layer a]\nkeys=0 1 1\n", 6, 1},
      {head + "[layer a]\nsvg=a.svg\ncolumns=2\nkeys=0 0 0 2\n", 9, 6},
      {head + "[layer a]\nsvg=a.svg\ncolumns=2\nkeys=0 0 0 -1\n", 9, 6},
      {head + "[layer a]\nsvg=a.svg\nkeys=0 0 0 | 9 -32768 0\n", 8, 6},
      {head + "[sound]\n", 6, 1},
  };
  for (const auto& c : cases) {
    SAnimRecipe recipe;
    SRecipeError error;
    EXPECT_FALSE(ParseAnimRecipe(c.text, &recipe, &error)) << c.text;
    EXPECT_EQ(error.at.line, c.line) << c.text << error.text;
    EXPECT_EQ(error.at.col, c.col) << c.text << error.text;
  }
}

TEST(AnimRecipeTest, PositionsHoldOutsideTheKeysAndRoundHalvesUp) {
  SAnimRecipe recipe;
  SRecipeError error;
  ASSERT_TRUE(ParseAnimRecipe("[anim]\nfps=1\nframes=20\nwidth=9\nheight=9\n[layer a]\nsvg=a.svg\n"
                              "columns=3\nkeys=2 0 0 1 | 4 -3 5 | 7 3 5 2\n",
                              &recipe, &error))
      << error.text;
  const SAnimLayer& layer = recipe.layers[0];
  const struct {
    int frame, x, y, cell;
  } expected[] = {{0, 0, 0, 1},  {2, 0, 0, 1},  {3, -1, 3, 1}, {4, -3, 5, 0},
                  {5, -1, 5, 0}, {6, 1, 5, 0},  {7, 3, 5, 2},  {19, 3, 5, 2}};
  for (const auto& e : expected) {
    EXPECT_EQ(LayerPosition(layer, e.frame).x, e.x) << e.frame;
    EXPECT_EQ(LayerPosition(layer, e.frame).y, e.y) << e.frame;
    EXPECT_EQ(LayerCell(layer, e.frame), e.cell) << e.frame;
  }
}

TEST(PackMountsTest, GoAtTheEndOfTheFsSectionInTheFilesLineEnds) {
  const std::vector<std::string> packs = {"art", "Game Interface"};
  const std::string lines = "/art/=Pack, /HDD/art.pak\r\n/Game Interface/=Pack, /HDD/Game Interface.pak\r\n";
  EXPECT_EQ(AddPackMounts("[FS]\r\n/HDD/=Trans, ./\r\n\r\n[main]\r\n", packs),
            "[FS]\r\n/HDD/=Trans, ./\r\n" + lines + "\r\n[main]\r\n");
  EXPECT_EQ(AddPackMounts("[main]\r\nx=1", packs), "[main]\r\nx=1\r\n[FS]\r\n" + lines);
  EXPECT_EQ(AddPackMounts("[fs]\n", {"a"}), "[fs]\n/a/=Pack, /HDD/a.pak\n");
}

// Index 0 white, 1 the key, 2 red, 3 blue.
constexpr const char* kPalette = "GIMP Palette\n255 255 255\n255 0 255\n255 0 0\n0 0 255\n";
// Two 4 x 4 cells: red; blue over the top half, the rest transparent.
constexpr const char* kBoxSvg =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" height=\"4\">"
    "<rect width=\"4\" height=\"4\" fill=\"#FF0000\"/>"
    "<rect x=\"4\" width=\"4\" height=\"2\" fill=\"#0000FF\"/></svg>\n";
// The box moves from (0, 0) to (10, 5) over frames 0 to 10, switching to its
// second cell at 10; the tile on top alternates its cells every frame.
constexpr const char* kWalk =
    "[anim]\nfps=10\nframes=12\nwidth=20\nheight=10\nfill=0\n\n"
    "[layer box]\nsvg=art/box.svg\ncolumns=2\nkeys=0 0 0 | 10 10 5 1 ; moves\n\n"
    "[layer tile]\nsvg=art/box.svg\ncolumns=2\ncycle=1\nkeys=0 2 2\n";
constexpr const char* kWorld =
    "[/]\r\nWorld=container\r\nTemplates=container\r\n"
    "[/Templates/]\r\nPlaneView=container\r\n[/Templates/PlaneView/]\r\nType=str:PlaneView\r\n"
    "[/World/]\r\nRoom=container\r\n"
    "[/World/Room/]\r\nTemplate=str:PlaneView\r\nImageName=str:/art/box.bmp\r\n";

class TvkitGameTest : public CTvkitTest {
 protected:
  void SetUp() override {
    if (FindOnPath("rsvg-convert").empty()) GTEST_SKIP() << "rsvg-convert is missing";
    MountNativeFileSystem();
    m_dir.WriteFile("demo/tool.ini", "[main]\nautoload=demo.prj\n\n[FS]\n/HDD/=Trans, ./\n\n[X]\n");
    m_dir.WriteFile("demo/art/palette.gpl", kPalette);
    m_dir.WriteFile("demo/art/box.svg", kBoxSvg);
    m_dir.WriteFile("demo/anim/walk.ini", kWalk);
    m_dir.WriteFile("demo/world/world.ini", kWorld);
    m_dir.WriteFile("demo/text/lines.ini", "[Lines]\nhello=Hello\n");
  }
  void TearDown() override { ShutdownFileService(); }

  SProcessResult Build(const std::map<std::string, std::string>& env = {}) {
    return Run({"game", "build", m_dir.Join("out"), m_dir.Join("demo")}, env);
  }

  // A file of a built pack, extracted and loaded as a bitmap; or the frame
  // an extracted animation shows at `ms`.
  std::unique_ptr<CBitmap> Picture(const std::string& pack, const std::string& name, int ms = -1) {
    m_dir.WriteFile("extracted", Run({"pack", "cat", m_dir.Join("out/" + pack), name}).out);
    std::string path = m_dir.Join("extracted");
    if (ms >= 0) {
      EXPECT_EQ(Run({"ani", "frame", path, std::to_string(ms), m_dir.Join("frame.bmp")}).exit_code, 0);
      path = m_dir.Join("frame.bmp");
    }
    ErrCode error = err::kOk;
    return LoadBmp(path.c_str(), &error, false);
  }

  std::map<std::string, std::string> Files(const std::string& folder) const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(m_dir.Join(folder)))
      if (entry.is_regular_file())
        files[fs::relative(entry.path(), m_dir.Join(folder)).string()] =
            m_dir.ReadFile(folder + "/" + fs::relative(entry.path(), m_dir.Join(folder)).string());
    return files;
  }
};

TEST_F(TvkitGameTest, BuildsPacksPicturesAnimationsAndTheProjectAndRebuildsFromTheCache) {
  const SProcessResult run = Build();
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto size = [&](const char* name) { return fs::file_size(m_dir.Join(name)); };
  const uintmax_t packs = size("out/anim.pak") + size("out/art.pak") + size("out/text.pak");
  EXPECT_EQ(run.out.substr(0, run.out.rfind('\t')),
            "anim.pak\t1\t" + std::to_string(size("out/anim.pak")) + "\nart.pak\t2\t" +
                std::to_string(size("out/art.pak")) + "\ntext.pak\t1\t" +
                std::to_string(size("out/text.pak")) + "\ntotal\t5\t" +
                std::to_string(packs + size("out/demo.prj") + size("out/tool.ini")));
  EXPECT_TRUE(m_dir.Exists("out/demo.prj"));
  EXPECT_EQ(m_dir.ReadFile("out/tool.ini"),
            "[main]\nautoload=demo.prj\n\n[FS]\n/HDD/=Trans, ./\n/anim/=Pack, /HDD/anim.pak\n"
            "/art/=Pack, /HDD/art.pak\n/text/=Pack, /HDD/text.pak\n\n[X]\n");
  const std::string art = Run({"pack", "list", m_dir.Join("out/art.pak")}).out;
  EXPECT_EQ(art.substr(0, art.find('\t')), "BOX.BMP");
  EXPECT_NE(art.find("\nPALETTE.GPL\t"), std::string::npos);
  EXPECT_EQ(Run({"pack", "cat", m_dir.Join("out/text.pak"), "lines.ini"}).out, "[Lines]\nhello=Hello\n");

  const auto box = Picture("art.pak", "box.bmp");
  ASSERT_TRUE(box);
  EXPECT_EQ(box->GetPixel(3, 3), 2);
  EXPECT_EQ(box->GetPixel(4, 1), 3);
  EXPECT_EQ(box->GetPixel(4, 2), 1);
  // Frame 0: the box at (0, 0), the tile's red cell over it at (2, 2).
  // Frame 1: the box at (1, 1) (0.5 rounds up), the tile's blue cell on top.
  // Frame 3: the box at (3, 2) (3 and 1.5), seen through the transparent
  // half of the tile's blue cell at (2, 2). Frame 10: the box's second cell
  // at (10, 5), its transparent half showing the fill.
  const struct {
    int ms, x, y, index;
  } pixels[] = {{0, 0, 0, 2}, {0, 4, 0, 0},  {0, 5, 5, 2},  {100, 1, 1, 2}, {100, 0, 1, 0},
                {100, 2, 2, 3}, {300, 3, 2, 3}, {300, 3, 4, 2}, {300, 6, 2, 2}, {300, 3, 1, 0}, {300, 7, 2, 0},
                {1000, 10, 5, 3}, {1000, 13, 6, 3}, {1000, 10, 7, 0}, {1000, 9, 5, 0}};
  for (const auto& p : pixels) {
    const auto frame = Picture("anim.pak", "walk.ani", p.ms);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->GetPixel(p.x, p.y), p.index) << p.ms << " ms (" << p.x << ", " << p.y << ")";
  }

  // Without a renderer on the PATH the second build must come from the cache.
  const auto first = Files("out");
  const SProcessResult again = Build({{"PATH", "/nonexistent"}});
  EXPECT_EQ(again.exit_code, 0) << again.err;
  EXPECT_EQ(Files("out"), first);
}

TEST_F(TvkitGameTest, ABrokenSourceFailsNamingItAndLeavesTheBuiltFolder) {
  ASSERT_EQ(Build().exit_code, 0);
  const auto built = Files("out");
  const struct {
    const char* file;
    const char* text;
    const char* message;  // where the messages place the fault
  } cases[] = {
      {"demo/art/bad.svg",
       "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"2\" height=\"2\">\n"
       "<image href=\"x.png\" width=\"2\" height=\"2\"/></svg>\n",
       "art/bad.svg(2, 14): error: an external reference \"x.png\"\n"},
      {"demo/world/World/Room/OnEntry.tvs", "void OnEntry() { nonsense( }\n",
       "world/World/Room/OnEntry.tvs(1, "},
  };
  for (const auto& c : cases) {
    m_dir.WriteFile(c.file, c.text);
    const SProcessResult run = Build();
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(Files("out"), built);
    EXPECT_FALSE(m_dir.Exists("out.new"));
    fs::remove(m_dir.Join(c.file));
  }
}

}  // namespace
