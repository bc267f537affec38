// What lists and trees share: one row per font line, the first shown kept in
// step with an attached scroll bar, keys that move a caret row, and the
// drawing of one row (background, focus frame, icon, tabbed text).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "gfx/blit.h"
#include "ui/controls.h"
#include "ui/held_resource.h"
#include "ui/scroll.h"

// Text stops at every multiple of this many pixels from the text's start.
inline constexpr int kTabWidth = 100;

// One row as drawn; colours of -1 are left out.
struct SRowLook {
  TRect rect;
  int16_t fill = -1;
  int16_t frame = -1;
  const CBitmap* icons = nullptr;  // none: no icon
  uint32_t icon_key = kNoKey;      // the icons' clear colour
  TRect icon_cell;
  int icon_x = 0;
  int icon_y = 0;
  std::string_view text;
  int text_x = 0;
  int text_y = 0;
  uint8_t colour = 0;
};

// Draws `row`; the text needs a font (null: the row's text is left out).
void DrawRow(const SDrawContext& context, const CFont* font, const SRowLook& row);

// The parts of an `Items` value between its "|".
std::vector<std::string> SplitItems(std::string_view items);

// An optional colour: left alone when the key is missing or not a byte.
void GetColour(const CTemplateReader& reader, const char* key, int16_t* colour);

// Column `column` of a picture cut into `columns` equal columns; an empty
// cell when the picture is too narrow.
TRect PictureColumn(const CBitmap& picture, int column, int columns);

class CRowControl : public CUIControl {
  TV_CLASS(CRowControl, CUIControl)

 public:
  explicit CRowControl(CWindow* parent) : CUIControl(parent) {}

  void SetRect(const TRect& rect, bool redraw, bool move_children) override;
  // The bar exists now: it takes the range.
  void Connect() override { Refresh(); }
  uint32_t OnEvent(const SEventRecord& record) override;
  bool OnKey(uint32_t code, uint16_t virtual_key, uint16_t character) override;

  // Rows in all, and the first one shown.
  virtual int RowTotal() const = 0;
  int TopRow() const { return m_scroller.Top(); }
  // The row a font line is high (at least 1), and how many fit.
  int LineHeight() const;
  int PageRows() const;
  // The row at a desktop point, or -1.
  int RowAt(TPoint point) const;
  TRect RowRect(int row) const;
  // The first and last rows that meet `rect` (none when last < first):
  // drawing costs what is shown, however many rows there are.
  std::pair<int, int> RowsIn(const TRect& rect) const;

 protected:
  // The font, the bar (`Font` and the key naming the bar's id), the
  // background (`BkColor`; without it the control lets what lies below show)
  // and the icons' clear colour (`TColor`).
  void ReadRowKeys(CTemplateReader& reader, const char* bar_key);
  // Fills the control with its background colour, if it has one.
  void DrawBackground(const SDrawContext& context) const;
  uint32_t IconKey() const { return m_icon_key < 0 ? kNoKey : static_cast<uint32_t>(m_icon_key); }
  const CFont* Font() const { return FontOrDefault(m_font); }
  // The rows changed: the bar's range is set on the next pump, once however
  // many rows came.
  void RowsChanged();
  void InvalidateRow(int row);
  // Scrolls just enough to show `row`, redrawing when it moved.
  void Reveal(int row);
  // Scrolls by wheel steps, redrawing; false when there was nowhere to go.
  bool Wheel(int32_t steps);
  // The row a navigation key moves `caret` to, or -1 for other keys.
  int KeyTarget(uint16_t virtual_key, int caret) const;
  // `scroll: <pos>/<max>` when a bar is attached.
  void DescribeScroll(std::vector<std::string>* lines) const { DescribeBar(m_bar_id, "scroll", lines); }
  // `<name>: <pos>/<max>` of the bar `bar_id` beside the control, if any.
  void DescribeBar(uint32_t bar_id, const char* name, std::vector<std::string>* lines) const;
  // Sets the bars' ranges after the rows changed.
  virtual void Refresh() { SyncExtent(); }
  // Whether mouse input the control does not act on counts as used: clicks
  // and moves do; wheel steps go on to the parent.
  static bool IgnoredMouse(uint32_t code) { return code != kEvWheel && EventGroup(code) == 0x100; }
  // Gives the control the focus; false when that destroyed it.
  bool TakeFocus();

 private:
  void SyncExtent();

  CHeldFont m_font;
  int16_t m_fill = -1;
  int16_t m_icon_key = -1;
  CRowScroller m_scroller;
  uint32_t m_bar_id = 0;
  bool m_extent_pending = false;
};
