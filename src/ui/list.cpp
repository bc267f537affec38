#include "ui/list.h"

#include <algorithm>

#include "platform/platform.h"
#include "platform/virtual_keys.h"
#include "ui/desktop.h"

ErrCode CUISList::ReadKeys(CTemplateReader& reader) {
  const ErrCode error = CUIControl::ReadKeys(reader);
  ReadRowKeys(reader, "ScrollID");
  reader.GetByte("FontColor", &m_font_colour);
  GetColour(reader, "Selected", &m_selected_fill);
  GetColour(reader, "Rollover", &m_hover_fill);
  GetColour(reader, "Focus", &m_focus_frame);
  reader.GetShorts("TextOffs", m_text_offset, 2);
  reader.GetShorts("IconOffs", m_icon_offset, 2);
  std::string items;
  if (reader.Get("Items", &items) == err::kOk && !items.empty())
    for (std::string& item : SplitItems(items)) AddRow(std::move(item));
  return error;
}

bool CUISList::SetIcons(const std::string& name) {
  const bool loaded = m_icons.Load(Desktop()->Resources(), name);
  Invalidate();
  return loaded;
}

void CUISList::AddRow(std::string text, int icon) {
  m_rows.push_back({std::move(text), icon, false});
  RowsChanged();
  InvalidateRow(RowTotal() - 1);
}

void CUISList::Clear() {
  m_rows.clear();
  m_caret = m_anchor = m_hover = -1;
  RowsChanged();
  Invalidate();
}

int CUISList::Selection() const {
  const auto found = std::find_if(m_rows.begin(), m_rows.end(), [](const SRow& r) { return r.selected; });
  return found == m_rows.end() ? -1 : static_cast<int>(found - m_rows.begin());
}

bool CUISList::IsSelected(int row) const {
  return row >= 0 && row < RowTotal() && m_rows[static_cast<size_t>(row)].selected;
}

void CUISList::Select(int row) {
  if (row < 0 || row >= RowTotal()) row = -1;
  SelectOnly(row);
  m_caret = m_anchor = row;
  if (row >= 0) Reveal(row);
}

bool CUISList::SelectRange(int from, int to) {
  const int low = std::min(from, to);
  const int high = std::max(from, to);
  bool changed = false;
  for (int row = 0; row < RowTotal(); ++row) {
    const bool selected = row >= low && row <= high;
    SRow& r = m_rows[static_cast<size_t>(row)];
    if (r.selected == selected) continue;
    r.selected = selected;
    changed = true;
    InvalidateRow(row);
  }
  return changed;
}

bool CUISList::SelectOnly(int row) { return SelectRange(row, row); }

bool CUISList::Pick(int row, uint32_t modifiers) {
  const int old_caret = m_caret;
  m_caret = row;
  InvalidateRow(old_caret);
  InvalidateRow(row);
  if (MultiSelect() && (modifiers & kModShift) && m_anchor >= 0) return SelectRange(m_anchor, row);
  m_anchor = row;
  if (!MultiSelect() || !(modifiers & kModControl)) return SelectOnly(row);
  SRow& r = m_rows[static_cast<size_t>(row)];
  r.selected = !r.selected;
  return true;
}

void CUISList::MoveCaret(int row, uint32_t modifiers) {
  Reveal(row);
  bool changed = false;
  if (MultiSelect() && (modifiers & kModControl) && !(modifiers & kModShift)) {
    // Ctrl moves the caret alone, leaving the selection as it is.
    InvalidateRow(m_caret);
    m_caret = row;
    InvalidateRow(row);
  } else {
    changed = Pick(row, modifiers);
  }
  if (changed) Notify(kNotifyListSelect, ControlId(), static_cast<uint32_t>(row));
}

void CUISList::SetHover(int row) {
  if (row == m_hover) return;
  InvalidateRow(m_hover);
  m_hover = row;
  InvalidateRow(row);
}

void CUISList::Activate() {
  if (m_caret >= 0) Notify(kNotifyListActivate, ControlId(), static_cast<uint32_t>(m_caret));
}

bool CUISList::OnMouse(uint32_t code, TPoint point, int32_t steps) {
  if (code == kEvWheel) return TakesInput() && Wheel(steps);
  if (!TakesInput()) return IgnoredMouse(code);
  switch (code) {
    case kMouseEnter:
    case kEvMouseMove:
      SetHover(RowAt(point));
      return true;
    case kMouseLeave:
      SetHover(-1);
      return true;
    case kEvLeftDown:
    case kEvLeftDouble: {
      const int row = RowAt(point);
      const uint32_t modifiers = Desktop()->Modifiers();
      if (!TakeFocus() || row < 0) return true;
      const bool twice = code == kEvLeftDouble;
      // The first click of a double click has already selected the row.
      if (!(twice && IsSelected(row)) && Pick(row, modifiers))
        Notify(kNotifyListSelect, ControlId(), static_cast<uint32_t>(row));
      if (twice) Activate();
      return true;
    }
    default:
      return IgnoredMouse(code);
  }
}

bool CUISList::OnKey(uint32_t code, uint16_t virtual_key, uint16_t character) {
  if (CRowControl::OnKey(code, virtual_key, character)) return true;
  if (code != kEvKeyDown || !TakesInput()) return false;
  if (virtual_key == kVkReturn) {
    if (m_caret < 0) return false;
    Activate();
    return true;
  }
  const int row = KeyTarget(virtual_key, m_caret);
  if (row < 0) return false;
  MoveCaret(row, Desktop()->Modifiers());
  return true;
}

SRowLook CUISList::Look(int row) const {
  const SRow& r = m_rows[static_cast<size_t>(row)];
  SRowLook look;
  look.rect = RowRect(row);
  look.fill = r.selected ? m_selected_fill : row == m_hover ? m_hover_fill : int16_t{-1};
  look.frame = row == m_caret && Desktop()->GetFocus() == this ? m_focus_frame : int16_t{-1};
  if (m_icons && r.icon >= 0 && !(GetStyle() & kListTextOnly)) {
    look.icons = m_icons.get();
    look.icon_key = IconKey();
    const int cell = std::max<int>(1, m_icons->Height());
    const int shown = r.icon + (r.selected && (GetStyle() & kListSelImage) ? 1 : 0);
    look.icon_cell = PictureColumn(*m_icons, shown, m_icons->Width() / cell);
    look.icon_x = look.rect.left + m_icon_offset[0];
    look.icon_y = look.rect.top + m_icon_offset[1];
  }
  if (!(GetStyle() & kListIconOnly)) look.text = r.text;
  look.text_x = look.rect.left + m_text_offset[0];
  look.text_y = look.rect.top + m_text_offset[1];
  look.colour = IsDisabled() ? kDisabledColour : m_font_colour;
  return look;
}

void CUISList::Draw(const SDrawContext& context, const TRect& rect) {
  const TRect bounds = GetRect();
  SDrawContext inner;
  if (!context.Clipped(bounds, &inner)) return;
  DrawBackground(inner);
  const auto [first, last] = RowsIn(rect);
  for (int row = first; row <= last; ++row) DrawRow(inner, Font(), Look(row));
}

void CUISList::DescribeDetails(std::vector<std::string>* lines) const {
  const size_t shown = std::min(m_rows.size(), kDumpedRows);
  for (size_t row = 0; row < shown; ++row)
    lines->push_back((m_rows[row].selected ? "row*: " : "row: ") + m_rows[row].text);
  if (shown < m_rows.size()) lines->push_back("more: " + std::to_string(m_rows.size() - shown));
  DescribeScroll(lines);
}
