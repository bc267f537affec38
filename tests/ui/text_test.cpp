// Texts and edits built from a template and driven by input scripts: their
// reports in order, their dump lines, the style bits that bound what they
// take, their bar, and the caret's blink.
#include <gtest/gtest.h>

#include <functional>

#include "gfx/font.h"
#include "ui/event_queue.h"
#include "ui/scroll.h"
#include "ui/text.h"
#include "ui_rig.h"

namespace {

// Blank glyphs 6 pixels wide on lines 10 high.
std::unique_ptr<CFont> MakeFont() {
  auto font = std::make_unique<CFont>(10, 8, ' ');
  for (int c = ' '; c <= 0xFF; ++c) font->AddGlyph(SGlyph{0, 0, 0, 0, 6}, nullptr);
  return font;
}

// Records the text reports and presses that reach it, named.
class CTextDialog : public CUIDialog {
 public:
  explicit CTextDialog(CWindow* parent) : CUIDialog(parent) {}
  uint32_t OnEvent(const SEventRecord& record) override {
    const std::string id = std::to_string(record.p1);
    switch (record.code) {
      case kNotifyTextChanged:
        reports.push_back("changed " + id + " " + std::to_string(record.p2));
        break;
      case kNotifyCaretMoved:
        reports.push_back("caret " + id + " " + std::to_string(record.p2 >> 16) + "," +
                          std::to_string(record.p2 & 0xFFFF));
        break;
      case kNotifyTextEnter:
        reports.push_back("enter " + id);
        break;
      case kNotifyPressed:
        reports.push_back("pressed " + id);
        break;
      default:
        return CUIDialog::OnEvent(record);
    }
    if (on_report) on_report(*this);
    return 0;
  }
  std::vector<std::string> reports;
  std::function<void(CTextDialog&)> on_report;
};

// The field is a line of 100 x 20 pixels (two rows) at (10, 10), focused;
// `keys` end its section.
const char kTemplate[] = R"(
[T Params]
RectWH = 0, 0, 640, 480
Focus = Field
Enter = Ok

[T Objects]
Ok =
Bar =
Field =

[Ok]
Type = Button
Id = 9
RectWH = 300, 300, 40, 20

[Bar]
Type = Scroll
Style = VSCROLL
Id = 5
RectWH = 200, 10, 10, 40

[Field]
Id = 1
RectWH = 10, 10, 100, 20
TextColor = 7
)";

struct SRun {
  std::vector<std::string> reports;
  std::vector<std::string> details;
  std::string text;
};

struct SRig {
  std::unique_ptr<CFont> font;
  CUiRig rig;
  CTextDialog* dialog = nullptr;

  // Without a font, the desktop has none either.
  SRig(const std::string& keys, const std::string& script,
       std::unique_ptr<CFont> with = MakeFont())
      : font(std::move(with)), rig(script) {
    rig.Desktop().SetResources(rig.Desktop().Resources(), font.get());
    rig.Dir().WriteFile("T.ini", kTemplate + keys);
    dialog = new CTextDialog(&rig.Desktop());
    EXPECT_EQ(dialog->LoadTemplate(rig.Dir().Join("T.ini")), err::kOk);
    // Modal, the dialog gives its Focus control the focus unless disabled.
    dialog->DoModal({});
  }
  CUIText* Field() const { return KindOf<CUIText>(FindControl(dialog, 1)); }
  SRun Run() {
    rig.Run();
    SRun run{dialog->reports, {}, {}};
    if (CUIText* field = Field()) {
      field->DescribeDetails(&run.details);
      run.text = field->Text();
    }
    return run;
  }
};

using TLines = std::vector<std::string>;

struct SCase {
  const char* name;
  const char* keys;
  const char* script;
  TLines reports;
  TLines details;
  const char* text;
  bool with_font = true;
};

const SCase kCases[] = {
    {"typing reports the change, then the caret", "Type = Edit\n", "10 text ab\n",
     {"changed 1 1", "caret 1 1,2", "changed 1 2", "caret 1 1,3"},
     {"text: ab", "caret: 1,3"}, "ab"},
    {"without a font typing still works", "Type = Edit\n", "10 text ab\n",
     {"changed 1 1", "caret 1 1,2", "changed 1 2", "caret 1 1,3"},
     {"text: ab", "caret: 1,3"}, "ab", false},
    {"shift extends and a character replaces the selection", "Type = Edit\nText = abcd\n",
     "10 key home\n20 key right +shift\n30 key right +shift\n40 text X\n",
     {"caret 1 1,1", "caret 1 1,2", "caret 1 1,3", "changed 1 3", "caret 1 1,2"},
     {"text: Xcd", "caret: 1,2"}, "Xcd"},
    {"left collapses a selection to its start", "Type = Edit\nText = abcd\n",
     "10 key left +shift\n20 key left +shift\n30 key left\n",
     {"caret 1 1,4", "caret 1 1,3"}, {"text: abcd", "caret: 1,3"}, "abcd"},
    {"backspace moves the caret, delete does not", "Type = Edit\nText = abc\n",
     "10 key left\n20 key back\n30 key delete\n",
     {"caret 1 1,3", "changed 1 2", "caret 1 1,2", "changed 1 1"},
     {"text: a", "caret: 1,2"}, "a"},
    {"backspace at the start changes nothing", "Type = Edit\nText = ab\n",
     "10 key home\n20 key back\n", {"caret 1 1,1"}, {"text: ab", "caret: 1,1"}, "ab"},
    {"a number takes digits only", "Type = Edit\nStyle = NUMBER\n", "10 text a1b2\n",
     {"changed 1 1", "caret 1 1,2", "changed 1 2", "caret 1 1,3"},
     {"text: 12", "caret: 1,3"}, "12"},
    {"a secure text shows stars", "Type = Edit\nStyle = SECURE\n", "10 text pw\n",
     {"changed 1 1", "caret 1 1,2", "changed 1 2", "caret 1 1,3"},
     {"text: **", "caret: 1,3"}, "pw"},
    {"the buffer size bounds typing", "Type = Edit\nBufSize = 3\n", "10 text abcde\n",
     {"changed 1 1", "caret 1 1,2", "changed 1 2", "caret 1 1,3", "changed 1 3", "caret 1 1,4"},
     {"text: abc", "caret: 1,4"}, "abc"},
    {"a buffer of 0 takes nothing", "Type = Edit\nBufSize = 0\n", "10 text a\n", {},
     {"text: ", "caret: 1,1"}, ""},
    {"the initial text is cut to the buffer", "Type = Edit\nBufSize = 2\nText = abcd\n",
     "10 move 0 0\n", {}, {"text: ab", "caret: 1,3"}, "ab"},
    {"undo takes back a typed run", "Type = Edit\nStyle = UNDO\n", "10 text ab\n20 key z +ctrl\n",
     {"changed 1 1", "caret 1 1,2", "changed 1 2", "caret 1 1,3", "changed 1 0", "caret 1 1,1"},
     {"text: ", "caret: 1,1"}, ""},
    {"undo takes back the last change only", "Type = Edit\nStyle = UNDO\n",
     "10 text ab\n20 key back\n30 key z +ctrl\n",
     {"changed 1 1", "caret 1 1,2", "changed 1 2", "caret 1 1,3", "changed 1 1", "caret 1 1,2",
      "changed 1 2", "caret 1 1,3"},
     {"text: ab", "caret: 1,3"}, "ab"},
    {"a second undo undoes the undo", "Type = Edit\nStyle = UNDO\nText = x\n",
     "10 text y\n20 key z +ctrl\n30 key z +ctrl\n",
     {"changed 1 2", "caret 1 1,3", "changed 1 1", "caret 1 1,2", "changed 1 2", "caret 1 1,3"},
     {"text: xy", "caret: 1,3"}, "xy"},
    {"without UNDO Ctrl+Z does nothing", "Type = Edit\nText = ab\n", "10 key z +ctrl\n", {},
     {"text: ab", "caret: 1,3"}, "ab"},
    {"a multi-line edit breaks lines and moves up", "Type = Edit\nStyle = MULTILINE\n",
     "10 text ab\n20 key enter\n30 text c\n40 key up\n",
     {"changed 1 1", "caret 1 1,2", "changed 1 2", "caret 1 1,3", "changed 1 3", "caret 1 2,1",
      "changed 1 4", "caret 1 2,2", "caret 1 1,2"},
     {"text: ab", "text: c", "caret: 1,2"}, "ab\nc"},
    {"backspace at a line's start joins it", "Type = Edit\nStyle = MULTILINE\n",
     "10 text a\n20 key enter\n30 key back\n",
     {"changed 1 1", "caret 1 1,2", "changed 1 2", "caret 1 2,1", "changed 1 1", "caret 1 1,2"},
     {"text: a", "caret: 1,2"}, "a"},
    {"enter in one line reports and still presses the dialog's Enter", "Type = Edit\n",
     "10 text a\n20 key enter\n", {"changed 1 1", "caret 1 1,2", "enter 1", "pressed 9"},
     {"text: a", "caret: 1,2"}, "a"},
    {"a click on a left half places the caret before", "Type = Edit\nText = abcd\n",
     "10 move 12 15\n20 ldown 12 15\n30 lup 12 15\n", {"caret 1 1,1"},
     {"text: abcd", "caret: 1,1"}, "abcd"},
    {"a click on a right half places it after", "Type = Edit\nText = abcd\n",
     "10 move 13 25\n20 ldown 13 25\n30 lup 13 25\n", {"caret 1 1,2"},
     {"text: abcd", "caret: 1,2"}, "abcd"},
    // 20 characters, 120 pixels, in 100: the caret at the end moves the line
    // 21 pixels left, so the characters start at -11, -5, 1, 7, 13, ...
    {"a long line moves left to show the caret", "Type = Edit\nText = abcdefghijklmnopqrst\n",
     "10 move 12 15\n20 ldown 12 15\n30 lup 12 15\n", {"caret 1 1,5"},
     {"text: abcdefghijklmnopqrst", "caret: 1,5"}, "abcdefghijklmnopqrst"},
    {"a drag selects", "Type = Edit\nText = abcd\n",
     "10 move 24 15\n20 ldown 24 15\n30 move 40 15\n40 lup 40 15\n",
     {"caret 1 1,3", "caret 1 1,5"}, {"text: abcd", "caret: 1,5", "sel: 1,3-1,5"}, "abcd"},
    {"a disabled edit takes nothing", "Type = Edit\nStyle = DISABLED\n",
     "10 text a\n20 move 20 15\n30 ldown 20 15\n40 lup 20 15\n", {}, {"text: ", "caret: 1,1"},
     ""},
    {"an inactive edit takes no keys", "Type = Edit\nStyle = INACTIVE\n", "10 text a\n", {},
     {"text: ", "caret: 1,1"}, ""},
    {"a text is no edit", "Type = Text\nText = ab\n",
     "10 text c\n20 move 12 15\n30 ldown 12 15\n40 lup 12 15\n", {}, {"text: ab"}, "ab"},
    {"Edit = 1 makes a text editable", "Type = Text\nEdit = 1\n", "10 text c\n",
     {"changed 1 1", "caret 1 1,2"}, {"text: c", "caret: 1,2"}, "c"},
    {"so does the EDIT style", "Type = Text\nStyle = EDIT\n", "10 text c\n",
     {"changed 1 1", "caret 1 1,2"}, {"text: c", "caret: 1,2"}, "c"},
    {"the type is read ignoring case", "Type = eDiT\n", "10 text c\n",
     {"changed 1 1", "caret 1 1,2"}, {"text: c", "caret: 1,2"}, "c"},
};

TEST(TextTest, KeysClicksAndStylesChangeTheTextAndReportInOrder) {
  for (const SCase& c : kCases) {
    SCOPED_TRACE(c.name);
    SRig rig(c.keys, c.script, c.with_font ? MakeFont() : nullptr);
    const SRun run = rig.Run();
    EXPECT_EQ(run.reports, c.reports);
    EXPECT_EQ(run.details, c.details);
    EXPECT_EQ(run.text, c.text);
  }
}

TEST(TextTest, SelectionServesCutCopyAndPaste) {
  SRig rig("Type = Edit\nText = hello\nBufSize = 7\n", "10 move 0 0\n");
  CUIText* field = rig.Field();
  ASSERT_TRUE(field);
  field->SetSelection({0, 1}, {0, 3});
  EXPECT_EQ(field->SelectedText(), "el");
  // "hlo" leaves room for 4 of the 5 pasted characters.
  EXPECT_TRUE(field->ReplaceSelection("ABCDE"));
  EXPECT_EQ(field->Text(), "hABCDlo");
  EXPECT_FALSE(field->ReplaceSelection("Z"));
  field->SetText("a\nb");
  EXPECT_EQ(field->Text(), "ab");
  EXPECT_EQ(rig.Run().reports, (TLines{"changed 1 7", "caret 1 1,6"}));
  // A secure text gives no selected text.
  SRig secure("Type = Edit\nStyle = SECURE\nText = pw\n", "10 move 0 0\n");
  secure.Field()->SetSelection({0, 0}, {0, 2});
  EXPECT_EQ(secure.Field()->SelectedText(), "");
}

TEST(TextTest, ATextDestroyedInItsOwnReportIsLeftAlone) {
  SRig rig("Type = Edit\n", "10 text a\n20 text b\n");
  rig.dialog->on_report = [](CTextDialog& dialog) { delete FindControl(&dialog, 1); };
  EXPECT_EQ(rig.Run().reports, (TLines{"changed 1 1", "caret 1 1,2"}));
  EXPECT_EQ(rig.Field(), nullptr);
}

TEST(TextTest, TheBarFollowsTheLinesAndTheWheelMovesThreeRows) {
  // Three lines in two rows: the caret on the third shows rows 2 and 3; a
  // wheel step up goes back to the first, a second has nowhere to go.
  const std::string typing = "10 text a\n20 key enter\n30 text b\n40 key enter\n50 text c\n";
  const struct {
    std::string script;
    int pos;
  } cases[] = {{typing, 1}, {typing + "60 move 20 15\n70 wheel 20 15 1\n80 wheel 20 15 1\n", 0}};
  for (const auto& c : cases) {
    SRig rig("Type = Edit\nStyle = MULTILINE\nVScrollID = 5\n", c.script);
    const SRun run = rig.Run();
    auto* bar = KindOf<CUIScroll>(FindControl(rig.dialog, 5));
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->Max(), 1);
    EXPECT_EQ(bar->Pos(), c.pos);
    EXPECT_EQ(run.text, "a\nb\nc");
  }
}

// Glyphs whose ink is their first column only: a text "ab" at (10, 10)
// inks x = 10 and 16 and leaves the columns between to its background.
TEST(TextTest, DrawsInItsColoursAndAlignment) {
  const struct {
    const char* keys;
    bool select_a;
    int x;
    uint8_t pixel;
  } cases[] = {
      {"", false, 10, 7},
      {"", false, 12, 255},
      {"Style = DISABLED\n", false, 10, 8},
      {"SelTextColor = 3\nSelBkColor = 4\n", true, 10, 3},
      {"SelTextColor = 3\nSelBkColor = 4\n", true, 12, 4},
      {"SelTextColor = 3\nSelBkColor = 4\n", true, 16, 7},
      // 100 - 12 = 88 spare pixels: all of them, or half, before the text.
      {"Style = ALIGN_RIGHT\n", false, 98, 7},
      {"Style = ALIGN_RIGHT\n", false, 10, 255},
      {"Style = ALIGN_CENTER\n", false, 54, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.keys) + std::to_string(c.x));
    auto font = std::make_unique<CFont>(10, 8, ' ');
    const uint8_t mask[10] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
    for (int ch = ' '; ch <= 0xFF; ++ch) font->AddGlyph(SGlyph{1, 10, 0, 0, 6}, mask);
    SRig rig(std::string("Type = Text\nText = ab\n") + c.keys, "10 move 300 400\n",
             std::move(font));
    if (c.select_a) rig.Field()->SetSelection({0, 0}, {0, 1});
    rig.rig.Desktop().Invalidate(rig.rig.Desktop().GetRect(), nullptr, false);
    rig.Run();
    const SPresentedFrame shown = rig.rig.Top().PlatformWindow()->Presented();
    EXPECT_EQ(shown.pixels[12 * shown.width + c.x], c.pixel);
  }
}

// The caret of the focused field is a column of rows 10..19, x = 10 while
// the field is empty, drawn in TextColor 7 over the desktop's 255.
TEST(TextTest, TheCaretBlinksEvery500MsWithOneTickWaitingWhileFocused) {
  // The run ends 100 ms after the script's last line.
  const struct {
    const char* script;
    int x;
    uint8_t pixel;
    uint32_t waiting;
  } cases[] = {
      {"200 move 300 400\n", 10, 7, 1},    // shown from the focus at 0
      {"700 move 300 400\n", 10, 255, 1},  // hidden at 500
      {"1200 move 300 400\n", 10, 7, 1},   // shown at 1000
      // Losing the focus hides it, and the stale tick dies out.
      {"700 blur\n1200 move 300 400\n", 10, 255, 0},
      // Typing at 400 shows it after the "abc" and restarts the count:
      // hidden next at 900, not at 500, with still one tick waiting.
      {"400 text abc\n700 move 300 400\n", 28, 7, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    SRig rig("Type = Edit\n", c.script);
    rig.Run();
    const SPresentedFrame shown = rig.rig.Top().PlatformWindow()->Presented();
    EXPECT_EQ(shown.pixels[12 * shown.width + c.x], c.pixel);
    EXPECT_EQ(rig.rig.Queue().Waiting(), c.waiting);
  }
}

}  // namespace
