// Buttons built from a template and driven by input scripts: the order of
// their state and press reports, double clicks, repeats and toggles.
#include <gtest/gtest.h>

#include <functional>

#include "ui/button.h"
#include "ui/event_queue.h"
#include "ui/message_box.h"
#include "ui/scroll.h"
#include "test_windows.h"
#include "ui_rig.h"

namespace {

const char kTemplate[] = R"(
[Buttons Params]
RectWH = 0, 0, 640, 480

[Buttons Objects]
Plain =
Twice =
Repeat =
Toggle =

[Plain]
Type = Button
Id = 1
RectWH = 10, 10, 40, 20

[Twice]
Template = Plain
Id = 2
Style = DBLCLICK
RectWH = 60, 10, 40, 20

[Repeat]
Template = Plain
Id = 3
Style = AUTOREPEAT
RectWH = 110, 10, 40, 20

[Toggle]
Template = Plain
Id = 4
Style = TOGGLE
Rows = 2
RectWH = 160, 10, 40, 20
)";

// Builds `text` as the dialog "Buttons", lets `setup` prepare it, then plays
// the script.
std::vector<std::string> Play(const std::string& script, const char* text = kTemplate,
                              const std::function<void(CUIDialog&)>& setup = {}) {
  CUiRig rig(script);
  rig.Dir().WriteFile("Buttons.ini", text);
  auto* dialog = new CRecordingDialog(&rig.Desktop());
  EXPECT_EQ(dialog->LoadTemplate(rig.Dir().Join("Buttons.ini")), err::kOk);
  if (setup) setup(*dialog);
  rig.Run();
  return dialog->reports;
}

TEST(ButtonTest, AClickReportsRolloverPressReleaseAndThePress) {
  EXPECT_EQ(Play("100 move 20 20\n200 ldown 20 20\n300 lup 20 20\n"),
            (std::vector<std::string>{"12345606 1 0 @100", "12345606 3 1 @200",
                                      "12345606 1 3 @300", "12345604 1 0 @300"}));
  // Released outside: back to normal, no press.
  EXPECT_EQ(Play("100 move 20 20\n200 ldown 20 20\n250 move 300 300\n300 lup 300 300\n"),
            (std::vector<std::string>{"12345606 1 0 @100", "12345606 3 1 @200",
                                      "12345606 2 3 @250", "12345606 0 2 @300"}));
}

TEST(ButtonTest, ADoubleClickOnTheSameButtonReportsItself) {
  std::vector<std::string> reports =
      Play("100 move 70 20\n200 ldown 70 20\n210 lup 70 20\n300 ldbl 70 20\n310 lup 70 20\n");
  std::erase_if(reports, [](const std::string& r) { return r.starts_with("12345606"); });
  EXPECT_EQ(reports, (std::vector<std::string>{"12345604 2 0 @210", "12345607 2 0 @310"}));
  reports = Play("100 move 70 20\n200 ldown 70 20\n210 lup 70 20\n220 move 20 20\n"
                 "230 move 70 20\n300 ldbl 70 20\n310 lup 70 20\n");
  std::erase_if(reports, [](const std::string& r) { return !r.starts_with("12345604 2"); });
  EXPECT_EQ(reports, (std::vector<std::string>{"12345604 2 0 @210", "12345604 2 0 @310"}));
}

TEST(ButtonTest, AHeldRepeatButtonReportsAfterOneSecondThenEvery300Ms) {
  std::vector<std::string> reports = Play("0 move 120 20\n0 ldown 120 20\n2000 lup 120 20\n");
  std::erase_if(reports, [](const std::string& r) { return !r.starts_with("12345604"); });
  EXPECT_EQ(reports, (std::vector<std::string>{"12345604 3 0 @1000", "12345604 3 0 @1300",
                                                "12345604 3 0 @1600", "12345604 3 0 @1900",
                                                "12345604 3 0 @2000"}));
}

TEST(ButtonTest, AToggleButtonStepsThroughItsRows) {
  std::vector<std::string> reports =
      Play("100 move 170 20\n110 ldown 170 20\n120 lup 170 20\n130 ldown 170 20\n"
           "140 lup 170 20\n150 ldown 170 20\n160 lup 170 20\n");
  std::erase_if(reports, [](const std::string& r) { return !r.starts_with("12345604"); });
  EXPECT_EQ(reports, (std::vector<std::string>{"12345604 4 1 @120", "12345604 4 0 @140",
                                                "12345604 4 1 @160"}));
}

}  // namespace

namespace {

const char kAsk[] = R"(
[Ask Params]
RectWH = 100, 100, 300, 200
Focus = Ok
Enter = Ok
Esc = Cancel

[Ask Objects]
Ok =
Skipped =
Cancel =

[Ok]
Type = Button
Id = 1
Style = TABSTOP
RectWH = 20, 150, 100, 30

[Skipped]
Type = Button
Id = 3
RectWH = 130, 150, 40, 30

[Cancel]
Template = Ok
Id = 2
RectWH = 180, 150, 100, 30
)";

struct SModalRun {
  std::vector<uint32_t> ends;
  uint32_t focus_at_end = 0;
};

SModalRun PlayModal(const std::string& script) {
  CUiRig rig(script);
  rig.Dir().WriteFile("Ask.ini", kAsk);
  auto* dialog = new CUIDialog(&rig.Desktop());
  EXPECT_EQ(dialog->LoadTemplate(rig.Dir().Join("Ask.ini")), err::kOk);
  SModalRun run;
  dialog->DoModal([&](uint32_t id) { run.ends.push_back(id); });
  rig.Run();
  if (auto* focus = KindOf<CUIControl>(rig.Desktop().GetFocus())) run.focus_at_end = focus->ControlId();
  return run;
}

TEST(DialogTest, TabMovesOverTabStopsAndEnterOrEscapePressTheirButtons) {
  SModalRun run = PlayModal("10 key tab\n");
  EXPECT_EQ(run.focus_at_end, 2u);
  EXPECT_TRUE(run.ends.empty());
  run = PlayModal("10 key tab\n20 key tab\n");
  EXPECT_EQ(run.focus_at_end, 1u);
  run = PlayModal("10 key tab +shift\n");
  EXPECT_EQ(run.focus_at_end, 2u);
  EXPECT_EQ(PlayModal("10 key enter\n").ends, std::vector<uint32_t>{1});
  EXPECT_EQ(PlayModal("10 key esc\n").ends, std::vector<uint32_t>{2});
  // A click on a button that is neither Enter nor Esc ends nothing.
  EXPECT_TRUE(PlayModal("10 move 240 260\n20 ldown 240 260\n30 lup 240 260\n").ends.empty());
}

TEST(DialogTest, ModalDialogsStackAndOneDestroyedFromOutsideIsNotContinued) {
  CUiRig rig;
  CDesktop& desktop = rig.Desktop();
  std::vector<uint32_t> ends;
  auto* lower = new CUIDialog(&desktop);
  auto* upper = new CUIDialog(&desktop);
  lower->DoModal([&](uint32_t id) { ends.push_back(100 + id); });
  upper->DoModal([&](uint32_t id) { ends.push_back(200 + id); });
  EXPECT_EQ(desktop.Modal(), upper);
  upper->EndModal(5);
  EXPECT_EQ(desktop.Modal(), lower);
  delete lower;
  EXPECT_EQ(desktop.Modal(), nullptr);
  EXPECT_EQ(ends, std::vector<uint32_t>{205});
}

}  // namespace

// Builds `text` ("{dir}" in it stands for the rig's folder) as "Panel.ini"
// after `prepare` wrote its pictures, plays `script`, and answers `count`
// presented pixels from (x, y).
class CPaintedPanel {
 public:
  CPaintedPanel(const std::string& text, const std::function<void(const CTempDir&)>& prepare = {},
                const std::string& script = "") : m_rig(script) {
    if (prepare) prepare(m_rig.Dir());
    std::string resolved = text;
    for (size_t at; (at = resolved.find("{dir}")) != std::string::npos;)
      resolved.replace(at, 5, m_rig.Dir().Path());
    m_rig.Dir().WriteFile("Panel.ini", resolved);
    auto* dialog = new CUIDialog(&m_rig.Desktop());
    EXPECT_EQ(dialog->LoadTemplate(m_rig.Dir().Join("Panel.ini")), err::kOk);
    if (!script.empty()) m_rig.Run();
    m_rig.Desktop().Invalidate(m_rig.Desktop().GetRect(), nullptr, false);
    m_rig.Desktop().Present();
  }
  std::vector<uint8_t> Row(int y, int x, int count) {
    const SPresentedFrame shown = m_rig.Top().PlatformWindow()->Presented();
    const uint8_t* start = shown.pixels + y * shown.width + x;
    return std::vector<uint8_t>(start, start + count);
  }

 private:
  CUiRig m_rig;
};

using TPixels = std::vector<uint8_t>;

TEST(PaintTest, BackgroundsFillAndFrameInTheirColours) {
  CPaintedPanel panel(
      "[Panel Params]\nRectWH = 0, 0, 640, 480\n[Panel Objects]\nBack =\nPlain =\n"
      "[Back]\nType = Background\nRectWH = 10, 10, 5, 4\nBkColor = 5\n"
      "FrameColor1 = 1\nFrameColor2 = 2\n"
      "[Plain]\nType = Background\nRectWH = 20, 10, 3, 3\nBkColor = 6\n");
  EXPECT_EQ(panel.Row(10, 10, 5), (TPixels{1, 1, 1, 1, 1}));
  EXPECT_EQ(panel.Row(11, 9, 7), (TPixels{255, 1, 5, 5, 5, 2, 255}));
  EXPECT_EQ(panel.Row(13, 10, 5), (TPixels{1, 2, 2, 2, 2}));
  EXPECT_EQ(panel.Row(11, 20, 3), (TPixels{6, 6, 6}));
}

TEST(PaintTest, FramesDrawCornersOnceAndTileEdgesAndMiddle) {
  // Two stacked 3 x 3 variants; the second shows, split one pixel in.
  const auto picture = [](const CTempDir& dir) {
    WritePicture(dir, "frame.bmp", 3,
                 {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19});
  };
  CPaintedPanel panel(
      "[Panel Params]\nRectWH = 0, 0, 640, 480\n[Panel Objects]\nFrame =\n"
      "[Frame]\nType = Frame\nImage = {dir}/frame.bmp\nRows = 2\nInitialRow = 1\n"
      "Dividers = 1\nRectWH = 30, 10, 5, 4\n",
      picture);
  EXPECT_EQ(panel.Row(10, 30, 5), (TPixels{11, 12, 12, 12, 13}));
  EXPECT_EQ(panel.Row(11, 30, 5), (TPixels{14, 15, 15, 15, 16}));
  EXPECT_EQ(panel.Row(12, 30, 5), (TPixels{14, 15, 15, 15, 16}));
  EXPECT_EQ(panel.Row(13, 30, 5), (TPixels{17, 18, 18, 18, 19}));
}

TEST(PaintTest, ImageButtonsShowTheirStateColumnInTheirRowOfTheGrid) {
  // A 2 x 2 grid of 2 x 1 cells: row 1 shows, column A normal, B rollover.
  const auto picture = [](const CTempDir& dir) {
    WritePicture(dir, "face.bmp", 4, {1, 1, 2, 2, 3, 3, 4, 4});
  };
  const std::string text =
      "[Panel Params]\nRectWH = 0, 0, 640, 480\n[Panel Objects]\nFace =\n"
      "[Face]\nType = ImageButton\nImage = {dir}/face.bmp\nImageType = AB\nXFrames = 2\n"
      "YFrames = 2\nInitialRow = 1\nRectWH = 50, 10, 2, 1\n";
  EXPECT_EQ(CPaintedPanel(text, picture).Row(10, 50, 2), (TPixels{3, 3}));
  EXPECT_EQ(CPaintedPanel(text, picture, "10 move 50 10\n").Row(10, 50, 2), (TPixels{4, 4}));
  // A grid wider than its picture leaves a bevel in the default colours.
  const std::string wide = text.substr(0, text.find("XFrames")) + "XFrames = 9\nRectWH = 50, 10, 3, 3\n";
  EXPECT_EQ(CPaintedPanel(wide, picture).Row(11, 50, 3), (TPixels{15, 7, 8}));
}

TEST(MessageBoxTest, ABoxOpenedInAHandlerAnswersLaterFromThePump) {
  CUiRig rig("100 key enter\n");
  rig.Dir().WriteFile("Box.ini",
                      "[MessageBox Params]\nRectWH = 100, 100, 300, 120\n[Button]\nType = Button\n");
  CEventQueue& queue = rig.Queue();
  std::vector<std::string> order;
  // The box's template comes from the rig's folder here.
  const std::string path = rig.Dir().Join("Box.ini");
  const uint32_t opener = queue.RegisterFunction([&](const SEventRecord&) {
    order.push_back("open");
    ErrCode error = err::kOk;
    CMessageBox* box = CMessageBox::Open(&rig.Desktop(), "Q", "Sure?", 1,
                                         [&](uint32_t id) { order.push_back(std::to_string(id)); },
                                         &error, path);
    order.push_back(box ? "opened" : ErrName(error));
  });
  SEventRecord record;
  record.delivery = kDeliverFunction;
  record.target = opener;
  record.serial = queue.NextSerial();
  queue.Post(record);
  rig.Run();
  EXPECT_EQ(order, (std::vector<std::string>{"open", "opened", "1"}));
}

TEST(LayoutTest, ControlsFollowTheirParentByTheirAlignment) {
  CUiRig rig;
  rig.Dir().WriteFile("L.ini", R"(
[L Params]
RectWH = 0, 0, 200, 100
MaxSize = 500, 300

[L Objects]
Near =
Far =
Both =
Centre =

[Near]
Type = Control
RectWH = 10, 10, 20, 20

[Far]
Type = Control
RectWH = 170, 10, 20, 20
HAlign = 1, 0, 0

[Both]
Type = Control
RectWH = 10, 40, 180, 20
HAlign = 2, 0, 250

[Centre]
Type = Control
RectWH = 90, 70, 20, 20
HAlign = 3, 0, 0
VAlign = 1, 0, 0
)");
  auto* dialog = new CUIDialog(&rig.Desktop());
  ASSERT_EQ(dialog->LoadTemplate(rig.Dir().Join("L.ini")), err::kOk);
  dialog->SetRect({0, 0, 399, 199}, true, false);
  dialog->SendEvent(dialog->Id(), kEvLayout, 0, 0);
  std::vector<std::string> rects;
  for (CWindow* child = dialog->LastChild(); child; child = child->PrevSibling())
    rects.push_back(child->Label());
  EXPECT_EQ(rects, (std::vector<std::string>{
                       "CUIControl#0x0@10,10,29,29", "CUIControl#0x0@370,10,389,29",
                       "CUIControl#0x0@10,40,259,59", "CUIControl#0x0@190,170,209,189"}));
  dialog->SetRect({0, 0, 999, 999}, false, false);
  EXPECT_EQ(dialog->Label(), "CUIDialog#0x0@0,0,499,299");
}

// A vertical bar 100 high whose buttons take 16 pixels at each end: a track
// of 68 pixels, with a thumb of 68 * 4 / 14 = 19 for 10 positions of page 4.
const char kScrollTemplate[] = R"(
[Buttons Params]
RectWH = 0, 0, 640, 480
[Buttons Objects]
Bar =
[Bar]
Type = Scroll
Style = VSCROLL
Id = 9
RectWH = 100, 0, 16, 100
BackID = 1
ForwardID = 2
[Bar Objects]
Back =
Forward =
[Back]
Type = Button
Id = 1
RectWH = 0, 0, 16, 16
[Forward]
Type = Button
Id = 2
RectWH = 0, 84, 16, 16
)";

TEST(ScrollTest, ButtonsStepTheTrackPagesTheWheelMovesThreeAndTheThumbDrags) {
  const auto range = [](CUIDialog& dialog) {
    KindOf<CUIScroll>(FindControl(&dialog, 9))->SetRange(10, 4);
  };
  // Track click below the thumb (16..34): a page; the forward button: one;
  // wheel steps down: 3, then clamped at 10, then nothing moves.
  EXPECT_EQ(Play("10 move 108 60\n20 ldown 108 60\n30 lup 108 60\n40 move 108 90\n"
                 "50 ldown 108 90\n60 lup 108 90\n70 wheel 108 50 -1\n80 wheel 108 50 -1\n90 wheel 108 50 -1\n",
                 kScrollTemplate, range),
            (std::vector<std::string>{"12345620 9 4 @20", "12345620 9 5 @60",
                                      "12345620 9 8 @70", "12345620 9 10 @80"}));
  // Taken 4 pixels into the thumb and moved 49 down: the thumb's start at 49
  // of 49 free pixels is the end, reported only when let go.
  EXPECT_EQ(Play("10 move 108 20\n20 ldown 108 20\n30 move 108 69\n40 lup 108 69\n",
                 kScrollTemplate, range),
            (std::vector<std::string>{"12345620 9 10 @40"}));
}
