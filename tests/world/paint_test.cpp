// Painting: each tool against a model of its rule written out here, the
// refusals, and a paint object in a view pressed, dragged and saved.
#include <gtest/gtest.h>

#include <functional>

#include "base/log.h"
#include "fs/mount_config.h"
#include "gfx/bmp.h"
#include "script/script_machine.h"
#include "store/hash_ini.h"
#include "store/vb_ini.h"
#include "support/scratch_value_base.h"
#include "ui/test_windows.h"
#include "ui/ui_rig.h"
#include "world/paint.h"
#include "world/view.h"
#include "world/world.h"

namespace {

std::unique_ptr<CBitmap> Picture(int width, int height, const std::function<int(int, int)>& pixel) {
  auto picture = std::make_unique<CBitmap>();
  picture->Create(static_cast<uint16_t>(width), static_cast<uint16_t>(height), kPixel8, nullptr,
                  kTopDown, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) picture->SetPixel(x, y, pixel(x, y));
  return picture;
}

// The test canvas: colour 1 left of a line of 3 at x = 7, colour 2 right of
// it; the map parts it at y = 6. "TColor" 5, "SColor" 9.
constexpr int kWidth = 16, kHeight = 12;
int Original(int x, int) { return x < 7 ? 1 : x == 7 ? 3 : 2; }
int MapIndex(int, int y) { return y < 6 ? 10 : 20; }

// Within the round of `diameter` around (cx, cy).
bool InRound(int x, int y, int cx, int cy, int diameter) {
  return 4 * ((x - cx) * (x - cx) + (y - cy) * (y - cy)) <= diameter * diameter;
}
// The line from (3, 3) to (9, 5): y = 3 + (x - 3) / 3, rounded, one pixel per column.
constexpr TPoint kLine[] = {{3, 3}, {4, 3}, {5, 4}, {6, 4}, {7, 4}, {8, 5}, {9, 5}};
bool NearLine(int x, int y, int diameter) {
  for (const TPoint& point : kLine)
    if (InRound(x, y, point.x, point.y, diameter)) return true;
  return false;
}

struct SToolCase {
  const char* name;
  std::function<void(CPaintBoard&)> act;
  // What pixel (x, y) holds afterwards.
  std::function<int(int, int)> expected;
};

// Over a canvas filled with 4, a rubber of 3 in `mode` from `from` to `to`.
std::function<void(CPaintBoard&)> Rubbing(int mode, TPoint from, TPoint to) {
  return [=](CPaintBoard& board) {
    board.Fill(4);
    board.SetRubber(3, mode);
    board.Select(CPaintBoard::ETool::kRubber);
    board.Press(from);
    board.Drag(to);
  };
}

TEST(PaintBoardTest, EachToolPaintsWhatItsRuleSays) {
  const auto pattern = Picture(2, 2, [](int x, int y) { return x == y ? 7 + x : 0; });
  const auto stamp = Picture(3, 3, [](int x, int y) { return (x + y) % 2 ? 0 : 6; });
  const auto map = Picture(kWidth, kHeight, MapIndex);
  const SToolCase cases[] = {
      {"stroke of 5",
       [](CPaintBoard& board) {
         board.SetBrush(nullptr, 5);
         board.Press({3, 3});
         board.Drag({9, 5});
       },
       [](int x, int y) { return NearLine(x, y, 5) ? 9 : Original(x, y); }},
      {"stroke of 5 in its region",
       [&](CPaintBoard& board) {
         board.SetMap(map.get());
         board.SetBrush(nullptr, 5);
         board.Press({3, 3});
         board.Drag({9, 5});
       },
       [](int x, int y) { return NearLine(x, y, 5) && y < 6 ? 9 : Original(x, y); }},
      {"fill",
       [](CPaintBoard& board) {
         board.Select(CPaintBoard::ETool::kFill);
         board.Press({2, 2});
       },
       [](int x, int y) { return x < 7 ? 9 : Original(x, y); }},
      {"fill in its region",
       [&](CPaintBoard& board) {
         board.SetMap(map.get());
         board.Select(CPaintBoard::ETool::kFill);
         board.Press({2, 2});
       },
       [](int x, int y) { return x < 7 && y < 6 ? 9 : Original(x, y); }},
      {"pattern fill from the canvas origin",
       [&](CPaintBoard& board) {
         board.SetMap(map.get());
         board.SetFillPattern(pattern.get(), 0);
         board.Select(CPaintBoard::ETool::kFill);
         board.Press({10, 8});
       },
       [](int x, int y) {
         if (x < 8 || y < 6) return Original(x, y);
         return x % 2 != y % 2 ? 9 : 7 + x % 2;
       }},
      {"rubber bringing the picture back", Rubbing(0, {7, 6}, {7, 6}),
       [](int x, int y) { return InRound(x, y, 7, 6, 3) ? Original(x, y) : 4; }},
      {"rubber blanking", Rubbing(1, {0, 0}, {0, 1}),
       [](int x, int y) { return x < 2 && y < 3 ? 5 : 4; }},
      {"stamp at the corner",
       [&](CPaintBoard& board) {
         board.SetStamp(*stamp, 0);
         board.Select(CPaintBoard::ETool::kStamp);
         board.Press({15, 11});
       },
       [](int x, int y) { return x >= 14 && y >= 10 && (x + y) % 2 == 0 ? 6 : Original(x, y); }},
  };
  for (const SToolCase& row : cases) {
    SCOPED_TRACE(row.name);
    std::unique_ptr<CBitmap> canvas = Picture(kWidth, kHeight, Original);
    CPaintBoard board;
    board.Attach(canvas.get(), 5, 9);
    row.act(board);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        ASSERT_EQ(canvas->GetPixel(x, y), row.expected(x, y)) << x << ", " << y;
  }
}

TEST(PaintBoardTest, RefusedSettingsChangeNothing) {
  std::unique_ptr<CBitmap> canvas = Picture(kWidth, kHeight, Original);
  const auto small_map = Picture(kWidth - 1, kHeight, MapIndex);
  CPaintBoard board;
  board.Attach(canvas.get(), 5, 9);
  EXPECT_EQ(board.SetBrush(nullptr, 1), err::kOk);
  for (const int n : {0, 65, -1}) EXPECT_EQ(board.SetBrush(nullptr, n), err::kInvalidValue) << n;
  EXPECT_EQ(board.SetRubber(65, 0), err::kInvalidValue);
  EXPECT_EQ(board.SetRubber(3, 2), err::kInvalidValue);
  EXPECT_EQ(board.SetMap(small_map.get()), err::kInvalidValue);
  EXPECT_EQ(board.SetColor(256), err::kInvalidValue);
  // Still the one-pixel brush in 9, and no map.
  board.Press({0, 0});
  board.Drag({0, 11});
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) ASSERT_EQ(canvas->GetPixel(x, y), x == 0 ? 9 : Original(x, y));
  EXPECT_EQ(board.SetBrush(nullptr, 64), err::kOk);
}

class CWarnings : public CLogView {
 public:
  void AddLine(uint32_t category, std::string_view text) override {
    if (category == kLogWarning) lines.emplace_back(text);
  }
  std::vector<std::string> lines;
};

// A view with a 20 x 10 canvas at (100, 100) whose "OnLButtonDown" runs, a
// hot spot to its right, a canvas whose picture is missing and a slate of
// 4 x 3 without one.
class PaintViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WritePicture(m_rig.Dir(), "back.bmp", 4, std::vector<uint8_t>(16, 3));
    WritePicture(m_rig.Dir(), "page.bmp", 20, std::vector<uint8_t>(200, 1));
    WritePicture(m_rig.Dir(), "strip.bmp", 24, std::vector<uint8_t>(48, 8));
    const std::string dir = m_rig.Dir().Path();
    const std::string script = "Size=12\nType=34\nTextSize=3\n1=.;\n";
    const std::string tree =
        "[/]\nTemplates=container\nWorld=container\n"
        "[/Templates/]\nPlaneView=container\nPaint=container\nHotSpot=container\n"
        "[/Templates/PlaneView/]\nType=str:PlaneView\n"
        "[/Templates/Paint/]\nType=str:Paint\nActive=long:1\nVisible=long:1\nTColor=long:5\n"
        "[/Templates/HotSpot/]\nType=str:HotSpot\nActive=long:1\nOnMouseEnter=script\n"
        "[/Templates/HotSpot/OnMouseEnter]\n" + script +
        "[/World/]\nRoom=container\n"
        "[/World/Room/]\nTemplate=str:PlaneView\nImageName=str:" + dir + "back.bmp\n"
        "Canvas=container\nSide=container\nTorn=container\nSlate=container\n"
        "[/World/Room/Canvas/]\nTemplate=str:Paint\nImageName=str:" + dir + "page.bmp\n"
        "Pos=rect:100, 100, 101, 101\nSColor=long:9\nOnLButtonDown=script\n"
        "[/World/Room/Canvas/OnLButtonDown]\n" + script +
        "[/World/Room/Side/]\nTemplate=str:HotSpot\nPos=rect:125, 90, 160, 120\n"
        "[/World/Room/Torn/]\nTemplate=str:Paint\nImageName=str:" + dir + "gone.bmp\n"
        "[/World/Room/Slate/]\nTemplate=str:Paint\nPos=rect:10, 10, 13, 12\n";
    m_base.Import(tree);
    ASSERT_EQ(m_machine.Init({}), err::kOk);
    m_machine.Calls().tool_mode = true;
    SetLogView(&m_warnings);
    m_world = std::make_unique<CWorld>(m_base.vb(), &m_machine, &m_rig.Queue(), true);
    m_world->SetDesktop(&m_rig.Desktop());
    m_world->RequestView("Room", {0, 0}, false);
    m_rig.Queue().DeliverDue(m_rig.Queue().Now(), 100);
    m_canvas = KindOf<CPaint>(m_world->FindByName("Canvas"));
    ASSERT_NE(m_canvas, nullptr);
  }
  void TearDown() override {
    m_world.reset();
    SetLogView(nullptr);
    m_machine.Shutdown();
  }
  void Send(uint32_t code, int x, int y) {
    m_rig.Desktop().SendEvent(m_rig.Desktop().Id(), code,
                              PackPoint({static_cast<int16_t>(x), static_cast<int16_t>(y)}), 0);
  }
  int Pixel(int x, int y) const { return m_canvas->Picture()->GetPixel(x, y); }

  CUiRig m_rig;
  CWarnings m_warnings;
  CScratchValueBase m_base;
  CScriptMachine m_machine;
  std::unique_ptr<CWorld> m_world;
  CPaint* m_canvas = nullptr;
};

TEST_F(PaintViewTest, APressPaintsAfterItsHandlerAndTheDragKeepsTheMouseUntilRelease) {
  EXPECT_EQ(m_warnings.lines, std::vector<std::string>{m_rig.Dir().Path() + "gone.bmp: INVALIDVALUE\n"});
  EXPECT_EQ(m_world->FindByName("Torn"), nullptr);
  Tracer().Configure("handlers", m_rig.Dir().Join("trace.txt").c_str());
  Send(kEvMouseMove, 102, 102);
  Send(kEvLeftDown, 102, 102);
  // Over the hot spot and past the canvas's right edge: still the canvas's.
  Send(kEvMouseMove, 130, 102);
  Send(kEvLeftUp, 130, 102);
  Send(kEvMouseMove, 131, 102);
  EXPECT_EQ(m_rig.TraceLines("handlers\t"),
            (std::vector<std::string>{
                "handlers\tcall\t0\tCanvas\tOnMouseEnter\tmissing",
                "handlers\tcall\t0\tRoom\tOnMouseEnter\tmissing\t102\t102\t\"Canvas\"",
                "handlers\tcall\t0\tRoom\tOnClick\tmissing\t102\t102\t\"Canvas\"",
                "handlers\tcall\t0\tCanvas\tOnLButtonDown\trun\t2\t2",
                "handlers\treturn\t0\tCanvas\tOnLButtonDown",
                "handlers\tcall\t0\tCanvas\tOnLButtonUp\tmissing\t30\t2",
                "handlers\tcall\t0\tCanvas\tOnMouseExit\tmissing",
                "handlers\tcall\t0\tCanvas\tOnMouseExit\tmissing",
                "handlers\tcall\t0\tRoom\tOnMouseExit\tmissing\t131\t102\t\"Canvas\"",
                "handlers\tcall\t0\tSide\tOnMouseEnter\trun",
                "handlers\treturn\t0\tSide\tOnMouseEnter",
                "handlers\tcall\t0\tRoom\tOnMouseEnter\tmissing\t131\t102\t\"Side\"",
            }));
  // The default round of 9 along row 2 from x = 2 onwards.
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x)
      ASSERT_EQ(Pixel(x, y), InRound(x, y, std::max(x, 2), 2, 9) ? 9 : 1) << x << ", " << y;
}

TEST_F(PaintViewTest, ACanvasWithoutPictureIsItsPosFilledWithTColor) {
  const CBitmap* slate = KindOf<CPaint>(m_world->FindByName("Slate"))->Picture();
  ASSERT_EQ(slate->Width(), 4);
  ASSERT_EQ(slate->Height(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(slate->GetPixel(x, y), 5);
}

TEST_F(PaintViewTest, ALoadedPictureIsCutAndPaddedAndSavedInTheViewsPalette) {
  const ConfigEntries out{{"/out/", "Trans, " + m_rig.Dir().Join("out/")}};
  m_rig.Dir().WriteFile("out/keep", "");
  ASSERT_EQ(MountFromConfig(out), err::kOk);
  ASSERT_EQ(m_canvas->LoadImage((m_rig.Dir().Path() + "strip.bmp").c_str()), err::kOk);
  EXPECT_EQ(m_canvas->LoadImage((m_rig.Dir().Path() + "gone.bmp").c_str()), err::kInvalidValue);
  ASSERT_EQ(m_canvas->Save(), err::kOk);
  ErrCode error = err::kOk;
  std::unique_ptr<CBitmap> saved = LoadBmp("/out/Canvas.bmp", &error, false);
  UnmountFromConfig(out);
  ASSERT_NE(saved, nullptr) << ErrName(error);
  ASSERT_EQ(saved->Width(), 20);
  ASSERT_EQ(saved->Height(), 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(saved->GetPixel(x, y), y < 2 ? 8 : 5) << x << ", " << y;
  // The view makes entry 0 white and 255 black.
  ASSERT_NE(saved->Palette(), nullptr);
  const SPalEntry white = saved->Palette()->Entries()[0], black = saved->Palette()->Entries()[255];
  EXPECT_EQ(white.red + white.green + white.blue, 3 * 255);
  EXPECT_EQ(black.red + black.green + black.blue, 0);
}

}  // namespace
