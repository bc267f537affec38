// Scroll bars, and the vertical position of the controls that show rows
// (lists, texts, trees) which such a bar moves.
//
// A bar has a position 0..max. Its back and forward buttons (the controls
// `BackID` and `ForwardID` among its children or siblings) step by one, a
// click on the track beside the thumb pages, and the thumb drags. It reports
// every change to the control it is attached to at once, and to its target
// as kNotifyScroll; with AUTOMOVE also while the thumb is dragged, else when
// it is let go.
#pragma once

#include <cstdint>

#include "ui/controls.h"

enum : uint32_t {
  kScrollAutoMove = 0x10000,     // reports while the thumb is dragged
  kScrollAutoRepeat = 0x20000,   // the track pages again while held
  kScrollAutoDisable = 0x40000,  // disabled with nothing to scroll
  kScrollVertical = 0x80000,
  kScrollAutoHide = 0x100000,    // hidden with nothing to scroll
};

// Rows a wheel step moves.
inline constexpr int kWheelRows = 3;

class CUIScroll : public CUIControl {
  TV_CLASS(CUIScroll, CUIControl)

 public:
  explicit CUIScroll(CWindow* parent);

  ErrCode ReadKeys(CTemplateReader& reader) override;
  void Draw(const SDrawContext& context, const TRect& rect) override;
  bool OnMouse(uint32_t code, TPoint point, int32_t steps) override;
  uint32_t OnEvent(const SEventRecord& record) override;
  void DescribeDetails(std::vector<std::string>* lines) const override;

  // Positions run from 0 to `max`; `page` is what the track's click moves
  // and sizes the thumb. The position is kept within the range, unreported.
  void SetRange(int max, int page);
  // Reports to the attached control and the target when the position moved.
  void SetPos(int pos);
  int Pos() const { return m_pos; }
  int Max() const { return m_max; }
  // The control that follows the bar; its OnEvent gets kNotifyScroll.
  void Attach(const CWindow* owner) { m_owner = owner->Id(); }
  bool IsVertical() const { return (GetStyle() & kScrollVertical) != 0; }

 private:
  // The thumb's first pixel and length along the track, relative to it.
  struct SSpan {
    int start;
    int length;
  };
  // The bar's rectangle less its own back and forward buttons.
  TRect Track() const;
  SSpan Thumb() const;
  int Along(TPoint point) const;
  void Page(int direction);
  void Drag(TPoint point);
  void Report();
  void ShowRange();

  CHeldBitmap m_thumb;
  std::string m_image_type = "A";
  uint32_t m_back_id = 0;
  uint32_t m_forward_id = 0;
  uint32_t m_owner = 0;
  int m_pos = 0;
  int m_max = 0;
  int m_page = 1;
  // While the thumb is dragged: where along it it was taken.
  int m_grip = -1;
  int m_paging = 0;  // -1 or 1 while the track is held
  uint32_t m_repeat = 0;
};

// The first row a row control shows, kept in step with its bar.
class CRowScroller {
 public:
  // The owner's bar is the control `bar_id` beside or below the owner's
  // parent (0: no bar).
  void Attach(CUIControl* owner, uint32_t bar_id);
  // `rows` in all, `page` of them visible; the top row is kept in range and
  // the bar's range set.
  void SetExtent(int rows, int page);
  int Top() const { return m_top; }
  int Page() const { return m_page; }
  // Moves the top row (kept in range) and the bar; whether it moved.
  bool ScrollTo(int top);
  // Moves the top row just enough to show `row`.
  bool Reveal(int row);
  // A wheel step moves kWheelRows rows per step, up for positive steps;
  // false when there was nowhere to go, so the step goes to the parent.
  bool Wheel(int32_t steps);
  // Takes the bar's report; whether the record was one.
  bool OnBarEvent(const SEventRecord& record);

 private:
  CUIScroll* Bar() const;

  CUIControl* m_owner = nullptr;
  uint32_t m_bar_id = 0;
  int m_top = 0;
  int m_rows = 0;
  int m_page = 1;
};
