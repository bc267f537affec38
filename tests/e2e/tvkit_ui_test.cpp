// tvkit ui tree: templates built on a headless desktop, printed as the tree.
#include <fstream>
#include <sstream>
#include <tuple>

#include "gfx/gpl.h"
#include "gfx/palette.h"
#include "gfx/xpm.h"
#include "support/tvkit_fixture.h"

namespace {

// A shipped UI source file's text.
std::string ReadSource(const std::string& name) {
  std::ifstream in(std::string(TARVOLIN_UI_RES_DIR) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TvkitUiTest : public CTvkitTest {};

TEST_F(TvkitUiTest, TreeShowsWhatTheTemplateBuilds) {
  m_dir.WriteFile("Edge.ini", R"(
[Edge Params]
Rect = 100, 100, 499, 399
Style = MODAL

[Edge Objects]
Panel =
Hidden =
Derived =
Styled =

[Panel]
Type = Control
RectWH = 10, 20, 100, 50
Id = 0x10

[Hidden]
Type = window
Style = HIDDEN, !TRANSPARENT
Rect = 0, 0, 9, 9

[Base]
Type = Button
Id = 7
RectWH = 0, 0, 40, 20

[Derived]
Template = Base
Id = 8

[Styled]
Type = Button
Style = FOO, TABSTOP
RectWH = 50, 0, 40, 20
)");
  ExpectRun({"ui", "tree", m_dir.Join("Edge.ini")}, 0,
            "CDesktop@0,0,639,479 style=0x00000032\n"
            "  CUIDialog#0x0@100,100,499,399 style=0x00000402 section=\"Edge\"\n"
            "    CUIButton#0x0@150,100,189,119 style=0x00000402 section=\"Styled\"\n"
            "      state: 0 row: 0\n"
            "    CUIButton#0x8@100,100,139,119 style=0x00000002 section=\"Derived\"\n"
            "      state: 0 row: 0\n"
            "    CWindow@100,100,109,109 style=0x00000000\n"
            "    CUIControl#0x10@110,120,209,169 style=0x00000002 section=\"Panel\"\n",
            "Unknown style: FOO\n", {{"TARVOLIN_LOG", "1"}});
  ExpectRun({"ui", "tree", m_dir.Join("Missing.ini")}, 1, "", "error: FILENOTFOUND\n");
}

TEST_F(TvkitUiTest, AGameFolderMountsWhatItsToolIniMounts) {
  // Relative folders are the game folder's, wherever tvkit runs.
  m_dir.WriteFile("game/tool.ini", "[FS]\n/UI/=Trans, ./ui/\n");
  m_dir.WriteFile("game/ui/Small.ini",
                  "[Small Params]\nRectWH = 10, 10, 100, 50\n[Small Objects]\nBack =\n"
                  "[Back]\nTemplate = /Tool Interface/Shared/Controls.ini, Background\n"
                  "RectWH = 0, 0, 100, 50\n");
  ExpectRun({"ui", "tree", "/UI/Small.ini", "--game", m_dir.Join("game")}, 0,
            "CDesktop@0,0,639,479 style=0x00000032\n"
            "  CUIDialog#0x0@10,10,109,59 style=0x00000002 section=\"Small\"\n"
            "    CUIBkgnd#0x0@10,10,109,59 style=0x00000002 section=\"Back\"\n",
            "");
  ExpectRun({"ui", "tree", "/UI/Small.ini"}, 1, "", "error: PATHNOTFOUND\n");
  ExpectRun({"ui", "tree", "/UI/Small.ini", "--game", m_dir.Join("none")}, 1, "",
            "error: PATHNOTFOUND\n");
}

TEST_F(TvkitUiTest, ShowPrintsNotificationsUntilTheDialogEnds) {
  m_dir.WriteFile("Ask.ini", R"(
[Ask Params]
RectWH = 100, 100, 300, 200
Enter = Ok
Esc = Cancel

[Ask Objects]
Ok =
Cancel =

[Ok]
Type = Button
Id = 1
RectWH = 20, 150, 100, 30

[Cancel]
Template = Ok
Id = 2
RectWH = 180, 150, 100, 30
)");
  const auto show = [&](const std::string& script, const std::string& out) {
    m_dir.WriteFile("input.txt", script);
    ExpectRun({"ui", "show", m_dir.Join("Ask.ini")}, 0, out, "",
              {{"TARVOLIN_PLATFORM", "headless"}, {"TARVOLIN_INPUT", m_dir.Join("input.txt")}});
  };
  show("100 move 150 260\n200 ldown 150 260\n300 lup 150 260\n",
       "100\tnotify\t0x12345606\t0x1\t0x0\n"
       "200\tnotify\t0x12345606\t0x3\t0x1\n"
       "300\tnotify\t0x12345606\t0x1\t0x3\n"
       "300\tnotify\t0x12345604\t0x1\t0x0\n"
       "300\tend\t0x1\n");
  show("100 key esc\n", "100\tnotify\t0x12345604\t0x2\t0x0\n100\tend\t0x2\n");
  show("100 close\n", "100\tend\t0x0\n");
  // Another palette: the shot's colour table is the file's.
  m_dir.WriteFile("two.gpl", "GIMP Palette\n1 2 3\n250 251 252\n");
  m_dir.WriteFile("input.txt", "100 shot " + m_dir.Join("shot.bmp") + "\n200 quit\n");
  const std::map<std::string, std::string> headless = {
      {"TARVOLIN_PLATFORM", "headless"}, {"TARVOLIN_INPUT", m_dir.Join("input.txt")}};
  ExpectRun({"ui", "show", m_dir.Join("Ask.ini"), "--palette", m_dir.Join("two.gpl")}, 0,
            "200\tend\t0x0\n", "", headless);
  // BMP palette entries are blue, green, red, 0, after the 54 header bytes.
  EXPECT_EQ(m_dir.ReadFile("shot.bmp").substr(54, 12),
            std::string("\x03\x02\x01\x00\xFC\xFB\xFA\x00\x00\x00\x00\x00", 12));
  ExpectRun({"ui", "show", m_dir.Join("Ask.ini"), "--palette", m_dir.Join("none.gpl")}, 1, "",
            "error: FILENOTFOUND\n", headless);
}

TEST_F(TvkitUiTest, BoxAnswersWithTheButtonChosen) {
  // The box (120,150)-(519,329); Yes (224,288)-(313,313), No (326,288)-(415,313).
  const auto box = [&](const std::string& script, const std::string& answer) {
    m_dir.WriteFile("input.txt", script);
    ExpectRun({"ui", "box", "--flags", "4", "Confirm", "Delete?"}, 0, answer + "\n",
              "Confirm: Delete?\n",
              {{"TARVOLIN_PLATFORM", "headless"}, {"TARVOLIN_INPUT", m_dir.Join("input.txt")}});
  };
  box("100 key enter\n", "6");
  box("100 key esc\n", "7");
  box("100 move 370 300\n110 ldown 370 300\n120 lup 370 300\n", "7");
  // Clicks outside the box reach nothing; the box still takes Enter.
  box("100 move 10 10\n110 ldown 10 10\n120 lup 10 10\n200 key enter\n", "6");
}


// The shipped gallery driven by input scripts. Its plain button covers
// (24,64)-(103,87), the double-click one starts at x 112, the repeating one
// at x 200; the toggle is (24,108)-(103,131). The fruit list's rows are 15
// pixels high from y 32; its bar is control 0xB. The name edit (0x14) has
// the focus; OK is 0x64, Close 0x65.
class TvkitGalleryTest : public CTvkitTest {
 protected:
  std::string Show(const std::string& script) {
    m_dir.WriteFile("input.txt", script);
    const SProcessResult run =
        Run({"ui", "show", "/Tool Interface/Gallery/Gallery.ini"},
            {{"TARVOLIN_PLATFORM", "headless"}, {"TARVOLIN_INPUT", m_dir.Join("input.txt")}});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    return run.out;
  }
  // The notifications of `code` in what Show printed: "<ms> <p1> <p2>".
  static std::vector<std::string> Reports(const std::string& out, const std::string& code) {
    std::vector<std::string> found;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
      std::istringstream fields(line);
      std::string ms, kind, seen, p1, p2;
      fields >> ms >> kind >> seen >> p1 >> p2;
      if (seen == code) found.push_back(ms + " " + p1 + " " + p2);
    }
    return found;
  }
};

TEST_F(TvkitGalleryTest, ButtonsReportTheirStatesPressesRepeatsDoubleClicksAndRows) {
  const std::string click = Show("100 move 50 75\n200 ldown 50 75\n300 lup 50 75\n400 quit\n");
  EXPECT_EQ(Reports(click, "0x12345606"),
            (std::vector<std::string>{"100 0x1 0x0", "200 0x3 0x1", "300 0x1 0x3"}));
  EXPECT_EQ(Reports(click, "0x12345604"), std::vector<std::string>{"300 0x1 0x0"});
  // A double click on the same button reports itself (leaving it between the
  // presses: controls_test).
  const std::string twice =
      Show("100 move 150 75\n110 ldown 150 75\n120 lup 150 75\n130 ldbl 150 75\n140 lup 150 75\n"
           "200 quit\n");
  EXPECT_EQ(Reports(twice, "0x12345604"), std::vector<std::string>{"120 0x2 0x0"});
  EXPECT_EQ(Reports(twice, "0x12345607"), std::vector<std::string>{"140 0x2 0x0"});
  const std::string held = Show("0 move 240 75\n0 ldown 240 75\n2000 lup 240 75\n2100 quit\n");
  EXPECT_EQ(Reports(held, "0x12345604"),
            (std::vector<std::string>{"1000 0x3 0x0", "1300 0x3 0x0", "1600 0x3 0x0",
                                      "1900 0x3 0x0", "2000 0x3 0x0"}));
  const std::string toggled =
      Show("100 move 50 120\n110 ldown 50 120\n120 lup 50 120\n130 ldown 50 120\n"
           "140 lup 50 120\n150 ldown 50 120\n160 lup 50 120\n200 quit\n");
  EXPECT_EQ(Reports(toggled, "0x12345604"),
            (std::vector<std::string>{"120 0x4 0x1", "140 0x4 0x0", "160 0x4 0x1"}));
}

TEST_F(TvkitGalleryTest, APressShowsTheFacesPressedCellPixelForPixel) {
  Show("100 move 50 75\n200 ldown 50 75\n300 shot " + m_dir.Join("pressed.bmp") +
       "\n400 lup 50 75\n500 quit\n");
  SXpmImage face;
  CPalette palette;
  ASSERT_EQ(ParseXpm(ReadSource("Shared/button.xpm"), &face), err::kOk);
  ASSERT_EQ(ParseGpl(ReadSource("Shared/ui.gpl"), &palette), err::kOk);
  // The fourth of five 80 x 24 columns, first row; clear pixels show the
  // frame behind and are left out.
  const std::string shot = m_dir.ReadFile("pressed.bmp");
  ASSERT_EQ(shot.size(), 54u + 1024u + 640u * 480u);
  int compared = 0;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 80; ++x) {
      const SXpmColour& colour = face.colours[face.pixels[y * face.width + 240 + x]];
      if (colour.none) continue;
      const auto shown = static_cast<uint8_t>(shot[54 + 1024 + (479 - (64 + y)) * 640 + 24 + x]);
      const SPalEntry& entry = palette.Entries()[shown];
      ASSERT_EQ(std::tie(entry.red, entry.green, entry.blue),
                std::tie(colour.red, colour.green, colour.blue))
          << x << "," << y;
      ++compared;
    }
  EXPECT_GT(compared, 80 * 24 - 8);
}

TEST_F(TvkitGalleryTest, KeysWheelAndListClicksNotifyAndTheDumpShowsTheState) {
  const std::string typed = Show("100 text ab\n200 key home +shift\n300 dump " +
                                 m_dir.Join("dump.txt") + "\n400 quit\n");
  EXPECT_EQ(Reports(typed, "0x12345630").size(), 2u);
  EXPECT_EQ(Reports(typed, "0x12345631").at(1), "100 0x14 0x10003");
  const std::string dump = m_dir.ReadFile("dump.txt");
  for (const char* expected : {"focus section=\"Name\"", "text: ab\n", "caret: 1,1", "sel: 1,1-1,3",
                               "row: Apple\n", "node: +Animals"})
    EXPECT_NE(dump.find(expected), std::string::npos) << expected;
  // Enter in the name reports itself, then presses OK; Escape presses Close.
  const std::string entered = Show("100 key enter\n");
  EXPECT_EQ(Reports(entered, "0x12345632"), std::vector<std::string>{"100 0x14 0x0"});
  EXPECT_NE(entered.find("100\tend\t0x64\n"), std::string::npos);
  EXPECT_NE(Show("100 key esc\n").find("100\tend\t0x65\n"), std::string::npos);
  // Tab leaves the name for the notes; Shift+Tab comes back.
  Show("100 key tab\n110 dump " + m_dir.Join("tab.txt") + "\n120 key tab +shift\n130 dump " +
       m_dir.Join("back.txt") + "\n200 quit\n");
  EXPECT_NE(m_dir.ReadFile("tab.txt").find("focus section=\"Notes\""), std::string::npos);
  EXPECT_NE(m_dir.ReadFile("back.txt").find("focus section=\"Name\""), std::string::npos);
  // A wheel step down moves the list 3 rows, and its bar reports; a click on
  // the third row shown (Date) selects it, a double click activates it.
  const std::string listed =
      Show("100 wheel 400 80 -1\n200 move 400 69\n210 ldown 400 69\n220 lup 400 69\n"
           "230 ldbl 400 69\n240 lup 400 69\n300 quit\n");
  EXPECT_EQ(Reports(listed, "0x12345620"), std::vector<std::string>{"100 0xB 0x3"});
  EXPECT_EQ(Reports(listed, "0x12345610"), std::vector<std::string>{"210 0xA 0x5"});
  EXPECT_EQ(Reports(listed, "0x12345611"), std::vector<std::string>{"230 0xA 0x5"});
}

}  // namespace
