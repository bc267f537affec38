#include "ui/scroll.h"

#include <algorithm>

#include "gfx/blit.h"
#include "ui/button.h"
#include "ui/desktop.h"
#include "ui/event_queue.h"
#include "ui/ui_colours.h"

using namespace ui_colour;

namespace {

constexpr int kMinThumb = 8;
// The state columns of a thumb picture: normal, then dragged.
constexpr size_t kThumbNormal = 0;
constexpr size_t kThumbDragged = 3;

}  // namespace

CUIScroll::CUIScroll(CWindow* parent) : CUIControl(parent) {}

ErrCode CUIScroll::ReadKeys(CTemplateReader& reader) {
  const ErrCode error = CUIControl::ReadKeys(reader);
  std::string value;
  if (reader.Get("Thumb", &value) == err::kOk) m_thumb.Load(reader.Resources(), value);
  if (reader.Get("ImageType", &value) == err::kOk && !value.empty()) m_image_type = value;
  reader.GetId("BackID", &m_back_id);
  reader.GetId("ForwardID", &m_forward_id);
  ShowRange();
  return error;
}

void CUIScroll::SetRange(int max, int page) {
  m_max = std::max(0, max);
  m_page = std::max(1, page);
  m_pos = std::clamp(m_pos, 0, m_max);
  ShowRange();
  Invalidate();
}

void CUIScroll::ShowRange() {
  uint32_t style = GetStyle();
  const bool idle = m_max == 0;
  if (style & kScrollAutoDisable) style = idle ? style | kStyleDisabled : style & ~kStyleDisabled;
  if (style & kScrollAutoHide) style = idle ? style & ~kStyleVisible : style | kStyleVisible;
  if (style != GetStyle()) SetStyle(style, true);
}

void CUIScroll::SetPos(int pos) {
  pos = std::clamp(pos, 0, m_max);
  if (pos == m_pos) return;
  m_pos = pos;
  Invalidate();
  if (m_grip < 0 || (GetStyle() & kScrollAutoMove)) Report();
}

void CUIScroll::Report() {
  const auto pos = static_cast<uint32_t>(m_pos);
  // The owner may take the bar with it.
  if (m_owner && Desktop()->Queue()->IsLive(m_owner) &&
      !Survives([&] { SendEvent(m_owner, kNotifyScroll, ControlId(), pos); }))
    return;
  Notify(kNotifyScroll, ControlId(), pos);
}

TRect CUIScroll::Track() const {
  TRect track = GetRect();
  const bool vertical = IsVertical();
  const auto shrink = [&](uint32_t id, bool at_start) {
    const CUIControl* button = id ? FindControl(const_cast<CUIScroll*>(this), id) : nullptr;
    if (!button) return;
    const TRect r = button->GetRect();
    int16_t& edge = vertical ? (at_start ? track.top : track.bottom) : (at_start ? track.left : track.right);
    edge = at_start ? std::max(edge, static_cast<int16_t>((vertical ? r.bottom : r.right) + 1))
                    : std::min(edge, static_cast<int16_t>((vertical ? r.top : r.left) - 1));
  };
  shrink(m_back_id, true);
  shrink(m_forward_id, false);
  return track;
}

CUIScroll::SSpan CUIScroll::Thumb() const {
  const TRect track = Track();
  const int span = IsVertical() ? track.bottom - track.top + 1 : track.right - track.left + 1;
  int length = span * m_page / (m_max + m_page);
  if (m_thumb) {
    const TRect cell = StateCell(*m_thumb, m_image_type, kThumbNormal, 0, 1);
    length = IsVertical() ? cell.bottom - cell.top + 1 : cell.right - cell.left + 1;
  }
  length = std::min(span, std::max(length, kMinThumb));
  const int start = m_max == 0 ? 0 : (span - length) * m_pos / m_max;
  return {start, length};
}

int CUIScroll::Along(TPoint point) const {
  const TRect track = Track();
  return IsVertical() ? point.y - track.top : point.x - track.left;
}

void CUIScroll::Draw(const SDrawContext& context, const TRect&) {
  const TRect track = Track();
  if (RectEmpty(track)) return;
  context.Fill(track, kFace);
  const SSpan thumb = Thumb();
  TRect r = track;
  if (IsVertical()) {
    r.top = static_cast<int16_t>(track.top + thumb.start);
    r.bottom = static_cast<int16_t>(r.top + thumb.length - 1);
  } else {
    r.left = static_cast<int16_t>(track.left + thumb.start);
    r.right = static_cast<int16_t>(r.left + thumb.length - 1);
  }
  // Nothing to scroll, nothing to drag.
  if (IsDisabled()) return;
  if (m_thumb) {
    const size_t state = m_grip >= 0 ? kThumbDragged : kThumbNormal;
    context.Picture(*m_thumb, StateCell(*m_thumb, m_image_type, state, 0, 1), r.left, r.top, kNoKey);
    return;
  }
  context.Fill(r, kFace);
  context.Frame(r, kLight, kShadow);
}

void CUIScroll::Page(int direction) {
  SetPos(m_pos + direction * m_page);
  if (GetStyle() & kScrollAutoRepeat)
    PostEvent(Id(), kNotifyRepeat, ++m_repeat, 0,
              m_paging ? CUIButton::kRepeatInterval : CUIButton::kRepeatDelay);
  m_paging = direction;
}

void CUIScroll::Drag(TPoint point) {
  const SSpan thumb = Thumb();
  const TRect track = Track();
  const int span = (IsVertical() ? track.bottom - track.top + 1 : track.right - track.left + 1) -
                   thumb.length;
  if (span <= 0) return;
  const int start = Along(point) - m_grip;
  SetPos((start * m_max + span / 2) / span);
}

bool CUIScroll::OnMouse(uint32_t code, TPoint point, int32_t steps) {
  if (code == kEvWheel) {
    const int before = m_pos;
    if (TakesInput()) SetPos(m_pos - steps * kWheelRows);
    return m_pos != before;
  }
  if (!TakesInput()) return EventGroup(code) == 0x100;
  switch (code) {
    case kEvLeftDown:
    case kEvLeftDouble: {
      const SSpan thumb = Thumb();
      const int at = Along(point);
      Desktop()->SetCapture(this);
      if (at >= thumb.start && at < thumb.start + thumb.length) {
        m_grip = at - thumb.start;
        Invalidate();
      } else {
        m_paging = 0;
        Page(at < thumb.start ? -1 : 1);
      }
      return true;
    }
    case kEvMouseMove:
      if (m_grip >= 0) Drag(point);
      return true;
    case kEvLeftUp:
    case kCaptureLost: {
      const bool dragged = m_grip >= 0;
      m_grip = -1;
      m_paging = 0;
      ++m_repeat;
      if (code == kEvLeftUp && Desktop()->GetCapture() == this) Desktop()->SetCapture(nullptr);
      if (dragged) {
        Invalidate();
        if (!(GetStyle() & kScrollAutoMove)) Report();
      }
      return true;
    }
    default:
      return EventGroup(code) == 0x100;
  }
}

uint32_t CUIScroll::OnEvent(const SEventRecord& record) {
  if (record.code == kNotifyRepeat && record.p1 == m_repeat && m_paging) {
    Page(m_paging);
    return 0;
  }
  if (record.code == kNotifyPressed && record.p1 != 0 && TakesInput()) {
    if (record.p1 == m_back_id) SetPos(m_pos - 1);
    if (record.p1 == m_forward_id) SetPos(m_pos + 1);
    if (record.p1 == m_back_id || record.p1 == m_forward_id) return 0;
  }
  return CUIControl::OnEvent(record);
}

void CUIScroll::DescribeDetails(std::vector<std::string>* lines) const {
  lines->push_back("scroll: " + std::to_string(m_pos) + "/" + std::to_string(m_max));
}

void CRowScroller::Attach(CUIControl* owner, uint32_t bar_id) {
  m_owner = owner;
  m_bar_id = bar_id;
}

CUIScroll* CRowScroller::Bar() const {
  if (!m_owner || !m_bar_id || !m_owner->Parent()) return nullptr;
  return KindOf<CUIScroll>(FindControl(m_owner->Parent(), m_bar_id));
}

void CRowScroller::SetExtent(int rows, int page) {
  m_rows = std::max(0, rows);
  m_page = std::max(1, page);
  m_top = std::clamp(m_top, 0, std::max(0, m_rows - m_page));
  if (CUIScroll* bar = Bar()) {
    bar->Attach(m_owner);
    bar->SetRange(std::max(0, m_rows - m_page), m_page);
    bar->SetPos(m_top);
  }
}

bool CRowScroller::ScrollTo(int top) {
  top = std::clamp(top, 0, std::max(0, m_rows - m_page));
  if (top == m_top) return false;
  m_top = top;
  if (CUIScroll* bar = Bar()) bar->SetPos(m_top);
  return true;
}

bool CRowScroller::Reveal(int row) {
  if (row < m_top) return ScrollTo(row);
  if (row >= m_top + m_page) return ScrollTo(row - m_page + 1);
  return false;
}

bool CRowScroller::Wheel(int32_t steps) { return ScrollTo(m_top - steps * kWheelRows); }

bool CRowScroller::OnBarEvent(const SEventRecord& record) {
  if (record.code != kNotifyScroll || !m_bar_id || record.p1 != m_bar_id) return false;
  m_top = std::clamp(static_cast<int>(record.p2), 0, std::max(0, m_rows - m_page));
  return true;
}
