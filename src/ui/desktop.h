// The root of the window tree: routes input to windows (hover, capture,
// focus, the modal window, double clicks), collects what must be redrawn and
// presents it.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/window.h"

class CEventQueue;
class CFont;
class COSWindow;
class CResourceLoader;

// Desktop style bits, beside the window style bits.
enum : uint32_t {
  kDesktopTrim = 0x100,           // trim invalidated areas against cover
  kDesktopSuspended = 0x400,      // presentation suspended
  kDesktopPresentWhole = 0x800,   // present the whole frame
  kDesktopLeftDownSeen = 0x1000,  // a left down went to the hover window
  kDesktopRightDownSeen = 0x2000,
  kDesktopKeepRect = 0x4000,      // keep the rectangle when the window resizes
};

class CDesktop : public CWindow {
  TV_CLASS(CDesktop, CWindow)

 public:
  static constexpr size_t kDirtyLimit = 50;
  static constexpr uint8_t kEngineBackground = 255;

  // Takes the top-level window's content rectangle and becomes its client.
  CDesktop(COSWindow* top_level, CEventQueue* queue);
  ~CDesktop() override;

  CEventQueue* Queue() const { return m_queue; }
  COSWindow* TopLevel() const { return m_top_level; }

  virtual void SetModal(CWindow* window);
  CWindow* Modal() const { return Resolve(m_modal); }
  // Modal windows stack: the newest is the modal window, and when it ends
  // (or goes) the one below it is again.
  void BeginModal(CWindow* window);
  void EndModal(CWindow* window);
  virtual CWindow* GetCapture() const { return Resolve(m_capture); }
  virtual void SetCapture(CWindow* window);
  // Shows the cursor that applies at the last mouse position.
  virtual void UpdateCursor();
  virtual CWindow* GetFocus() const { return Resolve(m_focus); }
  virtual void SetFocus(CWindow* window);
  using CWindow::Invalidate;
  // `rect` of `window` (null: the desktop) must be drawn again; it is
  // clipped by the window's ancestors, and by the window itself when
  // `include_window` holds.
  virtual void Invalidate(const TRect& rect, const CWindow* window, bool include_window);
  // Hands the visible region to the top-level window.
  virtual void UpdateRegion();
  virtual void Present();
  virtual void PaintRect(const SDrawContext& context, const TRect& rect, CWindow* level);
  virtual void PaintLeaf(const SDrawContext& context, const TRect& rect, CWindow* window);
  // Every COLORAWARE window must redraw.
  virtual void PaletteChanged();
  virtual void Forget(CWindow* window);
  uint32_t OnEvent(const SEventRecord& record) override;

  // The desktop child kept above its siblings (the tool's menu bar).
  void SetTopmost(CWindow* window) { m_topmost = IdOf(window); }
  // Called as a child joins: puts the topmost child back on top.
  void RaiseTopmost();
  // Where game windows go: below the tool's menu bar, else everywhere.
  TRect StageRect() const { return RectEmpty(m_stage) ? GetRect() : m_stage; }
  void SetStageRect(const TRect& rect) { m_stage = rect; }

  CWindow* Hover() const { return Resolve(m_hover); }
  CWindow* SavedFocus() const { return Resolve(m_saved_focus); }
  bool MouseInside() const { return m_mouse_inside; }
  TPoint LastMouse() const { return m_last_mouse; }
  // The modifier bits of the latest key or button event.
  uint32_t Modifiers() const { return m_modifiers; }
  uint8_t Background() const { return m_background; }
  void SetBackground(uint8_t colour) { m_background = colour; }
  TPoint Scroll() const { return m_scroll; }
  const std::vector<TRect>& Dirty() const { return m_dirty; }
  bool NeedsPresent() const { return !m_dirty.empty(); }
  void SetCursorNeedsUpdate() { m_cursor_update = true; }
  void SetRegionNeedsUpdate() { m_region_update = true; }
  // The drawing context on the top-level window's frame.
  SDrawContext FrameContext() const;
  // Where controls load their templates, images and fonts, and the font of
  // those that name none; neither owned.
  void SetResources(CResourceLoader* resources, const CFont* default_font) {
    m_resources = resources;
    m_default_font = default_font;
  }
  CResourceLoader* Resources() const { return m_resources; }
  const CFont* DefaultFont() const { return m_default_font; }

 private:
  CWindow* Resolve(uint32_t id) const;
  uint32_t IdOf(const CWindow* window) const { return window ? window->Id() : 0; }
  void OnMouseEvent(const SEventRecord& record);
  void OnKeyEvent(const SEventRecord& record);
  void OnPlatformFocus(bool gained);
  void OnMouseLeftWindow();
  void OnResized();
  void SetScroll(TPoint scroll);
  void InvalidateAndPresent();
  // Calls with a trace line; unused wheel steps and keys go to the parent.
  bool Mouse(CWindow* window, uint32_t code, TPoint point, int32_t steps = 0);
  bool Key(CWindow* window, uint32_t code, uint16_t virtual_key, uint16_t character);
  void ChangeHover(CWindow* target, TPoint point);
  CWindow* TargetAt(TPoint point, CCursor** cursor);
  void TrimCovered(TRect* rect, const CWindow* window) const;
  void DrawTree(const SDrawContext& context, CWindow* window);

  COSWindow* m_top_level;
  CEventQueue* m_queue;
  CResourceLoader* m_resources = nullptr;
  const CFont* m_default_font = nullptr;
  uint32_t m_hover = 0;
  uint32_t m_capture = 0;
  uint32_t m_focus = 0;
  uint32_t m_saved_focus = 0;
  uint32_t m_modal = 0;
  uint32_t m_topmost = 0;
  TRect m_stage = kNoRect;
  std::vector<uint32_t> m_modal_stack;
  bool m_cursor_update = true;
  bool m_region_update = true;
  bool m_presenting = false;
  uint8_t m_background = kEngineBackground;
  TPoint m_last_mouse;
  bool m_mouse_inside = false;
  uint32_t m_modifiers = 0;
  TPoint m_scroll;
  std::vector<TRect> m_dirty;
  std::vector<TRect> m_present;
};
