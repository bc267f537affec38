// The demo game built from its sources and played headless with its own
// play-through input: the views it passes in order, the village's handlers
// around the hill, the hand over what reacts, the cupboard it opens and each
// view's background around its objects; its builds byte for byte alike; a
// damaged copy played without a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "game_run.h"

namespace {

namespace fs = std::filesystem;

// An 8-bit BMP without compression, bottom-up or top-down.
struct SPicture {
  int width = 0;
  int height = 0;
  std::string bytes;

  static SPicture Parse(std::string bytes) {
    SPicture picture;
    if (bytes.size() < 54 + 1024) return picture;
    picture.bytes = std::move(bytes);
    picture.width = static_cast<int>(Le32(picture.bytes, 18));
    picture.height = static_cast<int>(Le32(picture.bytes, 22));
    return picture;
  }
  static uint32_t Le32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes.at(at + i));
    return value;
  }
  // The colour at (x, y) as 0xRRGGBB.
  uint32_t Colour(int x, int y) const {
    const size_t stride = (static_cast<size_t>(width) + 3) & ~size_t{3};
    const int row = height > 0 ? height - 1 - y : y;
    const auto index = static_cast<uint8_t>(bytes.at(Le32(bytes, 10) + row * stride + x));
    return Le32(bytes, 54 + 4u * index) & 0xFFFFFF;
  }
};

struct SBox {
  int left, top, right, bottom;
  bool Contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

// Each view's picture, and where its objects may draw over it.
struct SViewShot {
  const char* shot;
  const char* background;
  std::vector<SBox> objects;
};
const SViewShot kViewShots[] = {
    {"house.bmp", "house/room.bmp",
     {{250, 250, 369, 399}, {40, 150, 179, 339}, {413, 60, 476, 123}, {40, 424, 599, 455}}},
    {"square.bmp", "square/square.bmp",
     {{240, 300, 399, 419}, {264, 24, 375, 167}, {32, 356, 169, 385}, {476, 356, 619, 385}}},
    {"hill.bmp", "hill/hill.bmp", {{250, 30, 549, 379}, {298, 424, 405, 455}}},
};

class DemoTest : public GameRunTest {
 protected:
  // The game as the build made it.
  static std::string Built() { return TARVOLIN_DEMO_GAME; }

  void SetUp() override {
    ASSERT_TRUE(fs::exists(Built() + "/demo.prj")) << "the demo was not built";
    fs::copy(Built(), m_game.Path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }

  SProcessResult PlayDemo(const std::string& input, const std::vector<std::string>& args = {}) {
    return CChildProcess(TARVOLIN_BINARY, args,
                         {{"TARVOLIN_PLATFORM", "headless"},
                          {"TARVOLIN_DIR", m_game.Path()},
                          {"TARVOLIN_INPUT", input},
                          {"TARVOLIN_SEED", "7"},
                          {"TARVOLIN_LOG", "1"},
                          {"XDG_RUNTIME_DIR", m_runtime.Path()},
                          {"TARVOLIN_TRACE", "views,handlers,cursor"},
                          {"TARVOLIN_TRACE_FILE", m_game.Join("trace.txt")}},
                         m_runtime.Join("engine"))
        .Wait();
  }

  // A file of one of the game's packs, as a plain BMP when it is a picture.
  std::string FromPack(const std::string& pack, const std::string& name, bool picture) {
    const std::string raw = m_runtime.Join("raw"), plain = m_runtime.Join("plain.bmp");
    const SProcessResult cat = Tvkit({"pack", "cat", m_game.Join(pack), name});
    m_runtime.WriteFile("raw", cat.out);
    if (!picture) return cat.out;
    Tvkit({"bmp", "convert", raw, plain});
    return m_runtime.ReadFile("plain.bmp");
  }

  SPicture Shot(const std::string& name) const { return SPicture::Parse(m_game.ReadFile(name)); }

  // The views trace and the handlers that ran on entering and leaving.
  std::vector<std::string> Story() const {
    std::vector<std::string> lines;
    for (const std::string& traced : TraceLines()) {
      const std::string line = WithoutTime(traced);
      const bool passage = line.ends_with("\tOnEntry\trun") || line.ends_with("\tOnExit\trun");
      if (line.starts_with("views\t") || passage) lines.push_back(line);
    }
    return lines;
  }
};

TEST_F(DemoTest, ThePlayThroughPassesEveryViewAndOpensTheCupboard) {
  const SProcessResult run = PlayDemo(std::string(TARVOLIN_DEMO_DIR) + "/tests/playthrough.in");
  EXPECT_EQ(run.exit_code, 0);

  // The intro ends in a new game; the hill lies outside the village, so the
  // village is left (and its OnExit runs) before the hill is entered; the
  // hill hears OnExit when the game ends.
  EXPECT_EQ(Story(), (std::vector<std::string>{
                         "views\tautoload\tusable", "views\tcommand\tnew game",
                         "views\trequest\tVillage/House\t0\tqueued",
                         "views\tenter\tVillage", "handlers\tcall\t0\tVillage\tOnEntry\trun",
                         "views\tenter\tVillage/House",
                         "handlers\tcall\t0\tVillage/House\tOnEntry\trun",
                         "views\tcurrent\tVillage/House\t1",
                         "views\trequest\tVillage/Square\t0\tqueued",
                         "views\tleave\tVillage/House", "views\tenter\tVillage/Square",
                         "handlers\tcall\t0\tVillage/Square\tOnEntry\trun",
                         "views\tcurrent\tVillage/Square\t1",
                         "views\trequest\tHill\t1\tqueued", "views\tleave\tVillage/Square",
                         "views\tleave\tVillage", "handlers\tcall\t0\tVillage\tOnExit\trun",
                         "views\tenter\tHill", "handlers\tcall\t0\tHill\tOnEntry\trun",
                         "views\tcurrent\tHill\t1", "handlers\tcall\t0\tHill\tOnExit\trun"}));
  // The hand's hot spot is the finger's tip its .ini names.
  EXPECT_NE(m_game.ReadFile("trace.txt").find("cursor\t/Game Interface/Cursors/hand.bmp\t12,1\n"),
            std::string::npos);
  // Inside the cupboard's left door: its wood while shut, the dark inside
  // once open.
  EXPECT_EQ(Shot("house.bmp").Colour(70, 190), 0xDCAA6Eu);
  EXPECT_EQ(Shot("cupboard-open.bmp").Colour(70, 190), 0x50321Eu);

  // Each view shows its background wherever no object draws.
  for (const SViewShot& view : kViewShots) {
    SCOPED_TRACE(view.shot);
    const SPicture shot = Shot(view.shot);
    const SPicture background = SPicture::Parse(FromPack("art.pak", view.background, true));
    ASSERT_EQ(shot.width, 640);
    ASSERT_EQ(background.width, 640);
    int differing = 0;
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) {
        const bool covered = std::any_of(view.objects.begin(), view.objects.end(),
                                         [&](const SBox& box) { return box.Contains(x, y); });
        differing += !covered && shot.Colour(x, y) != background.Colour(x, y);
      }
    EXPECT_EQ(differing, 0);
  }
}

// After a click in the story the title card shows: the frame the animation
// tool exports at the skip point, centred on the screen.
TEST_F(DemoTest, SkippingTheStoryShowsItsFrameAtTheSkipPoint) {
  m_game.WriteFile("skip.in",
                   "500 ldown 320 240\n520 lup 320 240\n1000 ldown 320 240\n1020 lup 320 240\n"
                   "1100 shot title.bmp\n1200 quit\n");
  ASSERT_EQ(PlayDemo(m_game.Join("skip.in")).exit_code, 0);
  m_runtime.WriteFile("introLast.ani", FromPack("anim.pak", "introLast.ani", false));
  ASSERT_EQ(Tvkit({"ani", "frame", m_runtime.Join("introLast.ani"), "26022", m_runtime.Join("frame.bmp")})
                .exit_code,
            0);
  const SPicture frame = SPicture::Parse(m_runtime.ReadFile("frame.bmp"));
  const SPicture shot = Shot("title.bmp");
  ASSERT_GT(frame.width, 0);
  const int left = 320 - frame.width / 2, top = 240 - std::abs(frame.height) / 2;
  int differing = 0;
  for (int y = 0; y < std::abs(frame.height); ++y)
    for (int x = 0; x < frame.width; ++x) differing += shot.Colour(left + x, top + y) != frame.Colour(x, y);
  EXPECT_EQ(differing, 0);
  EXPECT_EQ(shot.Colour(left - 1, top), 0x000000u);
}

TEST_F(DemoTest, TheToolOpensTheGameWithoutCompilingItsScripts) {
  m_game.WriteFile("quit.in", "3000 quit\n");
  const SProcessResult run = PlayDemo(m_game.Join("quit.in"), {"-tool"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err.find("Scripts will be recompiled."), std::string::npos);
  EXPECT_FALSE(m_game.Exists("comp_err.txt"));
  EXPECT_FALSE(fs::exists(m_runtime.Join("engine/comp_err.txt")));
}

// Every file of the built game, byte for byte.
std::map<std::string, std::string> FolderBytes(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files[fs::relative(entry.path(), root).string()] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

TEST_F(DemoTest, CleanCachedAndRepeatedBuildsAreByteIdentical) {
  const std::string first = m_runtime.Join("first"), second = m_runtime.Join("second");
  ASSERT_EQ(Tvkit({"game", "build", "--no-cache", first, TARVOLIN_DEMO_DIR}).exit_code, 0);
  ASSERT_EQ(Tvkit({"game", "build", second, TARVOLIN_DEMO_DIR}).exit_code, 0);
  const SProcessResult cached = Tvkit({"game", "build", second, TARVOLIN_DEMO_DIR});
  ASSERT_EQ(cached.exit_code, 0);
  const std::map<std::string, std::string> clean = FolderBytes(first);
  EXPECT_EQ(FolderBytes(second), clean);
  EXPECT_GE(clean.size(), 6u);
  // The build's own copy may hold the shots of a play-through besides.
  const std::map<std::string, std::string> built = FolderBytes(Built());
  for (const auto& [name, bytes] : clean) {
    const auto found = built.find(name);
    EXPECT_TRUE(found != built.end() && found->second == bytes) << name;
  }
}

// Cut in half, flipped or missing: the game stops with its message or plays
// on without the piece, and the run ends cleanly either way.
TEST_F(DemoTest, ADamagedGameFolderEndsCleanly) {
  const std::string input = std::string(TARVOLIN_DEMO_DIR) + "/tests/playthrough.in";
  const std::string pristine = m_runtime.Join("pristine");
  fs::copy(m_game.Path(), pristine, fs::copy_options::recursive);
  const auto restore = [&] {
    fs::remove_all(m_game.Path());
    fs::copy(pristine, m_game.Path(), fs::copy_options::recursive);
  };
  const auto expect_clean = [&](const std::string& what) {
    SCOPED_TRACE(what);
    const SProcessResult run = PlayDemo(input);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos);
    EXPECT_EQ(run.err.find("runtime error"), std::string::npos);
    restore();
  };
  for (const auto& [name, bytes] : FolderBytes(pristine)) {
    m_game.WriteFile(name, bytes.substr(0, bytes.size() / 2));
    expect_clean("half of " + name);
  }
  std::string project = m_game.ReadFile("demo.prj");
  project[project.size() / 3] ^= 0x10;
  m_game.WriteFile("demo.prj", project);
  expect_clean("a flipped byte in the project");

  // The art pack again, without the room's picture.
  const std::string loose = m_runtime.Join("art");
  std::istringstream listing(Tvkit({"pack", "list", m_game.Join("art.pak")}).out);
  for (std::string line; std::getline(listing, line);) {
    std::string name = line.substr(0, line.find('\t'));
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.empty() || name == "HOUSE/ROOM.BMP") continue;
    fs::create_directories(fs::path(loose + "/" + name).parent_path());
    std::ofstream(loose + "/" + name, std::ios::binary) << FromPack("art.pak", name, false);
  }
  ASSERT_EQ(Tvkit({"pack", "build", m_game.Join("art.pak"), loose}).exit_code, 0);
  const SProcessResult run = PlayDemo(input);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.err.find("room.bmp"), std::string::npos);
}

}  // namespace
