// Views and view sets.
//
// A view is one screen of the game: a background picture with the objects
// of its container placed on it. The containers above a view that are view
// sets carry objects and handlers shared by every view below them; the
// world itself is the outermost set. A view and the sets around it are
// entered (objects loaded, "OnEntry" called) exactly while they make up the
// current chain.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gfx/bitmap.h"
#include "gfx/zbuffer.h"
#include "ui/window.h"
#include "world/restriction.h"
#include "world/world.h"
#include "world/world_object.h"

class CWViewSet;
class CWVisualObject;

// Makes the objects of `container` that load on their own ("NoAutoLoad"
// unset), in container order, by `loaders`, named by their values
// (`untitled` when a name cannot be found); `add` takes each (false: no
// room, the object goes and loading ends).
void LoadChildren(CWorld& world, CVBContainer& container, LoaderTable loaders, const char* untitled,
                  const std::function<bool(std::unique_ptr<CWObject>)>& add);

// A view set: up to 16 objects of its own.
class CWViewSet : public CWObject {
  TV_CLASS(CWViewSet, CWObject)

 public:
  static constexpr size_t kMaxObjects = 16;

  CWViewSet(CWorld* world, StoreHandle own, StoreHandle template_handle)
      : CWObject(world, own, template_handle) {}
  ~CWViewSet() override;
  std::string_view SiteKind() const override;

  // Loads its objects, starts them, then calls "OnEntry" (outside edit
  // mode).
  void Enter();
  // Calls "OnExit", then stops and destroys its objects.
  void Leave();
  StoreHandle Handle() const { return Own() ? Own()->Handle() : 0; }
  const std::vector<std::unique_ptr<CWObject>>& Objects() const { return m_objects; }

 private:
  std::vector<std::unique_ptr<CWObject>> m_objects;
};

class CWPlaneViewWindow;

// The window of a plane view on the desktop: draws the view's composed
// picture and hands it the mouse and the keys.
class CViewHostWindow : public CWindow {
  TV_CLASS(CViewHostWindow, CWindow)

 public:
  CViewHostWindow(CDesktop* desktop, const TRect& rect, CWPlaneViewWindow* view);
  void Draw(const SDrawContext& context, const TRect& rect) override;
  bool OnMouse(uint32_t code, TPoint point, int32_t steps) override;
  bool OnKey(uint32_t code, uint16_t virtual_key, uint16_t character) override;
  void Detach() { m_view = nullptr; }

 private:
  CWPlaneViewWindow* m_view;
};

// The plane view: an 8-bit background with the view's objects composed on
// it.
class CWPlaneViewWindow : public CWObject {
  TV_CLASS(CWPlaneViewWindow, CWObject)

 public:
  static constexpr size_t kMaxPlainObjects = 512;
  // A carried object is drawn above everything until dropped.
  static constexpr uint8_t kCarriedZ = 255;

  CWPlaneViewWindow(CWorld* world, StoreHandle own, StoreHandle template_handle);
  ~CWPlaneViewWindow() override;
  std::string_view SiteKind() const override;

  // The view's path below "/World/", without "/" at either end.
  const std::string& ViewName() const { return m_view_name; }
  void SetViewName(std::string name) { m_view_name = std::move(name); }
  StoreHandle Handle() const { return Own() ? Own()->Handle() : 0; }
  // Loads the background and the objects, calls "OnEntry"; NOTFOUND without
  // an image name, INVALIDVALUE without a usable 8-bit picture.
  ErrCode Enter();
  void Leave();
  void Show(bool shown);
  CViewHostWindow* Window() const;
  const CBitmap* Canvas() const { return m_canvas.get(); }
  // Composes what changed and has the window show it.
  void Redraw();
  // The same once the events due now are delivered: the objects' changes
  // of a moment make one frame.
  void RequestRedraw();

  // From the host window: desktop coordinates.
  bool OnMouse(uint32_t code, TPoint point);
  bool OnKey(uint32_t code, uint16_t virtual_key);
  // The topmost visual object hit at a view point at the current modal
  // level, or null.
  CWVisualObject* ObjectAt(TPoint point) const;
  // The object under the cursor, as the rollover last found it.
  CWVisualObject* Rollover() const;
  // Until its left button up, every event goes to `object` alone; the one
  // holding the capture before is told it lost it.
  void SetCapture(CWVisualObject* object);
  // The object carried on the cursor, or null.
  CWVisualObject* Carried() const;
  // Picks `object` up with the grab offset `grab` (cursor - top-left) when
  // its "OnAttach" agrees; drops what was carried first.
  void PickUp(CWVisualObject* object, TPoint grab, TPoint cursor);
  // Offers the carried object to those under `cursor` ("Accept"), then asks
  // it ("OnDetach"); false when it stays on the cursor.
  bool Drop(TPoint cursor);
  // Drops what is carried without asking anyone (leaving the view).
  void DropUnasked();
  // Places a loaded object in the view and starts it; false (the object
  // goes) when the view has no room for it.
  bool Adopt(std::unique_ptr<CWObject> object);
  // The view's own objects, in loading order.
  const std::vector<std::unique_ptr<CWObject>>& Objects() const { return m_objects; }

  // Cursor restriction, in view coordinates; setting one places the
  // cursor on it. A mask needs an object with a picture and a transparent
  // colour and a start on one of its transparent pixels (else BADPARAMS,
  // nothing changes).
  void RestrictToLine(int y, int x1, int x2);
  ErrCode RestrictToMask(const CWVisualObject& object, TPoint start);
  void RemoveRestriction();
  // Where the restriction lets a cursor at its last place go towards
  // `point`.
  TPoint Restricted(TPoint point) const;
  // Moves the cursor there (the platform warps it).
  void PlaceCursor(TPoint point);
  // Sends leave and enter when the object under the cursor changed, with
  // the view's "OnMouseExit" and "OnMouseEnter". A call while one runs makes
  // the running one look again.
  void UpdateRollover(TPoint point);

 private:
  ErrCode LoadBackground();
  void RolloverPass(TPoint point);
  // Keeps the carried object at the cursor less the grab offset, on top.
  void FollowCursor(CWVisualObject& carried, TPoint cursor);
  // Moves the carried object to `rect` at z `z`.
  void PlaceCarried(CWVisualObject& object, const TRect& rect, uint8_t z);
  // Mouse events while something is carried.
  void MouseWhileCarrying(uint32_t code, TPoint point);
  void Click(TPoint point);
  void CallView(const char* handler, TPoint point, const CWVisualObject* object);
  void LoadObjects();

  std::string m_view_name;
  uint32_t m_window = 0;  // the host window's id; the desktop owns it
  std::unique_ptr<CBitmap> m_background;
  std::unique_ptr<CBitmap> m_canvas;
  CZBuffer m_compositor;
  mutable std::vector<CWVisualObject*> m_hit_shared;
  CZObj m_background_layer;
  std::vector<std::unique_ptr<CWObject>> m_objects;
  size_t m_plain_count = 0;  // objects that are not visual
  uint32_t m_rollover = 0;   // the serial of the object under the cursor
  uint32_t m_capture = 0;    // the serial of the object holding the mouse
  uint32_t m_carried = 0;    // the serial of the object on the cursor
  TPoint m_grab{0, 0};       // where the cursor holds it
  bool m_dropping = false;
  std::optional<CWCursorRestriction> m_restriction;
  TPoint m_cursor{0, 0};  // where the view last saw the cursor
  int m_arrow = 0;        // -1 or 1 while an arrow key moves the cursor along a line
  // One step of the held arrow key, and the next in 10 ms.
  void ArrowStep(uint32_t due);
  uint32_t m_rollover_requests = 0;
  bool m_in_rollover = false;
};
