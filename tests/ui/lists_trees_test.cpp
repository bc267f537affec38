// Lists and trees built from a template and driven by input scripts: what
// they report and in which order, their selection, scrolling and nodes.
// Rows are 10 pixels high (the test font's line height).
#include <gtest/gtest.h>

#include <filesystem>
#include <span>

#include "gfx/font.h"
#include "ui/list.h"
#include "ui/tree.h"
#include "ui_rig.h"

namespace {

using TLines = std::vector<std::string>;

// Names: rows Ann..Gus at y 10, 20, ... with five shown; Multi: rows A..E at
// y 100, 110, ...; Animals: marks at x 202, labels from x 214; Options: check
// boxes at x 414, labels from x 426.
const char kTemplate[] = R"(
[L Params]
RectWH = 0, 0, 640, 480

[L Objects]
Bar =
Names =
Multi =
Animals =
Options =

[Bar]
Type = Scroll
Id = 9
Style = VSCROLL
RectWH = 110, 10, 10, 50

[Names]
Type = List
Id = 1
RectWH = 10, 10, 100, 50
Items = Ann|Bob|Cid|Dan|Eve|Fay|Gus
ScrollID = 9

[Multi]
Type = List
Id = 2
Style = MULTISEL
RectWH = 10, 100, 100, 50
Items = A|B|C|D|E

[Animals]
Type = Tree
Id = 3
Style = SORTEDALPHABETICAL, SORTEDFOLDERSFILES
RectWH = 200, 10, 150, 100
Items = zebra|Birds|>owl|>Crow|ant|Cats|>Lion

[Options]
Type = OptionList
Id = 4
RectWH = 400, 10, 150, 100
Items = Sound|>Music|>Effects|Subtitles
)";

struct SPlayed {
  TLines notes;    // the lists' and trees' reports, without their times
  TLines details;  // of the control asked for
};

// A dialog that takes a tree away when it hears that a node opens.
class CTreeTaker : public CRecordingDialog {
 public:
  explicit CTreeTaker(CWindow* parent) : CRecordingDialog(parent) {}
  uint32_t OnEvent(const SEventRecord& record) override {
    if (record.code == kNotifyTreeOpen) delete FindControl(this, record.p1);
    return CRecordingDialog::OnEvent(record);
  }
};

// Lines of 10 pixels; 'a' ... 'z' are 10 pixels wide and leave no ink.
std::unique_ptr<CFont> MakeFont() {
  auto font = std::make_unique<CFont>(10, 8, 'a');
  for (char c = 'a'; c <= 'z'; ++c) font->AddGlyph({0, 0, 0, 0, 10}, nullptr);
  return font;
}

template <class TDialog = CRecordingDialog>
SPlayed Play(const std::string& script, uint32_t id, const char* text = kTemplate) {
  const std::unique_ptr<CFont> font = MakeFont();
  CUiRig rig(script);
  rig.Desktop().SetResources(rig.Desktop().Resources(), font.get());
  rig.Dir().WriteFile("L.ini", text);
  auto* dialog = new TDialog(&rig.Desktop());
  EXPECT_EQ(dialog->LoadTemplate(rig.Dir().Join("L.ini")), err::kOk);
  rig.Run();
  SPlayed played;
  for (const std::string& report : dialog->reports)
    for (const char* code : {"1234561", "1234564", "1234565"})
      if (report.starts_with(code)) played.notes.push_back(report.substr(0, report.find(" @")));
  if (CUIControl* control = FindControl(dialog, id)) control->DescribeDetails(&played.details);
  return played;
}

// The selected rows and the scroll line.
TLines Marked(const TLines& details) {
  TLines marked;
  for (const std::string& line : details)
    if (line.starts_with("row*") || line.starts_with("scroll")) marked.push_back(line);
  return marked;
}

struct SCase {
  std::string script;
  TLines notes;
  TLines details;
};

// Plays each case on control `id`; `marked` compares only the details that
// Marked keeps.
void ExpectPlays(std::span<const SCase> cases, uint32_t id, const char* text = kTemplate,
                 bool marked = false) {
  for (const SCase& c : cases) {
    SCOPED_TRACE(c.script);
    const SPlayed played = Play(c.script, id, text);
    EXPECT_EQ(played.notes, c.notes);
    EXPECT_EQ(marked ? Marked(played.details) : played.details, c.details);
  }
}

const char kClickAnn[] = "100 ldown 20 15\n101 lup 20 15\n";

TEST(ListTest, ClicksKeysAndTheWheelSelectScrollAndReport) {
  const std::string ann = kClickAnn;
  const SCase cases[] = {
      {"100 ldown 20 25\n110 lup 20 25\n", {"12345610 1 1"}, {"row*: Bob", "scroll: 0/2"}},
      {"100 ldown 20 25\n110 lup 20 25\n130 ldbl 20 25\n140 lup 20 25\n",
       {"12345610 1 1", "12345611 1 1"},
       {"row*: Bob", "scroll: 0/2"}},
      {ann + "200 key down\n210 key down\n220 key enter\n",
       {"12345610 1 0", "12345610 1 1", "12345610 1 2", "12345611 1 2"},
       {"row*: Cid", "scroll: 0/2"}},
      // Already at the top: nothing changes, nothing is reported.
      {ann + "200 key up\n", {"12345610 1 0"}, {"row*: Ann", "scroll: 0/2"}},
      {ann + "200 key end\n", {"12345610 1 0", "12345610 1 6"},
       {"row*: Gus", "scroll: 2/2"}},
      // A page is one row less than shown; Page Up from the bottom stays in view.
      {ann + "200 key pagedown\n210 key pagedown\n220 key pageup\n",
       {"12345610 1 0", "12345610 1 4", "12345610 1 6", "12345610 1 2"},
       {"row*: Cid", "scroll: 2/2"}},
      // Three rows a step, kept in range.
      {"100 wheel 20 25 -1\n", {}, {"scroll: 2/2"}},
      {"100 wheel 20 25 -1\n110 wheel 20 25 1\n", {}, {"scroll: 0/2"}},
      // The bar pages the list, so the top row shown is Cid.
      {"100 ldown 115 55\n110 lup 115 55\n200 ldown 20 15\n210 lup 20 15\n", {"12345610 1 2"},
       {"row*: Cid", "scroll: 2/2"}},
      // Without MULTISEL, Ctrl clicks select one row.
      {ann + "200 ldown 20 35 +ctrl\n210 lup 20 35\n",
       {"12345610 1 0", "12345610 1 2"},
       {"row*: Cid", "scroll: 0/2"}},
  };
  ExpectPlays(cases, 1, kTemplate, true);
}

TEST(ListTest, MultiSelectTogglesWithCtrlAndExtendsWithShift) {
  const SCase cases[] = {
      {"100 ldown 20 105\n110 lup 20 105\n200 ldown 20 125 +shift\n210 lup 20 125\n",
       {"12345610 2 0", "12345610 2 2"},
       {"row*: A", "row*: B", "row*: C"}},
      {"100 ldown 20 105\n110 lup 20 105\n200 ldown 20 125 +ctrl\n210 lup 20 125\n"
       "300 ldown 20 105 +ctrl\n310 lup 20 105\n",
       {"12345610 2 0", "12345610 2 2", "12345610 2 0"},
       {"row*: C"}},
      {"100 ldown 20 115\n110 lup 20 115\n200 key down +shift\n210 key down +shift\n",
       {"12345610 2 1", "12345610 2 2", "12345610 2 3"},
       {"row*: B", "row*: C", "row*: D"}},
      // Shift extends from the row clicked last, Ctrl or not.
      {"100 ldown 20 115\n110 lup 20 115\n200 ldown 20 135 +ctrl\n210 lup 20 135\n"
       "300 ldown 20 145 +shift\n310 lup 20 145\n",
       {"12345610 2 1", "12345610 2 3", "12345610 2 4"},
       {"row*: D", "row*: E"}},
      // Ctrl moves the caret alone; Enter activates the caret row.
      {"100 ldown 20 105\n110 lup 20 105\n200 key down +ctrl\n210 key enter\n",
       {"12345610 2 0", "12345611 2 1"},
       {"row*: A"}},
  };
  ExpectPlays(cases, 2, kTemplate, true);
}

TEST(ListTest, ADisabledListTakesNeitherClicksNorFocus) {
  const char text[] =
      "[L Params]\nRectWH = 0, 0, 640, 480\n[L Objects]\nOff =\n"
      "[Off]\nType = List\nId = 5\nStyle = DISABLED\nRectWH = 10, 10, 100, 50\nItems = A|B\n";
  const SPlayed played = Play("100 ldown 20 15\n110 lup 20 15\n200 key down\n", 5, text);
  EXPECT_TRUE(played.notes.empty());
  EXPECT_EQ(played.details, (TLines{"row: A", "row: B"}));
}

TEST(ListTest, AHugeListScrollsByTheWheelAndDumpsItsFirstRows) {
  CFont font(10, 8, ' ');
  CUiRig rig("100 wheel 20 20 -2\n");
  rig.Desktop().SetResources(rig.Desktop().Resources(), &font);
  auto* list = new CUISList(&rig.Desktop());
  list->SetRect({10, 10, 109, 59}, false, false);
  for (int row = 0; row < 10000; ++row) list->AddRow("r" + std::to_string(row));
  list->Select(9999);
  EXPECT_EQ(list->TopRow(), 9995);
  list->Select(0);
  rig.Run();
  EXPECT_EQ(list->TopRow(), 6);
  EXPECT_EQ(list->Selection(), 0);
  TLines details;
  list->DescribeDetails(&details);
  ASSERT_EQ(details.size(), 101u);
  EXPECT_EQ(details[0], "row*: r0");
  EXPECT_EQ(details[99], "row: r99");
  EXPECT_EQ(details[100], "more: 9900");
}

TEST(DrawTest, SelectedRowsAreFilledInTheirColours) {
  const char text[] =
      "[L Params]\nRectWH = 0, 0, 640, 480\n[L Objects]\nPaint =\nNodes =\n"
      "[Paint]\nType = List\nId = 6\nRectWH = 10, 10, 100, 50\nItems = A|B|C\n"
      "BkColor = 6\nSelected = 5\n"
      "[Nodes]\nType = Tree\nId = 7\nStyle = DRAWSELECTION\nRectWH = 200, 10, 100, 50\n"
      "Items = a|b\nSelBkColor = 4\n";
  const std::unique_ptr<CFont> font = MakeFont();
  CUiRig rig("100 ldown 20 25\n110 lup 20 25\n200 ldown 250 25\n210 lup 250 25\n");
  rig.Desktop().SetResources(rig.Desktop().Resources(), font.get());
  rig.Dir().WriteFile("L.ini", text);
  auto* dialog = new CUIDialog(&rig.Desktop());
  ASSERT_EQ(dialog->LoadTemplate(rig.Dir().Join("L.ini")), err::kOk);
  rig.Run();
  rig.Desktop().Invalidate(rig.Desktop().GetRect(), nullptr, false);
  rig.Desktop().Present();
  const SPresentedFrame shown = rig.Top().PlatformWindow()->Presented();
  const auto at = [&](int x, int y) { return shown.pixels[y * shown.width + x]; };
  const struct {
    int x, y;
    uint8_t colour;
  } pixels[] = {
      {50, 19, 6}, {50, 20, 5}, {109, 29, 5}, {50, 30, 6},  // list rows 0, 1, 2
      {250, 19, 255}, {250, 20, 4}, {299, 29, 4}, {250, 30, 255},  // tree rows 0, 1, below
  };
  for (const auto& p : pixels) EXPECT_EQ(at(p.x, p.y), p.colour) << p.x << "," << p.y;
}

TEST(TreeTest, KeysAndClicksOpenCloseAndSelectNodes) {
  const std::string birds = "100 ldown 240 15\n110 lup 240 15\n";
  const SCase cases[] = {
      {"", {}, {"node: +Birds", "node: +Cats", "node: .ant", "node: .zebra"}},
      {birds + "200 key right\n",
       {"12345640 3 1", "12345641 3 1"},
       {"node*: -Birds", "node:   .Crow", "node:   .owl", "node: +Cats", "node: .ant",
        "node: .zebra"}},
      // Right steps into the open node, Left steps out, then closes.
      {birds + "200 key right\n210 key right\n220 key left\n230 key left\n",
       {"12345640 3 1", "12345641 3 1", "12345640 3 3", "12345640 3 1"},
       {"node*: +Birds", "node: +Cats", "node: .ant", "node: .zebra"}},
      // A click on the box opens without selecting.
      {"100 ldown 205 25\n110 lup 205 25\n",
       {"12345641 3 5"},
       {"node: +Birds", "node: -Cats", "node:   .Lion", "node: .ant", "node: .zebra"}},
      // Closing over the selection moves it to the closed node.
      {"100 ldown 205 25\n110 lup 205 25\n200 ldown 240 35\n210 lup 240 35\n"
       "300 ldown 205 25\n310 lup 205 25\n",
       {"12345641 3 5", "12345640 3 6", "12345640 3 5"},
       {"node: +Birds", "node*: +Cats", "node: .ant", "node: .zebra"}},
      {"100 ldown 240 35\n110 lup 240 35\n200 key down\n210 key down\n220 key home\n",
       {"12345640 3 4", "12345640 3 0", "12345640 3 1"},
       {"node*: +Birds", "node: +Cats", "node: .ant", "node: .zebra"}},
      // Enter opens and closes; opening is reported, closing is not.
      {birds + "200 key enter\n210 key enter\n",
       {"12345640 3 1", "12345641 3 1"},
       {"node*: +Birds", "node: +Cats", "node: .ant", "node: .zebra"}},
      {"100 ldown 240 25\n110 lup 240 25\n120 ldbl 240 25\n130 lup 240 25\n",
       {"12345640 3 5", "12345641 3 5"},
       {"node: +Birds", "node*: -Cats", "node:   .Lion", "node: .ant", "node: .zebra"}},
  };
  ExpectPlays(cases, 3);
}

TEST(TreeTest, OptionsToggleByTheirBoxOrSpace) {
  const SCase cases[] = {
      {"100 ldown 418 25\n110 lup 418 25\n",
       {"12345640 4 3", "12345650 4 3"},
       {"node: +[ ] Sound", "node*: .[x] Subtitles"}},
      {"100 ldown 440 15\n110 lup 440 15\n200 key space\n210 key right\n220 key down\n"
       "230 key space\n",
       {"12345640 4 0", "12345650 4 0", "12345641 4 0", "12345640 4 1", "12345650 4 1"},
       {"node: -[x] Sound", "node*:   .[x] Music", "node:   .[ ] Effects",
        "node: .[ ] Subtitles"}},
  };
  ExpectPlays(cases, 4);
}

TEST(TreeTest, AHorizontalBarShiftsTheNodesByIndents) {
  // The label is 200 pixels wide: with its box the row needs 18 indents of
  // 12, and 12 are shown.
  const char text[] =
      "[L Params]\nRectWH = 0, 0, 640, 480\n[L Objects]\nHBar =\nLong =\n"
      "[HBar]\nType = Scroll\nId = 8\nRectWH = 10, 200, 150, 10\n"
      "[Long]\nType = Tree\nId = 7\nRectWH = 10, 10, 150, 100\nHScrollID = 8\n"
      "Items = abcdefghijklmnopqrst|>ab\n";
  const SCase cases[] = {
      {"", {}, {"node: +abcdefghijklmnopqrst", "hscroll: 0/6"}},
      {"200 ldown 15 15\n210 lup 15 15\n",
       {"12345641 7 0"},
       {"node: -abcdefghijklmnopqrst", "node:   .ab", "hscroll: 0/6"}},
      // Paged right, the box has gone past the left edge: the click selects.
      {"100 ldown 150 205\n110 lup 150 205\n200 ldown 15 15\n210 lup 15 15\n",
       {"12345640 7 0"},
       {"node*: +abcdefghijklmnopqrst", "hscroll: 6/6"}},
  };
  ExpectPlays(cases, 7, text);
}

TEST(TreeTest, ATreeTakenAwayWhileOpeningIsNotTouchedAgain) {
  const SPlayed played = Play<CTreeTaker>(
      "100 ldown 240 15\n110 lup 240 15\n200 key right\n210 key down\n", 3);
  EXPECT_EQ(played.notes, (TLines{"12345640 3 1", "12345641 3 1"}));
  EXPECT_TRUE(played.details.empty());
}

TEST(TreeTest, SortedOrdersPutFoldersAndNamesInPlace) {
  const struct {
    uint32_t style;
    TLines roots;
  } cases[] = {
      {0, {"c", "b", "D", "A"}},
      {kTreeSortedAlphabetical, {"A", "b", "c", "D"}},
      {kTreeSortedFoldersFiles, {"D", "A", "c", "b"}},
      {kTreeSortedFilesFolders, {"c", "b", "D", "A"}},
      {kTreeSortedAlphabetical | kTreeSortedFilesFolders, {"b", "c", "A", "D"}},
      {kTreeSortedAlphabetical | kTreeSortedFoldersFiles, {"A", "D", "b", "c"}},
  };
  CUiRig rig;
  for (const auto& c : cases) {
    auto* tree = new CCommonTreeBox(&rig.Desktop());
    tree->SetStyle(tree->GetStyle() | c.style, false);
    tree->AddNode(CUITree::kNoNode, "c", 0);
    tree->AddNode(CUITree::kNoNode, "b", 1);
    // D and A become folders when their children come.
    tree->AddNode(tree->AddNode(CUITree::kNoNode, "D", 2), "y", 3);
    tree->AddNode(tree->AddNode(CUITree::kNoNode, "A", 4), "x", 5);
    TLines roots;
    for (int node : tree->Children(CUITree::kNoNode)) roots.push_back(tree->NodeLabel(node));
    EXPECT_EQ(roots, c.roots) << c.style;
    delete tree;
  }
}

TEST(DirTreeTest, ListsMountsAndTheFoldersOfAnOpenedFolder) {
  CUiRig rig;
  std::filesystem::create_directory(rig.Dir().Join("b"));
  std::filesystem::create_directory(rig.Dir().Join("A"));
  rig.Dir().WriteFile("A/file.txt", "x");
  auto* tree = new CDirTreeBox(&rig.Desktop());
  tree->ShowMounts();
  ASSERT_EQ(tree->Children(CUITree::kNoNode).size(), 1u);
  EXPECT_EQ(tree->NodeLabel(tree->Children(CUITree::kNoNode)[0]), ".");
  const int root = tree->AddFolder(CUITree::kNoNode, "rig", rig.Dir().Path());
  ASSERT_TRUE(tree->Open(root));
  ASSERT_EQ(tree->Children(root).size(), 2u);
  const int a = tree->Children(root)[0];
  EXPECT_EQ(tree->Path(a), rig.Dir().Path() + "A");
  ASSERT_TRUE(tree->Open(a));
  TLines details;
  tree->DescribeDetails(&details);
  // A holds no folder: it is a leaf now, and goes after the folders.
  EXPECT_EQ(details, (TLines{"node: +.", "node: -rig", "node:   +b", "node:   .A"}));
}

}  // namespace
