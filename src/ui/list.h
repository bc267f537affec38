// Lists: rows of text, each with an optional icon, one or more of them
// selected.
//
// Keys: `Items` (rows separated by "|"), `FontColor`, `BkColor` (the
// control's fill; without it the list is transparent), `TColor` (the
// icons' clear colour), `Selected`, `Rollover` (the fills of selected rows and of
// the row under the mouse), `Focus` (the frame of the caret row while the
// list has the focus), `TextOffs` and `IconOffs` (x, y of text and icon in a
// row), `Font`, `ScrollID` (the bar that scrolls it). Tabs in a row's text
// go to the next multiple of 100 pixels from the text's start.
//
// A click selects its row; with MULTISEL, Ctrl toggles one row and Shift
// selects from the last clicked row. Up, Down, Home, End, Page Up and Page
// Down move the caret row (and the selection, extended with Shift). The
// With SELIMAGE a selected row shows the icon of the next column. The
// target hears kNotifyListSelect when the selection changed and
// kNotifyListActivate on a double click or Enter, both with the row.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/rows.h"

enum : uint32_t {
  kListSingle = 0x10000,
  kListRows = 0x20000,
  kListMultiSelect = 0x40000,
  kListFixed = 0x80000,
  kListTightScroll = 0x280000,
  kListIconOnly = 0x1000000,
  kListTextOnly = 0x2000000,
  kListAutoCalc = 0x4000000,
  kListSelImage = 0x8000000,
  kListIconsOnTop = 0x10000000,
};

class CUISList : public CRowControl {
  TV_CLASS(CUISList, CRowControl)

 public:
  static constexpr size_t kDumpedRows = 100;

  explicit CUISList(CWindow* parent) : CRowControl(parent) {}

  ErrCode ReadKeys(CTemplateReader& reader) override;
  void Draw(const SDrawContext& context, const TRect& rect) override;
  bool OnMouse(uint32_t code, TPoint point, int32_t steps) override;
  bool OnKey(uint32_t code, uint16_t virtual_key, uint16_t character) override;
  void DescribeDetails(std::vector<std::string>* lines) const override;
  // Reports the caret row as activated (a dialog's Enter key).
  void Activate() override;
  int RowTotal() const override { return static_cast<int>(m_rows.size()); }

  // `icon`: the column of the icon strip (-1: none).
  void AddRow(std::string text, int icon = -1);
  void Clear();
  int RowCount() const { return RowTotal(); }
  const std::string& RowText(int row) const { return m_rows[static_cast<size_t>(row)].text; }
  // The first selected row, or -1.
  int Selection() const;
  bool IsSelected(int row) const;
  // Selects `row` alone (-1: none) and shows it, unreported.
  void Select(int row);
  // The icon strip: square cells side by side, as wide as the picture is
  // high.
  bool SetIcons(const std::string& name);

 private:
  struct SRow {
    std::string text;
    int icon = -1;
    bool selected = false;
  };

  bool MultiSelect() const { return (GetStyle() & kListMultiSelect) != 0; }
  // Selects as a click with `modifiers` on `row` would; whether it changed.
  bool Pick(int row, uint32_t modifiers);
  bool SelectOnly(int row);
  bool SelectRange(int from, int to);
  void MoveCaret(int row, uint32_t modifiers);
  void SetHover(int row);
  SRowLook Look(int row) const;

  std::vector<SRow> m_rows;
  int m_caret = -1;
  int m_anchor = -1;
  int m_hover = -1;
  CHeldBitmap m_icons;
  uint8_t m_font_colour = 0;
  int16_t m_selected_fill = 7;
  int16_t m_hover_fill = -1;
  int16_t m_focus_frame = -1;
  int16_t m_text_offset[2] = {2, 0};
  int16_t m_icon_offset[2] = {0, 0};
};
