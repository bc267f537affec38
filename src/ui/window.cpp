#include "ui/window.h"

#include <cstdio>

#include "gfx/blit.h"
#include "gfx/font.h"
#include "ui/cursor.h"
#include "ui/desktop.h"
#include "ui/event_queue.h"

void SDrawContext::Fill(const TRect& rect, uint8_t colour) const {
  TRect area;
  if (!IntersectRect(rect, clip, &area)) return;
  ::Fill(view, OffsetRect(area, origin_x, origin_y), colour);
}

void SDrawContext::Frame(const TRect& r, uint8_t light, uint8_t dark) const {
  Fill({r.left, r.bottom, r.right, r.bottom}, dark);
  Fill({r.right, r.top, r.right, r.bottom}, dark);
  Fill({r.left, r.top, r.right, r.top}, light);
  Fill({r.left, r.top, r.left, r.bottom}, light);
}

void SDrawContext::Text(const CFont& font, int x, int y, std::string_view text,
                        uint8_t colour) const {
  font.DrawText(view, x + origin_x, y + origin_y, text, colour, OffsetRect(clip, origin_x, origin_y));
}

void SDrawContext::Picture(const CBitmap& picture, const TRect& cell, int x, int y,
                           uint32_t key) const {
  CBitmapLock lock(picture);
  if (!lock || RectEmpty(cell)) return;
  Blit8(view, x + origin_x, y + origin_y, lock.View(), cell, key,
        OffsetRect(clip, origin_x, origin_y));
}

void SDrawContext::Tile(const CBitmap& picture, const TRect& cell, const TRect& area) const {
  SDrawContext inner;
  if (RectEmpty(cell) || RectEmpty(area) || !Clipped(area, &inner)) return;
  CBitmapLock lock(picture);
  if (!lock) return;
  const TRect clip = OffsetRect(inner.clip, origin_x, origin_y);
  const int width = cell.right - cell.left + 1;
  const int height = cell.bottom - cell.top + 1;
  for (int y = area.top; y <= area.bottom; y += height)
    for (int x = area.left; x <= area.right; x += width)
      Blit8(view, x + origin_x, y + origin_y, lock.View(), cell, kNoKey, clip);
}

bool SDrawContext::Clipped(const TRect& rect, SDrawContext* inner) const {
  *inner = *this;
  return IntersectRect(clip, rect, &inner->clip);
}

CWindow::CWindow(CDesktop* desktop, CWindow* parent, const TRect& rect, uint32_t style)
    : m_desktop(desktop), m_rect(rect), m_style(style) {
  if (m_style & kStyleColorAware) m_style |= kStyleColorUpdate;
  m_id = desktop->Queue()->RegisterWindow(this);
  if (parent) Link(parent);
}

CWindow::CWindow(CDesktop* self, const TRect& rect, uint32_t style)
    : m_desktop(self), m_rect(rect), m_style(style) {
  if (m_style & kStyleColorAware) m_style |= kStyleColorUpdate;
}

CWindow::~CWindow() {
  DestroyChildren();
  if (m_desktop != this) {
    if (m_parent && IsVisible()) Invalidate();
    Unlink();
    m_desktop->Forget(this);
    m_desktop->Queue()->Unregister(m_id);
  }
}

void CWindow::DestroyChildren() {
  while (m_first_child) delete m_first_child;
}

bool CWindow::IsAncestorOf(const CWindow* window) const {
  for (; window; window = window->m_parent)
    if (window == this) return true;
  return false;
}

std::string CWindow::BoundsText() const {
  char bounds[64];
  std::snprintf(bounds, sizeof bounds, "@%d,%d,%d,%d", m_rect.left, m_rect.top, m_rect.right,
                m_rect.bottom);
  return bounds;
}

std::string CWindow::Label() const { return GetClassName() + BoundsText(); }

void CWindow::DescribeDetails(std::vector<std::string>*) const {}

void CWindow::Link(CWindow* parent) {
  m_parent = parent;
  m_prev = nullptr;
  m_next = parent->m_first_child;
  if (m_next)
    m_next->m_prev = this;
  else
    parent->m_last_child = this;
  parent->m_first_child = this;
  if (parent == m_desktop) m_desktop->RaiseTopmost();
}

void CWindow::Unlink() {
  if (!m_parent) return;
  (m_prev ? m_prev->m_next : m_parent->m_first_child) = m_next;
  (m_next ? m_next->m_prev : m_parent->m_last_child) = m_prev;
  m_parent = m_next = m_prev = nullptr;
}

void CWindow::MoveBy(int dx, int dy) {
  m_rect = OffsetRect(m_rect, dx, dy);
  for (CWindow* child = m_first_child; child; child = child->m_next) child->MoveBy(dx, dy);
}

void CWindow::SetRect(const TRect& rect, bool redraw, bool move_children) {
  const TRect old = m_rect;
  if (old.left == rect.left && old.top == rect.top && old.right == rect.right &&
      old.bottom == rect.bottom)
    return;
  if (redraw) Invalidate();
  if (move_children)
    for (CWindow* child = m_first_child; child; child = child->m_next)
      child->MoveBy(rect.left - old.left, rect.top - old.top);
  m_rect = rect;
  m_desktop->SetCursorNeedsUpdate();
  m_desktop->SetRegionNeedsUpdate();
  if (redraw) Invalidate();
}

void CWindow::SetStyle(uint32_t style, bool redraw) {
  const uint32_t changed = m_style ^ style;
  if (changed & (kStyleVisible | kStyleOwnRegion)) m_desktop->SetRegionNeedsUpdate();
  const bool hiding = (changed & kStyleVisible) && !(style & kStyleVisible);
  if (redraw && hiding) Invalidate();
  m_style = style;
  if (redraw && !hiding) Invalidate();
  m_desktop->SetCursorNeedsUpdate();
}

void CWindow::SetParent(CWindow* parent) {
  if (parent == m_parent || !parent || IsAncestorOf(parent)) return;
  if (IsVisible()) Invalidate();
  Unlink();
  Link(parent);
  if (IsVisible()) Invalidate();
  m_desktop->SetCursorNeedsUpdate();
}

void CWindow::BringToTop() {
  CWindow* parent = m_parent;
  if (!parent || parent->m_first_child == this) return;
  Unlink();
  Link(parent);
  if (IsVisible()) Invalidate();
  m_desktop->SetCursorNeedsUpdate();
}

void CWindow::SetDesktop(CDesktop* desktop) {
  if (desktop == m_desktop) return;
  m_desktop->Forget(this);
  m_desktop = desktop;
  for (CWindow* child = m_first_child; child; child = child->m_next) child->SetDesktop(desktop);
}

void CWindow::Draw(const SDrawContext&, const TRect&) {}

void CWindow::DrawOver(const SDrawContext&, const TRect&) {}

void CWindow::Invalidate(const TRect* rect) {
  m_desktop->Invalidate(rect ? *rect : m_rect, this, true);
}

bool CWindow::HitTest(TPoint point) const { return IsVisible() && RectContains(m_rect, point); }

CWindow* CWindow::ChildAt(TPoint point) const {
  for (CWindow* child = m_first_child; child; child = child->m_next)
    if (child->HitTest(point)) return child;
  return nullptr;
}

bool CWindow::IsUncovered(const TRect& rect) const {
  TRect area;
  if (!IntersectRect(rect, m_rect, &area)) return false;
  for (const CWindow* window = this; window; window = window->m_parent) {
    if (!window->IsVisible()) return false;
    for (const CWindow* above = window->m_prev; above; above = above->m_prev) {
      TRect overlap;
      if (above->IsVisible() && IntersectRect(area, above->m_rect, &overlap)) return false;
    }
  }
  return true;
}

void CWindow::GetRegion(std::vector<TRect>* rects) const { rects->push_back(m_rect); }

CWindow* CWindow::WindowFromPoint(TPoint point, CCursor** cursor) {
  if ((m_style & kStyleSetCursor) && m_cursor) *cursor = m_cursor.get();
  if (CWindow* child = ChildAt(point)) return child->WindowFromPoint(point, cursor);
  if ((m_style & kStyleForceCursor) && m_cursor) *cursor = m_cursor.get();
  return this;
}

uint32_t CWindow::OnEvent(const SEventRecord&) { return 0; }

bool CWindow::OnKey(uint32_t, uint16_t, uint16_t) { return false; }

bool CWindow::OnMouse(uint32_t, TPoint, int32_t) { return false; }

void CWindow::SetCursor(std::shared_ptr<CCursor> cursor) {
  m_cursor = std::move(cursor);
  m_desktop->SetCursorNeedsUpdate();
}

SEventRecord CWindow::MakeRecord(uint32_t target, uint32_t code, uint32_t p1,
                                 uint32_t p2) const {
  SEventRecord record;
  record.delivery = kDeliverWindow;
  record.target = target;
  record.source_kind = kSourceWindow;
  record.source = m_id;
  record.code = code;
  record.p1 = p1;
  record.p2 = p2;
  record.posted = record.due = m_desktop->Queue()->Now();
  return record;
}

ErrCode CWindow::PostEvent(uint32_t target, uint32_t code, uint32_t p1, uint32_t p2,
                           uint32_t delay) {
  CEventQueue* queue = m_desktop->Queue();
  SEventRecord record = MakeRecord(target, code, p1, p2);
  record.due = record.posted + delay;
  record.serial = queue->NextSerial();
  return queue->Post(record);
}

bool CWindow::Survives(const std::function<void()>& call) {
  const CEventQueue* queue = m_desktop->Queue();
  const uint32_t id = m_id;
  call();
  return queue->IsLive(id);
}

uint32_t CWindow::SendEvent(uint32_t target, uint32_t code, uint32_t p1, uint32_t p2) {
  return m_desktop->Queue()->Dispatch(MakeRecord(target, code, p1, p2));
}
