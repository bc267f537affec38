// Visual world objects: objects with a place in the view, drawn by the
// view's compositor and hit by the mouse; and the hot spot, a visual object
// whose region is all there is of it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "gfx/bitmap.h"
#include "gfx/zbuffer.h"
#include "world/region.h"
#include "world/world_object.h"

// What the compositor holds of a visual object: its drawing, and the
// serial of the object it belongs to.
class CWVisualObject;

// What an object shows in the compositor; it lives and dies with its object.
class CWDrawable : public CZObj {
  TV_CLASS(CWDrawable, CZObj)

 public:
  explicit CWDrawable(CWVisualObject& object) : m_object(object) {}
  CWVisualObject& Object() const { return m_object; }

 private:
  CWVisualObject& m_object;
};

class CWVisualObject : public CWObject {
  TV_CLASS(CWVisualObject, CWObject)

 public:
  CWVisualObject(CWorld* world, StoreHandle own, StoreHandle template_handle);

  const TRect& Pos() const { return m_region.Bounds(); }
  const CRegion& Region() const { return m_region; }
  uint8_t ZOrder() const { return m_z_order; }
  bool IsVisible() const { return m_visible; }
  bool Attaches() const { return m_attach; }
  int Modal() const { return m_modal; }
  bool IsSolid() const { return m_solid; }
  bool IsArea() const { return m_area; }
  CWDrawable& Drawable() { return m_drawable; }
  // Whether `point` (view coordinates) hits the object: its region, and for
  // a picture neither solid nor an area, a pixel other than its key.
  virtual bool HitTest(TPoint point) const;
  // Takes events at the current modal level, or at every one with -1.
  bool AtModalLevel() const;
  // The same for the world's modal level `level`.
  bool AtModalLevel(int level) const { return m_modal == -1 || m_modal == level; }
  std::string_view SiteKind() const override;
  // Visual objects also show or hide.
  void SetActive(bool active) override;
  // Every AutoUpdate tick also asks "CalcPos" where the object goes.
  void Update() override;
  // One mouse event of the view for this object (`point` in view
  // coordinates): the object's handler for it, with object-local
  // coordinates. Ignored, but for leaving, when inactive or at another
  // modal level.
  virtual void OnMouse(uint32_t code, TPoint point);
  // Mouse events posted to the object, at the point of their first
  // parameter (view coordinates).
  void OnEvent(const SEventRecord& record) override;
  // Moves the object, keeping its size, through the compositor it is in.
  void MoveBy(int dx, int dy);
  // Depth, visibility and modal level as scripts change them; the drawing
  // follows at once.
  void SetZOrder(uint8_t z);
  void SetVisible(bool visible);
  void SetModal(int level) { m_modal = level; }
  // The compositor the view placed it in (null: none).
  void SetCompositor(CZBuffer* compositor) { m_compositor = compositor; }
  // The picture shown (null: none); the object owns it.
  CBitmap* Picture() const { return m_picture.get(); }
  // The picture's transparent colour index (above 255: none).
  uint32_t Key() const { return m_drawable.Key(); }
  // Replaces `from` by `to` in the picture shown, until it is made again.
  void RecolourPicture(uint8_t from, uint8_t to);
  // The same in what the picture is made from, so that the change stays
  // (a sprite's every frame, an animation's every frame to come); kinds
  // that make no picture from a source change the picture shown.
  virtual void RecolourSource(uint8_t from, uint8_t to) { RecolourPicture(from, to); }
  // Copies `area` of the 8-bit `source` to (x, y) of the picture shown,
  // leaving out pixels of `key` (kNoKey: none). INVALIDVALUE, nothing
  // drawn, without a picture.
  ErrCode DrawIntoPicture(const CBitmap& source, const TRect& area, TPoint at, uint32_t key);

  // A "TColor" of this or more names a pixel of the picture instead:
  // x = (TColor / 1000) mod 1000, y = TColor mod 1000.
  static constexpr int32_t kKeyPixelBase = 1000000;

 protected:
  void ReadProperties() override;
  // Shows `picture` keyed by `key` (-1: opaque) at the region's top-left;
  // "Pos" takes the picture's size and is written back. Null shows nothing.
  void ShowPicture(std::unique_ptr<CBitmap> picture, int32_t key);
  // Replaces `from` by `to` in every pixel of an 8-bit `picture`.
  static void Recolour(CBitmap& picture, uint8_t from, uint8_t to);
  // Redraws the picture after its pixels changed.
  void PictureChanged();
  // Puts the drawable at the region's bounds: where it was (`old`) and where
  // it is are redrawn.
  void Replace(const TRect& old);
  // Has the view compose `rect` again and show it.
  void Invalidate(const TRect& rect);
  // The same for the pixels of `area` (picture coordinates) alone.
  void PictureChanged(const TRect& area);
  // The transparent colour of `picture` by the object's "TColor" (missing:
  // the current view's, or -1 without one), a pixel's index for values
  // from kKeyPixelBase; -1 for what is neither a colour nor a pixel.
  int32_t KeyOf(const CBitmap& picture) const;

 private:
  CRegion m_region;
  CWDrawable m_drawable;
  std::unique_ptr<CBitmap> m_picture;
  // An 8-bit picture stays locked while it is shown, so that the hit test,
  // run at every mouse move, reads its pixels directly.
  std::optional<CBitmapLock> m_picture_pixels;
  CZBuffer* m_compositor = nullptr;
  uint8_t m_z_order = 1;
  bool m_visible = false;
  bool m_attach = false;
  int m_modal = 0;
  bool m_solid = false;
  bool m_area = false;
};

// "HotSpot": no picture, only its region.
class CWHotSpot : public CWVisualObject {
  TV_CLASS(CWHotSpot, CWVisualObject)

 public:
  using CWVisualObject::CWVisualObject;
};
