// The desktop's rules one at a time: dirty-rectangle merging, the queue's
// order and limits, focus across platform focus changes, the modal window,
// and windows that vanish in their own handlers.
#include <gtest/gtest.h>

#include "test_windows.h"
#include "ui/cursor.h"
#include "ui/menu.h"
#include "ui/resources.h"
#include "ui_rig.h"

namespace {

using EKind = CPanel::EKind;

bool Same(const TRect& a, const TRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

uint32_t SendToDesktop(CDesktop& desktop, uint32_t code, uint32_t p1 = 0) {
  return desktop.SendEvent(desktop.Id(), code, p1, 0);
}

TEST(DirtyListTest, RectanglesMergeOnlyWhenOneIsCheaperThanTwo) {
  CUiRig rig;
  CDesktop& desktop = rig.Desktop();
  desktop.Invalidate({0, 0, 9, 9}, nullptr, false);
  desktop.Invalidate({5, 5, 14, 14}, nullptr, false);  // union 225 > 100 + 100
  EXPECT_EQ(desktop.Dirty().size(), 2u);
  desktop.Invalidate({0, 0, 14, 14}, nullptr, false);  // takes in both
  desktop.Invalidate({20, 0, 29, 9}, nullptr, false);  // union (0,0,29,14) 450 > 225 + 100
  ASSERT_EQ(desktop.Dirty().size(), 2u);
  EXPECT_TRUE(Same(desktop.Dirty()[0], {0, 0, 14, 14}));
  EXPECT_TRUE(Same(desktop.Dirty()[1], {20, 0, 29, 9}));
  // Touching edges: the union costs exactly the sum, so both stay.
  desktop.Invalidate({30, 0, 39, 9}, nullptr, false);
  EXPECT_EQ(desktop.Dirty().size(), 3u);
}

TEST(DirtyListTest, TheFiftyFirstRectangleTakesInTheLastOne) {
  CUiRig rig;
  CDesktop& desktop = rig.Desktop();
  for (int16_t i = 0; i < 50; ++i)
    desktop.Invalidate({static_cast<int16_t>(i * 10), static_cast<int16_t>(i * 9),
                        static_cast<int16_t>(i * 10), static_cast<int16_t>(i * 9)},
                       nullptr, false);
  ASSERT_EQ(desktop.Dirty().size(), 50u);
  desktop.Invalidate({600, 0, 600, 0}, nullptr, false);
  ASSERT_EQ(desktop.Dirty().size(), 50u);
  EXPECT_TRUE(Same(desktop.Dirty().back(), {490, 0, 600, 441}));
  EXPECT_TRUE(Same(desktop.Dirty()[48], {480, 432, 480, 432}));
}

TEST(DirtyListTest, InvalidationIsClippedByAncestorsAndHiddenWindowsAddNothing) {
  CUiRig rig;
  CDesktop& desktop = rig.Desktop();
  auto* parent = new CPanel(&desktop, {100, 100, 199, 199}, 1);
  auto* child = new CPanel(parent, {150, 150, 400, 400}, 2);
  child->Invalidate();
  ASSERT_EQ(desktop.Dirty().size(), 1u);
  EXPECT_TRUE(Same(desktop.Dirty()[0], {150, 150, 199, 199}));
  parent->SetStyle(0, false);
  child->Invalidate();
  EXPECT_EQ(desktop.Dirty().size(), 1u);
  desktop.Invalidate({-40, -40, -1, -1}, nullptr, false);
  EXPECT_EQ(desktop.Dirty().size(), 1u);
}

TEST(EventQueueTest, EqualDueTimesLeaveInPostingOrder) {
  CUiRig rig;
  CEventQueue& queue = rig.Queue();
  std::vector<uint32_t> codes;
  const uint32_t target = queue.RegisterFunction([&](const SEventRecord& r) { codes.push_back(r.code); });
  const auto post = [&](uint32_t code, uint32_t due) {
    SEventRecord record;
    record.delivery = kDeliverFunction;
    record.target = target;
    record.code = code;
    record.due = due;
    record.serial = queue.NextSerial();
    return queue.Post(record);
  };
  for (uint32_t code : {1u, 2u, 3u}) post(code, 50);
  post(4, 40);
  post(5, 50);
  EXPECT_EQ(queue.DeliverDue(45, 100), 1u);
  EXPECT_EQ(queue.DeliverDue(50, 2), 2u);
  EXPECT_EQ(queue.DeliverDue(50, 100), 2u);
  EXPECT_EQ(codes, (std::vector<uint32_t>{4, 1, 2, 3, 5}));
  // A record whose target went away is dropped.
  post(6, 0);
  queue.Unregister(target);
  queue.DeliverDue(100, 100);
  EXPECT_EQ(codes.size(), 5u);
  for (uint32_t i = 0; i < queue.Capacity(); ++i) ASSERT_EQ(post(7, 1000), err::kOk);
  EXPECT_EQ(post(7, 1000), err::kMhFullHeap);
  queue.Compact();
  EXPECT_EQ(queue.Waiting(), 0u);
}

class CRefuseClose final : public CEventFilter {
 public:
  bool Pass(const SEventRecord& record) override { return record.code != kEvClose; }
};

TEST(EventQueueTest, FiltersGoByPriorityAndAnEleventhIsRefused) {
  CUiRig rig;
  CEventQueue& queue = rig.Queue();
  std::vector<CRefuseClose> filters(11);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(queue.AddFilter(&filters[i], i), err::kOk);
  EXPECT_EQ(queue.AddFilter(&filters[10], 0), err::kUnknownError);
  EXPECT_EQ(SendToDesktop(rig.Desktop(), kEvClose), CEventQueue::kNotDelivered);
  for (int i = 0; i < 10; ++i) queue.RemoveFilter(&filters[i]);
  EXPECT_EQ(SendToDesktop(rig.Desktop(), kEvClose), 0u);
}

TEST(FocusTest, PlatformFocusLossSavesTheFocusAndItsReturnRestoresIt) {
  CUiRig rig;
  CDesktop& desktop = rig.Desktop();
  auto* field = new CPanel(&desktop, {0, 0, 9, 9}, 1);
  desktop.SetFocus(field);
  SendToDesktop(desktop, kEvPlatformFocusLost);
  EXPECT_EQ(desktop.GetFocus(), nullptr);
  EXPECT_EQ(desktop.SavedFocus(), field);
  SendToDesktop(desktop, kEvKeyDown, 'A' | 'A' << 16);
  SendToDesktop(desktop, kEvPlatformFocusGained);
  EXPECT_EQ(desktop.GetFocus(), field);
  EXPECT_EQ(field->keys, (std::vector<uint32_t>{kEvFocusGained, kEvFocusLost, kEvFocusGained}));
}

TEST(ModalTest, ClicksOutsideTheModalSubtreeReachNothing) {
  CUiRig rig;
  CDesktop& desktop = rig.Desktop();
  auto* behind = new CPanel(&desktop, {0, 0, 99, 99}, 1);
  auto* dialog = new CPanel(&desktop, {200, 200, 299, 299}, 2);
  auto* button = new CPanel(dialog, {210, 210, 219, 219}, 3);
  desktop.SetModal(dialog);
  SendToDesktop(desktop, kEvLeftDown, PackPoint({50, 50}));
  EXPECT_TRUE(behind->mouse.empty());
  EXPECT_EQ(desktop.Hover(), nullptr);
  SendToDesktop(desktop, kEvLeftDown, PackPoint({215, 215}));
  EXPECT_EQ(button->mouse, (std::vector<uint32_t>{kMouseEnter, kEvLeftDown}));
}

TEST(LifetimeTest, AWindowMayDestroyItselfWhileHoveredCapturedAndFocused) {
  CUiRig rig;
  CDesktop& desktop = rig.Desktop();
  auto* doomed = new CPanel(&desktop, {0, 0, 99, 99}, 1, EKind::kSelfDestroying);
  SendToDesktop(desktop, kEvMouseMove, PackPoint({10, 10}));
  desktop.SetFocus(doomed);
  desktop.SetCapture(doomed);
  desktop.SetModal(doomed);
  doomed->PostEvent(doomed->Id(), kEvRefresh, 0, 0, 0);
  SendToDesktop(desktop, kEvLeftDown, PackPoint({10, 10}));
  EXPECT_EQ(desktop.FirstChild(), nullptr);
  EXPECT_EQ(desktop.Hover(), nullptr);
  EXPECT_EQ(desktop.GetCapture(), nullptr);
  EXPECT_EQ(desktop.GetFocus(), nullptr);
  EXPECT_EQ(desktop.Modal(), nullptr);
  EXPECT_EQ(rig.Queue().DeliverDue(rig.Queue().Now() + 1, 100), 1u);
  // The destroyed window's area is drawn again.
  ASSERT_FALSE(desktop.Dirty().empty());
  EXPECT_TRUE(Same(desktop.Dirty().back(), {0, 0, 99, 99}));
}

TEST(PresentTest, AScrolledDesktopShowsItsRectanglesWhereItPaintedThem) {
  CUiRig rig;
  CDesktop& desktop = rig.Desktop();
  auto* panel = new CPanel(&desktop, {100, 100, 199, 199}, 1);
  SendToDesktop(desktop, kEvScrollSet, PackPoint({10, 10}));
  // Desktop (100, 100)-(199, 199) is frame (90, 90)-(189, 189).
  panel->SetStyle(0, true);
  desktop.Present();
  const SPresentedFrame shown = rig.Top().PlatformWindow()->Presented();
  for (int at : {90, 95, 189})
    EXPECT_EQ(shown.pixels[at * shown.width + at], CDesktop::kEngineBackground) << at;
}

}  // namespace


TEST(CursorTest, TheCursorOfTheWindowUnderTheMouseIsShownWithItsHotSpot) {
  CUiRig rig;
  CDesktop& desktop = rig.Desktop();
  const std::string path = WriteCursor(rig.Dir(), "[Cursor]\nHotSpot=2, 3\n");
  ErrCode error = err::kOk;
  std::shared_ptr<CCursor> hand = CCursor::Load(path, &error);
  ASSERT_TRUE(hand) << ErrName(error);
  EXPECT_EQ(hand->Image().transparent, 7);
  auto* button = new CPanel(&desktop, {10, 10, 19, 19}, 1, EKind::kPlain,
                            kStyleVisible | kStyleSetCursor);
  button->SetCursor(hand);
  new CPanel(button, {12, 12, 13, 13}, 2);
  SendToDesktop(desktop, kEvMouseMove, PackPoint({12, 12}));
  SendToDesktop(desktop, kEvMouseMove, PackPoint({15, 15}));
  SendToDesktop(desktop, kEvMouseMove, PackPoint({50, 50}));
  rig.Top().WarpMouse({30, 40});
  EXPECT_EQ(rig.TraceLines("cursor\t"),
            (std::vector<std::string>{"cursor\t" + path + "\t2,3", "cursor\tarrow\t0,0",
                                      "cursor\twarp\t30,40"}));
  // A broken description leaves the defaults.
  WriteCursor(rig.Dir(), "[Cursor]\nHotSpot=banana\nTransparent=999\n");
  hand = CCursor::Load(path, &error);
  ASSERT_TRUE(hand);
  EXPECT_EQ(hand->HotSpot().x, 0);
  EXPECT_EQ(hand->HotSpot().y, 0);
  EXPECT_EQ(hand->Image().transparent, 7);
}

TEST(DirtyListTest, TrimmingCutsOnlyBandsThatOpaqueWindowsAboveCoverAcross) {
  CUiRig rig;
  CDesktop& desktop = rig.Desktop();
  desktop.SetStyle(desktop.GetStyle() | kDesktopTrim, false);
  auto* below = new CPanel(&desktop, {0, 0, 99, 99}, 1);
  new CPanel(&desktop, {0, 0, 120, 39}, 2);                                // across the top
  new CPanel(&desktop, {50, 0, 60, 99}, 3, EKind::kPlain,
             kStyleVisible | kStyleTransparent);                           // hides nothing
  auto* edge = new CPanel(&desktop, {-32768, 90, 32767, 32767}, 4, EKind::kPlain,
                          kStyleVisible | kStyleTransparent);              // at the range's end
  below->Invalidate();
  ASSERT_EQ(desktop.Dirty().size(), 1u);
  EXPECT_TRUE(Same(desktop.Dirty()[0], {0, 40, 99, 99}));
  edge->SetStyle(kStyleVisible, false);
  desktop.Present();
  below->Invalidate();
  ASSERT_EQ(desktop.Dirty().size(), 1u);
  EXPECT_TRUE(Same(desktop.Dirty()[0], {0, 40, 99, 89}));
  desktop.Present();
  new CPanel(&desktop, {-32768, -32768, 32767, 32767}, 5);
  desktop.Present();
  below->Invalidate();
  EXPECT_TRUE(desktop.Dirty().empty());
}

TEST(ResourceTest, MenusAndIconsAreFoundByTypeAndNameIgnoringCase) {
  EXPECT_TRUE(FindResource("MENU", "velmoratoolmenu"));
  EXPECT_FALSE(FindResource("icon", "VelmoraToolMenu"));
  ErrCode error = err::kOk;
  EXPECT_FALSE(CMenuModel::Load("NoSuchMenu", &error));
  EXPECT_EQ(error, err::kNotFound);
  const SIcon shipped = IconFromXpm(*FindResource("Icon", "128"));
  EXPECT_EQ(shipped.pixels.size(), 16u * 16u);
  // The kite's top is clear but for the red tip in column 7.
  EXPECT_EQ(shipped.pixels[6], 0u);
  EXPECT_EQ(shipped.pixels[7], 0xFFE8452Cu);
  const SIcon icon = IconFromXpm(
      "/* XPM */ static const char* x[] = {\"2 2 2 1\", \". c None\", \"r c #FF0000\", \".r\", \"r.\"};");
  EXPECT_EQ(icon.pixels, (std::vector<uint32_t>{0, 0xFFFF0000, 0xFFFF0000, 0}));
  EXPECT_TRUE(IconFromXpm("").pixels.empty());
}
