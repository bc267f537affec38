#include "world/visual_object.h"

#include <algorithm>
#include <iterator>

#include "gfx/blit.h"
#include "ui/event.h"
#include "world/handler_sites.h"
#include "world/view.h"
#include "world/world.h"

CWVisualObject::CWVisualObject(CWorld* world, StoreHandle own, StoreHandle template_handle)
    : CWObject(world, own, template_handle), m_drawable(*this) {
  ReadProperties();
}

void CWVisualObject::ReadProperties() {
  CWObject::ReadProperties();
  const char* polygon = GetString("Polygon");
  m_region = CRegion(GetRect("Pos"), polygon ? polygon : "");
  m_z_order = static_cast<uint8_t>(GetLong("ZOrder"));
  m_visible = GetLong("Visible") != 0;
  m_attach = GetLong("Attach") != 0;
  m_modal = GetLong("Modal");
  m_solid = GetLong("Solid") != 0;
  m_area = GetLong("Area") != 0;
  m_drawable.Place(m_region.Bounds(), m_z_order ? m_z_order : 1);
  m_drawable.SetDrawState(m_visible);
}

bool CWVisualObject::HitTest(TPoint point) const {
  if (!m_region.Contains(point)) return false;
  const CBitmap* picture = m_drawable.Bitmap();
  if (!picture || m_solid || m_area || m_drawable.Key() > 0xFF) return true;
  const TRect& rect = m_drawable.Rect();
  const int x = point.x - rect.left, y = point.y - rect.top;
  if (!m_picture_pixels) return picture->GetPixel(x, y) != static_cast<int32_t>(m_drawable.Key());
  // Outside the picture but inside the region there is no key to pass.
  const SPixelView& pixels = m_picture_pixels->View();
  return x < 0 || y < 0 || x >= pixels.width || y >= pixels.height ||
         pixels.Row(y)[x] != m_drawable.Key();
}

bool CWVisualObject::AtModalLevel() const { return AtModalLevel(World().ModalLevel()); }

std::string_view CWVisualObject::SiteKind() const { return kSiteVisual; }

void CWVisualObject::SetActive(bool active) {
  CWObject::SetActive(active);
  m_visible = active;
  m_drawable.SetDrawState(active);
  Invalidate(m_drawable.Rect());
}

void CWVisualObject::Update() {
  CWObject::Update();
  const TRect& pos = m_region.Bounds();
  int32_t x = pos.left, y = pos.top;
  const SCallArg args[] = {SCallArg::Ref(&x), SCallArg::Ref(&y)};
  if (CallSite("CalcPos", args) == err::kOk && (x != pos.left || y != pos.top))
    MoveBy(x - pos.left, y - pos.top);
}

namespace {

// When the cursor takes its default shape around a handler.
enum class ECursorReset : uint8_t { kNone, kBefore, kAfter };

// The object's handler of each mouse event: the handler, whether it takes
// the local point, whether the cursor must be inside the object, and the
// cursor's reset.
struct SMouseHandler {
  uint32_t code;
  const char* handler;
  bool at_point;  // takes the object-local point
  bool inside_only;
  ECursorReset reset;
};
constexpr SMouseHandler kMouseHandlers[] = {
    {kMouseEnter, "OnMouseEnter", false, false, ECursorReset::kBefore},
    {kMouseLeave, "OnMouseExit", false, false, ECursorReset::kAfter},
    {kCaptureLost, "OnMouseExit", false, false, ECursorReset::kAfter},
    {kEvLeftDown, "OnLButtonDown", true, false, ECursorReset::kNone},
    {kEvLeftUp, "OnLButtonUp", true, false, ECursorReset::kNone},
    {kEvLeftDouble, "OnLDoubleClick", true, true, ECursorReset::kNone},
    {kEvRightDown, "OnRButtonDown", true, true, ECursorReset::kNone},
    {kEvRightUp, "OnRButtonUp", true, false, ECursorReset::kNone},
    {kEvRightDouble, "OnRDoubleClick", true, true, ECursorReset::kNone},
};

}  // namespace

void CWVisualObject::OnMouse(uint32_t code, TPoint point) {
  if (code != kMouseLeave && (!IsActive() || !AtModalLevel())) return;
  const auto row = std::find_if(std::begin(kMouseHandlers), std::end(kMouseHandlers),
                                [code](const SMouseHandler& entry) { return entry.code == code; });
  if (row == std::end(kMouseHandlers)) return;
  const bool inside = HitTest(point);
  if (row->inside_only && !inside) return;
  const uint32_t serial = Serial();
  if (row->reset == ECursorReset::kBefore) World().SetViewCursor({});
  if (row->at_point) {
    const SCallArg args[] = {SCallArg::Int(point.x - Pos().left), SCallArg::Int(point.y - Pos().top)};
    CallSite(row->handler, args);
  } else {
    CallSite(row->handler);
  }
  if (row->reset == ECursorReset::kAfter) World().SetViewCursor({});
  // Released outside: the object is left too.
  if (code == kEvLeftUp && !inside && World().Find(serial)) CallSite("OnMouseExit");
}

void CWVisualObject::OnEvent(const SEventRecord& record) {
  OnMouse(record.code, UnpackPoint(record.p1));
}

void CWVisualObject::ShowPicture(std::unique_ptr<CBitmap> picture, int32_t key) {
  const TRect old = m_drawable.Rect();
  m_picture_pixels.reset();
  m_picture = std::move(picture);
  if (m_picture && m_picture->Type() == kPixel8) {
    m_picture_pixels.emplace(*m_picture);
    if (!*m_picture_pixels) m_picture_pixels.reset();
  }
  m_drawable.SetBitmap(m_picture.get());
  m_drawable.SetKey(key < 0 ? 0xFFFFFFFF : static_cast<uint32_t>(key));
  if (m_picture) {
    const TRect& pos = m_region.Bounds();
    const TRect sized{pos.left, pos.top, static_cast<int16_t>(pos.left + m_picture->Width() - 1),
                      static_cast<int16_t>(pos.top + m_picture->Height() - 1)};
    m_region = CRegion(sized, m_region.HasPolygon() ? GetString("Polygon") : "");
    SetRect("Pos", sized);
  }
  Replace(old);
}

void CWVisualObject::PictureChanged() { Invalidate(m_drawable.Rect()); }

void CWVisualObject::Recolour(CBitmap& picture, uint8_t from, uint8_t to) {
  CBitmapLock lock(picture);
  if (lock) ReplaceColour(lock.View(), from, to, nullptr);
}

void CWVisualObject::RecolourPicture(uint8_t from, uint8_t to) {
  if (!m_picture) return;
  Recolour(*m_picture, from, to);
  PictureChanged();
}

ErrCode CWVisualObject::DrawIntoPicture(const CBitmap& source, const TRect& area, TPoint at,
                                        uint32_t key) {
  if (!m_picture) return err::kInvalidValue;
  {
    CBitmapLock target(*m_picture);
    CBitmapLock from(source);
    if (!target || !from) return err::kInvalidValue;
    Blit8(target.View(), at.x, at.y, from.View(), area, key, m_picture->GetBounds());
  }
  TRect drawn;
  if (IntersectRect(OffsetRect(area, at.x - area.left, at.y - area.top), m_picture->GetBounds(),
                    &drawn))
    PictureChanged(drawn);
  return err::kOk;
}

void CWVisualObject::PictureChanged(const TRect& area) {
  const TRect& rect = m_drawable.Rect();
  if (!RectEmpty(area)) Invalidate(OffsetRect(area, rect.left, rect.top));
}

void CWVisualObject::Replace(const TRect& old) {
  if (!m_compositor) return m_drawable.Place(m_region.Bounds(), m_drawable.Z());
  m_compositor->MoveObject(&m_drawable, m_region.Bounds());
  Invalidate(old);
  Invalidate(m_drawable.Rect());
}

void CWVisualObject::Invalidate(const TRect& rect) {
  if (!m_compositor || RectEmpty(rect)) return;
  m_compositor->InvalidateRect(rect, 0);
  if (CWPlaneViewWindow* view = World().CurrentView()) view->RequestRedraw();
}

int32_t CWVisualObject::KeyOf(const CBitmap& picture) const {
  bool missing = false;
  int32_t key = GetLong("TColor", &missing);
  if (missing) {
    const CWObject* view = World().CurrentView();
    key = view ? view->GetLong("TColor", &missing) : -1;
    if (missing) key = -1;
  }
  // Neither a colour nor a pixel of the picture: opaque.
  if (key < kKeyPixelBase) return key >= -1 && key <= 0xFF ? key : -1;
  return picture.GetPixel(key / 1000 % 1000, key % 1000);
}

void CWVisualObject::MoveBy(int dx, int dy) {
  const TRect old = m_drawable.Rect();
  m_region.Offset(dx, dy);
  Replace(old);
}

void CWVisualObject::SetZOrder(uint8_t z) {
  m_z_order = z;
  if (!m_compositor) return m_drawable.Place(m_region.Bounds(), z);
  m_compositor->SetObjectZ(&m_drawable, z);
  m_compositor->InvalidateRect(m_region.Bounds(), 0);
}

void CWVisualObject::SetVisible(bool visible) {
  m_visible = visible;
  m_drawable.SetDrawState(visible);
  if (m_compositor) m_compositor->InvalidateRect(m_region.Bounds(), 0);
}
