// The engine's window tree: rectangles in desktop coordinates under one
// desktop, drawn by the engine into the 8-bit frame.
//
// A parent owns its children; the first child is the top of the z-order.
// Handlers may destroy windows, their own included: whoever calls into a
// window finds it again by id afterwards rather than keeping the pointer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "base/geometry.h"
#include "base/object.h"
#include "gfx/bitmap.h"
#include "ui/event.h"

class CCursor;
class CDesktop;
class CFont;

// Style bits. The first six are also the base flags of UI templates.
enum : uint32_t {
  kStyleTransparent = 0x01,   // does not hide what lies below
  kStyleVisible = 0x02,       // hit, painted and counted as cover
  kStyleSetCursor = 0x04,     // its cursor applies to it and its descendants
  kStyleForceCursor = 0x08,   // its cursor applies when it is the one hit
  kStyleColorUpdate = 0x10,   // must redraw after a palette change
  kStyleColorAware = 0x20,    // reacts to palette changes
  kStyleOwnRegion = 0x40,     // supplies its own visible region
};

// Where windows draw: the frame, the frame position of desktop point (0, 0),
// and the part of the desktop that may change.
struct SDrawContext {
  SPixelView view;
  int origin_x = 0;
  int origin_y = 0;
  TRect clip;

  // Fills `rect` (desktop coordinates) within the clip.
  void Fill(const TRect& rect, uint8_t colour) const;
  // A one-pixel frame just inside `rect`: top and left in `light`, bottom
  // and right in `dark`; the light edges own the corners they reach.
  void Frame(const TRect& rect, uint8_t light, uint8_t dark) const;
  // Text with the top-left of its first line at (x, y).
  void Text(const CFont& font, int x, int y, std::string_view text, uint8_t colour) const;
  // The `cell` of an 8-bit picture with its top-left at (x, y); pixels of
  // `key` (kNoKey: none) are left alone.
  void Picture(const CBitmap& picture, const TRect& cell, int x, int y, uint32_t key) const;
  // `area` covered with copies of `cell`, the first at its top-left.
  void Tile(const CBitmap& picture, const TRect& cell, const TRect& area) const;
  // The same context clipped further; false when nothing is left.
  bool Clipped(const TRect& rect, SDrawContext* inner) const;
};

class CWindow : public CObject {
  TV_CLASS(CWindow, CObject)

 public:
  static constexpr TRect kNoRect{1, 1, 0, 0};

  // Linked in under `parent` at once, at the top of its z-order.
  CWindow(CDesktop* desktop, CWindow* parent, const TRect& rect, uint32_t style);
  // Destroys the children first, then leaves the tree: its area is redrawn
  // and the desktop forgets it.
  ~CWindow() override;
  CWindow(const CWindow&) = delete;
  CWindow& operator=(const CWindow&) = delete;

  uint32_t Id() const { return m_id; }
  CDesktop* Desktop() const { return m_desktop; }
  CWindow* Parent() const { return m_parent; }
  CWindow* FirstChild() const { return m_first_child; }
  CWindow* LastChild() const { return m_last_child; }
  CWindow* NextSibling() const { return m_next; }
  CWindow* PrevSibling() const { return m_prev; }
  bool IsVisible() const { return (m_style & kStyleVisible) != 0; }
  bool IsAncestorOf(const CWindow* window) const;
  // "<class>@<left>,<top>,<right>,<bottom>", as traces and dumps name it.
  virtual std::string Label() const;
  // The lines a dump shows under the window's own (state, rows, text).
  virtual void DescribeDetails(std::vector<std::string>* lines) const;

  virtual TRect GetRect() const { return m_rect; }
  virtual void SetRect(const TRect& rect, bool redraw, bool move_children);
  virtual uint32_t GetStyle() const { return m_style; }
  virtual void SetStyle(uint32_t style, bool redraw);
  // Moves the window, at the top of the z-order, under another parent.
  virtual void SetParent(CWindow* parent);
  // Moves the window to the top of its parent's z-order.
  void BringToTop();
  virtual void SetDesktop(CDesktop* desktop);
  virtual void Draw(const SDrawContext& context, const TRect& rect);
  // Called after the children are drawn.
  virtual void DrawOver(const SDrawContext& context, const TRect& rect);
  // The rectangle (null: the whole window) must be drawn again.
  virtual void Invalidate(const TRect* rect = nullptr);
  virtual bool HitTest(TPoint point) const;
  // The first child from the top whose HitTest succeeds.
  virtual CWindow* ChildAt(TPoint point) const;
  // Whether no visible sibling above this window or above an ancestor covers
  // any of `rect` (clipped to the window), and every ancestor is visible.
  virtual bool IsUncovered(const TRect& rect) const;
  virtual void GetRegion(std::vector<TRect>* rects) const;
  // The deepest window at the point, the cursor that applies there written
  // to `cursor` (left alone when none does).
  virtual CWindow* WindowFromPoint(TPoint point, CCursor** cursor);
  virtual uint32_t OnEvent(const SEventRecord& record);
  // Both answer whether the input was used; unused keys and wheel steps go
  // on to the parent.
  virtual bool OnKey(uint32_t code, uint16_t virtual_key, uint16_t character);
  virtual bool OnMouse(uint32_t code, TPoint point, int32_t steps);

  void SetCursor(std::shared_ptr<CCursor> cursor);
  CCursor* Cursor() const { return m_cursor.get(); }

  // Runs `call`, which may destroy this window (a handler it reaches may);
  // whether the window still lives afterwards. Touch no member when not.
  bool Survives(const std::function<void()>& call);
  // A record to a window, due after `delay` ms.
  ErrCode PostEvent(uint32_t target, uint32_t code, uint32_t p1, uint32_t p2,
                    uint32_t delay);
  // The same record delivered at once; the target's answer.
  uint32_t SendEvent(uint32_t target, uint32_t code, uint32_t p1, uint32_t p2);

 protected:
  // For the desktop, which is its own desktop.
  CWindow(CDesktop* self, const TRect& rect, uint32_t style);
  void SetId(uint32_t id) { m_id = id; }
  // Style bits that neither show nor hit (the desktop's input marks).
  void StoreStyle(uint32_t style) { m_style = style; }
  void DestroyChildren();
  // "@<left>,<top>,<right>,<bottom>".
  std::string BoundsText() const;

 private:
  void Link(CWindow* parent);
  void Unlink();
  void MoveBy(int dx, int dy);
  SEventRecord MakeRecord(uint32_t target, uint32_t code, uint32_t p1, uint32_t p2) const;

  uint32_t m_id = 0;
  CDesktop* m_desktop = nullptr;
  CWindow* m_parent = nullptr;
  CWindow* m_next = nullptr;
  CWindow* m_prev = nullptr;
  CWindow* m_first_child = nullptr;
  CWindow* m_last_child = nullptr;
  TRect m_rect;
  uint32_t m_style;
  std::shared_ptr<CCursor> m_cursor;
};
