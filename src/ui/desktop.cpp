#include "ui/desktop.h"

#include "base/trace.h"
#include "ui/cursor.h"
#include "ui/event_queue.h"
#include "ui/os_layer.h"

namespace {

constexpr uint32_t kDesktopStyle = kStyleVisible | kStyleColorAware;

// The up to four bands of `outer` around `inner`, which lies inside it.
std::vector<TRect> BandsAround(const TRect& outer, const TRect& inner) {
  std::vector<TRect> bands;
  // In int: an edge at the end of the 16-bit range must not wrap round.
  const auto add = [&](int l, int t, int r, int b) {
    if (l <= r && t <= b)
      bands.push_back({static_cast<int16_t>(l), static_cast<int16_t>(t), static_cast<int16_t>(r),
                       static_cast<int16_t>(b)});
  };
  add(outer.left, outer.top, outer.right, inner.top - 1);
  add(outer.left, inner.bottom + 1, outer.right, outer.bottom);
  add(outer.left, inner.top, inner.left - 1, inner.bottom);
  add(inner.right + 1, inner.top, outer.right, inner.bottom);
  return bands;
}

// What is left of `rect` once `cover` hides a band across its whole width or
// height at one end; false when nothing changes.
bool CutBand(TRect* rect, const TRect& cover) {
  TRect& r = *rect;
  const bool across = cover.left <= r.left && cover.right >= r.right;
  const bool down = cover.top <= r.top && cover.bottom >= r.bottom;
  if (across && down) {
    r = CWindow::kNoRect;
  } else if (across && cover.top <= r.top && cover.bottom >= r.top) {
    r.top = static_cast<int16_t>(cover.bottom + 1);
  } else if (across && cover.bottom >= r.bottom && cover.top <= r.bottom) {
    r.bottom = static_cast<int16_t>(cover.top - 1);
  } else if (down && cover.left <= r.left && cover.right >= r.left) {
    r.left = static_cast<int16_t>(cover.right + 1);
  } else if (down && cover.right >= r.right && cover.left <= r.right) {
    r.right = static_cast<int16_t>(cover.left - 1);
  } else {
    return false;
  }
  return true;
}

}  // namespace

CDesktop::CDesktop(COSWindow* top_level, CEventQueue* queue)
    : CWindow(this, top_level->ContentRect(), kDesktopStyle), m_top_level(top_level), m_queue(queue) {
  SetId(queue->RegisterWindow(this));
  top_level->SetClient(this);
}

CDesktop::~CDesktop() {
  DestroyChildren();
  m_top_level->SetClient(nullptr);
  m_queue->Unregister(Id());
}

CWindow* CDesktop::Resolve(uint32_t id) const { return id ? m_queue->WindowById(id) : nullptr; }

void CDesktop::SetModal(CWindow* window) {
  m_modal = IdOf(window);
  m_cursor_update = true;
}

void CDesktop::BeginModal(CWindow* window) {
  m_modal_stack.push_back(IdOf(window));
  SetModal(window);
}

void CDesktop::EndModal(CWindow* window) {
  std::erase(m_modal_stack, IdOf(window));
  SetModal(m_modal_stack.empty() ? nullptr : Resolve(m_modal_stack.back()));
}

void CDesktop::SetCapture(CWindow* window) {
  CWindow* previous = GetCapture();
  if (previous == window) return;
  m_capture = IdOf(window);
  if (Traced(kTraceCapture))
    Tracer().Line(kTraceCapture, window ? window->Label() : "none");
  m_top_level->SetCapture(window != nullptr);
  if (previous) Mouse(previous, kCaptureLost, m_last_mouse);
  CWindow* hover = Hover();
  if (window && hover && hover != window) {
    m_hover = 0;
    Mouse(hover, kMouseLeave, m_last_mouse);
  }
}

void CDesktop::UpdateCursor() {
  m_cursor_update = false;
  CCursor* cursor = nullptr;
  TargetAt(m_last_mouse, &cursor);
  m_top_level->SetCursor(cursor);
}

void CDesktop::SetFocus(CWindow* window) {
  CWindow* previous = GetFocus();
  if (previous == window) return;
  m_focus = IdOf(window);
  if (previous) Key(previous, kEvFocusLost, 0, 0);
  if (CWindow* focus = GetFocus(); focus && focus == window) Key(focus, kEvFocusGained, 0, 0);
}

void CDesktop::Forget(CWindow* window) {
  const uint32_t id = IdOf(window);
  for (uint32_t* slot : {&m_focus, &m_saved_focus, &m_capture, &m_modal, &m_hover})
    if (*slot == id) *slot = 0;
  if (std::erase(m_modal_stack, id) && !m_modal && !m_modal_stack.empty())
    m_modal = m_modal_stack.back();
  m_cursor_update = true;
}

void CDesktop::Invalidate(const TRect& rect, const CWindow* window, bool include_window) {
  TRect area = rect;
  const CWindow* clipper = window ? (include_window ? window : window->Parent()) : this;
  for (; clipper; clipper = clipper->Parent())
    if (!clipper->IsVisible() || !IntersectRect(area, clipper->GetRect(), &area)) return;
  if ((GetStyle() & kDesktopTrim) && window) {
    TrimCovered(&area, window);
    if (RectEmpty(area)) return;
  }
  // Merge with every listed rectangle that makes one cheaper than two.
  for (;;) {
    bool merged = false;
    for (size_t i = 0; i < m_dirty.size(); ++i) {
      const TRect both = UnionRect(m_dirty[i], area);
      if (RectArea(both) < RectArea(m_dirty[i]) + RectArea(area)) {
        area = both;
        m_dirty[i] = m_dirty.back();
        m_dirty.pop_back();
        merged = true;
        break;
      }
    }
    if (merged) continue;
    if (m_dirty.size() < kDirtyLimit) break;
    area = UnionRect(area, m_dirty.back());
    m_dirty.pop_back();
  }
  m_dirty.push_back(area);
}

// Cuts off the bands of `rect` that opaque windows above `window` cover
// across the whole width or height.
void CDesktop::TrimCovered(TRect* rect, const CWindow* window) const {
  bool cut = true;
  while (cut && !RectEmpty(*rect)) {
    cut = false;
    for (const CWindow* level = window; level && level != this; level = level->Parent())
      for (const CWindow* above = level->PrevSibling(); above; above = above->PrevSibling())
        if (above->IsVisible() && !(above->GetStyle() & kStyleTransparent))
          cut = CutBand(rect, above->GetRect()) || cut;
  }
}

void CDesktop::UpdateRegion() {
  m_region_update = false;
  std::vector<TRect> region;
  GetRegion(&region);
  for (TRect& rect : region) rect = OffsetRect(rect, -m_scroll.x, -m_scroll.y);
  m_top_level->SetRegion(region);
}

SDrawContext CDesktop::FrameContext() const {
  SDrawContext context;
  context.view = m_top_level->FrameView();
  const TRect rect = GetRect();
  context.origin_x = -rect.left - m_scroll.x;
  context.origin_y = -rect.top - m_scroll.y;
  context.clip = rect;
  return context;
}

void CDesktop::Present() {
  if ((GetStyle() & kDesktopSuspended) || m_presenting || m_dirty.empty()) return;
  m_presenting = true;
  m_present.swap(m_dirty);
  m_dirty.clear();
  const SDrawContext context = FrameContext();
  // Painted in desktop coordinates, shown in the frame's.
  for (TRect& rect : m_present) {
    PaintRect(context, rect, this);
    rect = OffsetRect(rect, context.origin_x, context.origin_y);
  }
  if (GetStyle() & kDesktopPresentWhole)
    m_top_level->Present({});
  else
    m_top_level->Present(m_present);
  m_presenting = false;
  if (m_region_update) UpdateRegion();
  if (m_cursor_update) UpdateCursor();
}

void CDesktop::PaintRect(const SDrawContext& context, const TRect& rect, CWindow* level) {
  for (CWindow* child = level->FirstChild(); child; child = child->NextSibling()) {
    TRect inner;
    if (!child->IsVisible() || !IntersectRect(rect, child->GetRect(), &inner)) continue;
    if ((child->GetStyle() & kStyleTransparent) || RectArea(inner) * 2 <= RectArea(rect))
      continue;
    // Only a part no sibling above draws into belongs to the child alone.
    if (!child->IsUncovered(inner)) break;
    PaintRect(context, inner, child);
    for (const TRect& band : BandsAround(rect, inner)) PaintRect(context, band, level);
    return;
  }
  PaintLeaf(context, rect, level);
}

void CDesktop::PaintLeaf(const SDrawContext& context, const TRect& rect, CWindow* window) {
  SDrawContext area;
  if (!context.Clipped(rect, &area)) return;
  area.Fill(rect, m_background);
  DrawTree(area, window);
}

void CDesktop::DrawTree(const SDrawContext& context, CWindow* window) {
  SDrawContext inner;
  if (!context.Clipped(window->GetRect(), &inner)) return;
  window->Draw(inner, inner.clip);
  for (CWindow* child = window->LastChild(); child; child = child->PrevSibling())
    if (child->IsVisible()) DrawTree(inner, child);
  window->DrawOver(inner, inner.clip);
}

void CDesktop::PaletteChanged() {
  const auto mark = [](CWindow* window, const auto& self) -> void {
    if (window->GetStyle() & kStyleColorAware)
      window->SetStyle(window->GetStyle() | kStyleColorUpdate, false);
    for (CWindow* child = window->FirstChild(); child; child = child->NextSibling())
      self(child, self);
  };
  mark(this, mark);
}

CWindow* CDesktop::TargetAt(TPoint point, CCursor** cursor) {
  CWindow* modal = Modal();
  if (!modal) return WindowFromPoint(point, cursor);
  return modal->HitTest(point) ? modal->WindowFromPoint(point, cursor) : nullptr;
}

bool CDesktop::Mouse(CWindow* window, uint32_t code, TPoint point, int32_t steps) {
  for (; window; window = code == kEvWheel ? window->Parent() : nullptr) {
    if (Traced(kTraceEvent)) {
      const std::string label = window->Label();
      if (code == kEvWheel)
        Tracer().LineF(kTraceEvent, "mouse\t0x%X\t%d,%d\t%s\t%d", code, point.x, point.y,
                       label.c_str(), steps);
      else
        Tracer().LineF(kTraceEvent, "mouse\t0x%X\t%d,%d\t%s", code, point.x, point.y,
                       label.c_str());
    }
    const uint32_t id = window->Id();
    if (window->OnMouse(code, point, steps)) return true;
    window = Resolve(id);
  }
  return false;
}

bool CDesktop::Key(CWindow* window, uint32_t code, uint16_t virtual_key, uint16_t character) {
  while (window) {
    if (Traced(kTraceEvent))
      Tracer().LineF(kTraceEvent, "key\t0x%X\t0x%X\t0x%X\t%s", code, virtual_key, character,
                     window->Label().c_str());
    const uint32_t id = window->Id();
    if (window->OnKey(code, virtual_key, character)) return true;
    window = Resolve(id);
    window = window ? window->Parent() : nullptr;
  }
  return false;
}

void CDesktop::ChangeHover(CWindow* target, TPoint point) {
  const uint32_t target_id = IdOf(target);
  CWindow* old = Hover();
  m_hover = target_id;
  StoreStyle(GetStyle() & ~(kDesktopLeftDownSeen | kDesktopRightDownSeen));
  if (old) Mouse(old, kMouseLeave, point);
  if (CWindow* now = Resolve(target_id); now && m_hover == target_id) Mouse(now, kMouseEnter, point);
}

void CDesktop::RaiseTopmost() {
  CWindow* topmost = Resolve(m_topmost);
  if (topmost && topmost->Parent() == this && FirstChild() != topmost) topmost->BringToTop();
}

void CDesktop::OnMouseEvent(const SEventRecord& record) {
  const TPoint raw = UnpackPoint(record.p1);
  const TPoint point{static_cast<int16_t>(raw.x + m_scroll.x),
                     static_cast<int16_t>(raw.y + m_scroll.y)};
  m_last_mouse = point;
  m_mouse_inside = true;
  if (record.code != kEvWheel && record.code != kEvMouseMove) m_modifiers = record.p2;
  CCursor* cursor = nullptr;
  m_cursor_update = false;
  CWindow* target = TargetAt(point, &cursor);
  CWindow* capture = GetCapture();
  if (capture && target != capture) target = nullptr;
  if (target != Hover()) ChangeHover(target, point);
  uint32_t code = record.code;
  if (code == kEvLeftDouble && !(GetStyle() & kDesktopLeftDownSeen)) code = kEvLeftDown;
  if (code == kEvRightDouble && !(GetStyle() & kDesktopRightDownSeen)) code = kEvRightDown;
  CWindow* receiver = GetCapture();
  if (!receiver) receiver = Hover();
  if (receiver) {
    if (code == kEvLeftDown) StoreStyle(GetStyle() | kDesktopLeftDownSeen);
    if (code == kEvRightDown) StoreStyle(GetStyle() | kDesktopRightDownSeen);
    const int32_t steps = code == kEvWheel ? static_cast<int32_t>(record.p2) : 0;
    Mouse(receiver, code, point, steps);
  }
  // The walk above found the cursor, unless a handler changed the tree.
  if (m_cursor_update)
    UpdateCursor();
  else
    m_top_level->SetCursor(cursor);
}

void CDesktop::OnKeyEvent(const SEventRecord& record) {
  m_modifiers = record.p2;
  const uint16_t character = static_cast<uint16_t>(record.p1 & 0xFFFF);
  const uint16_t virtual_key = record.code == kEvChar ? 0 : static_cast<uint16_t>(record.p1 >> 16);
  Key(GetFocus(), record.code, virtual_key, character);
}

void CDesktop::OnPlatformFocus(bool gained) {
  if (gained) {
    CWindow* saved = SavedFocus();
    m_saved_focus = 0;
    if (!saved) return;
    m_focus = saved->Id();
    Key(saved, kEvFocusGained, 0, 0);
    return;
  }
  CWindow* focus = GetFocus();
  if (!focus) return;
  m_saved_focus = focus->Id();
  m_focus = 0;
  Key(focus, kEvFocusLost, 0, 0);
}

void CDesktop::OnMouseLeftWindow() {
  m_mouse_inside = false;
  if (GetCapture()) return;
  CWindow* hover = Hover();
  m_hover = 0;
  if (hover) Mouse(hover, kMouseLeave, m_last_mouse);
}

void CDesktop::InvalidateAndPresent() {
  Invalidate(GetRect(), nullptr, false);
  Present();
}

void CDesktop::OnResized() {
  if (!(GetStyle() & kDesktopKeepRect)) {
    m_scroll = {};
    SetRect(m_top_level->ContentRect(), false, false);
  }
  std::vector<uint32_t> children;
  for (CWindow* child = FirstChild(); child; child = child->NextSibling())
    children.push_back(child->Id());
  for (uint32_t child : children)
    if (Resolve(child)) SendEvent(child, kEvLayout, 0, 0);
  InvalidateAndPresent();
}

void CDesktop::SetScroll(TPoint scroll) {
  m_scroll = scroll;
  InvalidateAndPresent();
}

uint32_t CDesktop::OnEvent(const SEventRecord& record) {
  switch (EventGroup(record.code)) {
    case 0x100:
      OnMouseEvent(record);
      return 0;
    case 0x200:
      OnKeyEvent(record);
      return 0;
    case kEvRepaintAll:
      InvalidateAndPresent();
      return 0;
    case kEvResized:
      OnResized();
      return 0;
    case kEvMouseLeft:
      OnMouseLeftWindow();
      return 0;
    case kEvPlatformFocusGained:
      OnPlatformFocus(true);
      return 0;
    case kEvPlatformFocusLost:
      OnPlatformFocus(false);
      return 0;
    case kEvScrollSet:
    case kEvScrollMoved:
      SetScroll(UnpackPoint(record.p1));
      return 0;
    default:
      return 0;
  }
}
