// tvkit ui tree: templates built on a headless desktop, printed as the tree.
#include "support/tvkit_fixture.h"

namespace {

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

}  // namespace
