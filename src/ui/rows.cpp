#include "ui/rows.h"

#include <algorithm>

#include "gfx/blit.h"
#include "gfx/font.h"
#include "platform/virtual_keys.h"
#include "ui/desktop.h"
#include "ui/event_queue.h"

namespace {

// A row control's own reminder to set its bar's range.
constexpr uint32_t kRowsRefresh = 0x1234561F;

}  // namespace

void DrawRow(const SDrawContext& context, const CFont* font, const SRowLook& row) {
  if (row.fill >= 0) context.Fill(row.rect, static_cast<uint8_t>(row.fill));
  if (row.icons && !RectEmpty(row.icon_cell))
    context.Picture(*row.icons, row.icon_cell, row.icon_x, row.icon_y, row.icon_key);
  if (font) {
    int x = row.text_x;
    std::string_view rest = row.text;
    for (;;) {
      const size_t tab = rest.find('\t');
      const std::string_view part = rest.substr(0, tab);
      context.Text(*font, x, row.text_y, part, row.colour);
      if (tab == std::string_view::npos) break;
      x += font->MeasureText(part);
      x = row.text_x + ((x - row.text_x) / kTabWidth + 1) * kTabWidth;
      rest.remove_prefix(tab + 1);
    }
  }
  if (row.frame >= 0)
    context.Frame(row.rect, static_cast<uint8_t>(row.frame), static_cast<uint8_t>(row.frame));
}

std::vector<std::string> SplitItems(std::string_view items) {
  std::vector<std::string> parts;
  for (;;) {
    const size_t bar = items.find('|');
    parts.emplace_back(items.substr(0, bar));
    if (bar == std::string_view::npos) return parts;
    items.remove_prefix(bar + 1);
  }
}

void GetColour(const CTemplateReader& reader, const char* key, int16_t* colour) {
  uint8_t value = 0;
  if (reader.GetByte(key, &value)) *colour = value;
}

TRect PictureColumn(const CBitmap& picture, int column, int columns) {
  const int width = columns > 0 ? picture.Width() / columns : 0;
  if (width <= 0 || column < 0 || column >= columns) return CWindow::kNoRect;
  return {static_cast<int16_t>(column * width), 0, static_cast<int16_t>((column + 1) * width - 1),
          static_cast<int16_t>(picture.Height() - 1)};
}

void CRowControl::ReadRowKeys(CTemplateReader& reader, const char* bar_key) {
  std::string name;
  if (reader.Get("Font", &name) == err::kOk) m_font.Load(reader.Resources(), name);
  GetColour(reader, "BkColor", &m_fill);
  GetColour(reader, "TColor", &m_icon_key);
  if (m_fill < 0) SetStyle(GetStyle() | kStyleTransparent, false);
  reader.GetId(bar_key, &m_bar_id);
  m_scroller.Attach(this, m_bar_id);
}

void CRowControl::DrawBackground(const SDrawContext& context) const {
  if (m_fill >= 0) context.Fill(GetRect(), static_cast<uint8_t>(m_fill));
}

void CRowControl::SetRect(const TRect& rect, bool redraw, bool move_children) {
  CUIControl::SetRect(rect, redraw, move_children);
  RowsChanged();
}

int CRowControl::LineHeight() const {
  const CFont* font = Font();
  return font ? std::max(1, font->LineHeight()) : 1;
}

int CRowControl::PageRows() const {
  const TRect rect = GetRect();
  return std::max(1, (rect.bottom - rect.top + 1) / LineHeight());
}

int CRowControl::RowAt(TPoint point) const {
  const TRect rect = GetRect();
  if (!RectContains(rect, point)) return -1;
  const int row = TopRow() + (point.y - rect.top) / LineHeight();
  return row < RowTotal() ? row : -1;
}

TRect CRowControl::RowRect(int row) const {
  const TRect rect = GetRect();
  const int top = rect.top + (row - TopRow()) * LineHeight();
  return {rect.left, static_cast<int16_t>(top), rect.right,
          static_cast<int16_t>(top + LineHeight() - 1)};
}

std::pair<int, int> CRowControl::RowsIn(const TRect& rect) const {
  const int top = GetRect().top;
  const int first = TopRow() + std::max(0, rect.top - top) / LineHeight();
  const int last = TopRow() + std::max(0, rect.bottom - top) / LineHeight();
  return {first, std::min(last, RowTotal() - 1)};
}

void CRowControl::RowsChanged() {
  if (m_extent_pending) return;
  m_extent_pending = true;
  PostEvent(Id(), kRowsRefresh, 0, 0, 0);
}

void CRowControl::InvalidateRow(int row) {
  if (row < TopRow() || row >= TopRow() + PageRows() + 1) return;
  const TRect rect = RowRect(row);
  Invalidate(&rect);
}

void CRowControl::SyncExtent() { m_scroller.SetExtent(RowTotal(), PageRows()); }

void CRowControl::Reveal(int row) {
  SyncExtent();
  if (m_scroller.Reveal(row)) Invalidate();
}

bool CRowControl::Wheel(int32_t steps) {
  SyncExtent();
  if (!m_scroller.Wheel(steps)) return false;
  Invalidate();
  return true;
}

int CRowControl::KeyTarget(uint16_t virtual_key, int caret) const {
  const int last = RowTotal() - 1;
  if (last < 0) return -1;
  const int page = std::max(1, PageRows() - 1);
  int target = 0;
  switch (virtual_key) {
    case kVkUp: target = caret - 1; break;
    case kVkDown: target = caret + 1; break;
    case kVkPrior: target = caret - page; break;
    case kVkNext: target = caret + page; break;
    case kVkHome: target = 0; break;
    case kVkEnd: target = last; break;
    default: return -1;
  }
  return std::clamp(target, 0, last);
}

void CRowControl::DescribeBar(uint32_t bar_id, const char* name,
                              std::vector<std::string>* lines) const {
  if (!bar_id || !Parent()) return;
  const CUIScroll* bar = KindOf<CUIScroll>(FindControl(Parent(), bar_id));
  if (!bar) return;
  lines->push_back(std::string(name) + ": " + std::to_string(bar->Pos()) + "/" +
                   std::to_string(bar->Max()));
}

bool CRowControl::TakeFocus() {
  return Survives([this] { Desktop()->SetFocus(this); });
}

uint32_t CRowControl::OnEvent(const SEventRecord& record) {
  if (record.code == kRowsRefresh) {
    m_extent_pending = false;
    Refresh();
    Invalidate();
    return 0;
  }
  if (m_scroller.OnBarEvent(record)) {
    Invalidate();
    return 0;
  }
  return CUIControl::OnEvent(record);
}

bool CRowControl::OnKey(uint32_t code, uint16_t, uint16_t) {
  if (code != kEvFocusGained && code != kEvFocusLost) return false;
  Invalidate();
  return true;
}
