#include "world/view.h"

#include <algorithm>

#include "base/log.h"
#include "base/trace.h"
#include "gfx/palette.h"
#include "gfx/resource_cache.h"
#include "platform/platform.h"
#include "platform/virtual_keys.h"
#include "ui/desktop.h"
#include "ui/os_layer.h"
#include "world/handler_sites.h"
#include "world/dissolve.h"
#include "world/visual_object.h"
#include "world/world.h"

namespace {

// Objects inside a view use the first nine rows; view sets three of them.
constexpr char kUntitledViewObject[] = "untitled_plane_vis_obj";
constexpr char kUntitledSetObject[] = "untitled_viewset_obj";

// Whether the container value `value` is to be loaded with its parent.
bool AutoLoads(CValueBase& base, StoreHandle handle) {
  COpenContainer container(&base, handle);
  return container && !container->GetValue("NoAutoLoad", kValueLong);
}

}  // namespace

void LoadChildren(CWorld& world, CVBContainer& container, LoaderTable loaders,
                  const char* untitled,
                  const std::function<bool(std::unique_ptr<CWObject>)>& add) {
  uint32_t cursor = 0;
  Atom atom = 0;
  const uint8_t* value = nullptr;
  std::vector<std::pair<std::string, StoreHandle>> children;
  while (container.NextValue(&cursor, &atom, &value) == err::kOk) {
    const StoreHandle handle = ContainerHandleOf(value);
    if (!handle || !AutoLoads(world.Base(), handle)) continue;
    std::string name = world.Base().NameOfAtom(atom);
    children.emplace_back(name.empty() ? untitled : name, handle);
  }
  for (const auto& [name, handle] : children) {
    ErrCode error = err::kOk;
    std::unique_ptr<CWObject> object = world.CreateObject(name, handle, loaders, &error);
    if (!object) {
      if (error) LogMessage(kLogWarning, "%s: %s\n", name.c_str(), ErrName(error));
      continue;
    }
    if (!add(std::move(object))) return;
  }
}

CWViewSet::~CWViewSet() { Leave(); }

std::string_view CWViewSet::SiteKind() const { return kSiteViewSet; }

void CWViewSet::Enter() {
  Start();
  if (Own())
    LoadChildren(World(), *Own(), World().SetLoaders(), kUntitledSetObject,
                 [this](std::unique_ptr<CWObject> object) {
                   if (m_objects.size() >= kMaxObjects) return false;
                   object->Start();
                   m_objects.push_back(std::move(object));
                   return true;
                 });
  if (!World().EditMode()) CallSite("OnEntry");
}

void CWViewSet::Leave() {
  if (m_objects.empty() && !World().IsEntered(this)) return;
  World().Left(this);
  if (!World().EditMode()) CallSite("OnExit");
  for (auto& object : m_objects) {
    object->Stop();
    World().Dispose(std::move(object));
  }
  m_objects.clear();
  Stop();
}

CViewHostWindow::CViewHostWindow(CDesktop* desktop, const TRect& rect, CWPlaneViewWindow* view)
    : CWindow(desktop, desktop, rect, kStyleVisible), m_view(view) {}

void CViewHostWindow::Draw(const SDrawContext& context, const TRect&) {
  const CBitmap* canvas = m_view ? m_view->Canvas() : nullptr;
  const TRect r = GetRect();
  if (!canvas) return context.Fill(r, 0);
  const TRect whole{0, 0, static_cast<int16_t>(canvas->Width() - 1),
                    static_cast<int16_t>(canvas->Height() - 1)};
  const CWDissolve* overlay = m_view->World().Overlay();
  if (!overlay) return context.Picture(*canvas, whole, r.left, r.top, 0xFFFFFFFF);
  // The view as composed, with what the dissolve shows of the overlay.
  const CBitmap mixed(*canvas);
  if (const CBitmapLock lock(mixed); lock) overlay->DrawOver(lock.View());
  context.Picture(mixed, whole, r.left, r.top, 0xFFFFFFFF);
}

// While a change of view dissolves, clicks and keys are dropped.
bool CViewHostWindow::OnMouse(uint32_t code, TPoint point, int32_t) {
  if (m_view && m_view->World().InputHeld()) return true;
  return m_view && m_view->OnMouse(code, point);
}

bool CViewHostWindow::OnKey(uint32_t code, uint16_t virtual_key, uint16_t) {
  if (m_view && m_view->World().InputHeld()) return true;
  return m_view && m_view->OnKey(code, virtual_key);
}

CWPlaneViewWindow::CWPlaneViewWindow(CWorld* world, StoreHandle own, StoreHandle template_handle)
    : CWObject(world, own, template_handle) {}

CWPlaneViewWindow::~CWPlaneViewWindow() { Show(false); }

std::string_view CWPlaneViewWindow::SiteKind() const { return kSiteView; }

CViewHostWindow* CWPlaneViewWindow::Window() const {
  return KindOf<CViewHostWindow>(World().WindowById(m_window));
}

ErrCode CWPlaneViewWindow::Enter() {
  Start();
  World().SetModalLevel(0);
  LogMessage(kLogEngine, "----> %s\n", m_view_name.c_str());
  const bool stats = Traced(kTraceStats);
  uint32_t used = MemoryUsed();
  if (stats) LogMessage(kLogEngine, "----- %s: MemUsed: %u\n", m_view_name.c_str(), used);
  if (ErrCode error = LoadBackground()) return error;
  const uint32_t background =
      CBitmap::RowBytes(m_background->Bits(), m_background->Width()) * m_background->Height();
  used += background;
  if (stats) LogMessage(kLogEngine, "Background: %u (+%u)\n", used, background);
  LoadObjects();
  for (const auto& object : m_objects) {
    used += object->MemoryUsed();
    if (stats)
      LogMessage(kLogEngine, "%s: %u (+%u)\n", object->Name().c_str(), used, object->MemoryUsed());
  }
  if (stats) LogMessage(kLogEngine, "----- %u\n", used);
  if (!World().EditMode()) CallSite("OnEntry");
  Redraw();
  return err::kOk;
}

ErrCode CWPlaneViewWindow::LoadBackground() {
  const char* image = GetString("ImageName");
  if (!image || !*image) return err::kNotFound;
  m_background = World().LoadPicture(image);
  if (!m_background || m_background->Bits() != 8 || !m_background->Palette() ||
      m_background->Palette()->Count() != 256) {
    LogMessage(kLogEngine, "Ivalid view background bitmap: %s\n", image);
    m_background.reset();
    return err::kInvalidValue;
  }
  CPalette& palette = *m_background->Palette();
  palette.SetEntry(0, SPalEntry{255, 255, 255, 0});
  palette.SetEntry(255, SPalEntry{0, 0, 0, 0});
  World().ShowPalette(palette);
  const TRect& view = World().ViewRect();
  m_canvas = std::make_unique<CBitmap>();
  if (m_canvas->Create(static_cast<uint16_t>(view.right - view.left + 1),
                       static_cast<uint16_t>(view.bottom - view.top + 1), kPixel8,
                       std::make_unique<CPalette>(palette), kTopDown, 0) != err::kOk ||
      m_compositor.Init(m_canvas.get()) != err::kOk) {
    m_canvas.reset();
    return err::kAllocFail;
  }
  m_background_layer.Place({0, 0, static_cast<int16_t>(m_background->Width() - 1),
                            static_cast<int16_t>(m_background->Height() - 1)},
                           1);
  m_background_layer.SetBitmap(m_background.get());
  m_compositor.AddObject(&m_background_layer);
  return err::kOk;
}

void CWPlaneViewWindow::LoadObjects() {
  if (!Own()) return;
  LoadChildren(World(), *Own(), World().ObjectLoaders(), kUntitledViewObject,
               [this](std::unique_ptr<CWObject> object) { return Adopt(std::move(object)); });
}

bool CWPlaneViewWindow::Adopt(std::unique_ptr<CWObject> object) {
  if (auto* visual = KindOf<CWVisualObject>(object.get())) {
    visual->SetCompositor(&m_compositor);
    m_compositor.AddObject(&visual->Drawable());
  } else if (++m_plain_count > kMaxPlainObjects) {
    LogMessage(kLogEngine, "%s: %s\n", object->Name().c_str(), ErrName(err::kObjTooMany));
    return false;
  }
  object->Start();
  m_objects.push_back(std::move(object));
  return true;
}

void CWPlaneViewWindow::Leave() {
  LogMessage(kLogEngine, "<---- %s\n", m_view_name.c_str());
  if (!World().EditMode()) CallSite("OnExit");
  DropUnasked();
  m_rollover = 0;
  m_capture = 0;
  RemoveRestriction();
  for (auto& object : m_objects) {
    object->Stop();
    if (auto* visual = KindOf<CWVisualObject>(object.get())) {
      m_compositor.RemoveObject(&visual->Drawable());
      visual->SetCompositor(nullptr);
    }
    World().Dispose(std::move(object));
  }
  m_objects.clear();
  m_plain_count = 0;
  m_compositor.RemoveObject(&m_background_layer);
  m_canvas.reset();
  m_background.reset();
  Stop();
}

void CWPlaneViewWindow::Show(bool shown) {
  CViewHostWindow* window = Window();
  if (!shown) {
    if (window) window->Detach();
    delete window;
    m_window = 0;
    return;
  }
  if (!window) m_window = World().MakeViewWindow(this);
  Redraw();
  if (CViewHostWindow* shown_window = Window()) shown_window->Invalidate();
}

void CWPlaneViewWindow::Redraw() {
  CViewHostWindow* window = Window();
  if (!window) return;
  m_compositor.Update();
  m_compositor.Flush(
      [](const TRect& rect, void* context) {
        auto* host = static_cast<CViewHostWindow*>(context);
        const TRect& at = host->GetRect();
        const TRect shown = OffsetRect(rect, at.left, at.top);
        host->Invalidate(&shown);
      },
      window);
}

void CWPlaneViewWindow::RequestRedraw() {
  CWorldScheduler& scheduler = World().Scheduler();
  if (!scheduler.IsScheduled(Serial(), kTickRedraw))
    scheduler.Schedule(Serial(), kTickRedraw, World().Now(), [this] { Redraw(); });
}

CWVisualObject* CWPlaneViewWindow::ObjectAt(TPoint point) const {
  // The view's own objects as the compositor lists them at the point,
  // nearest first; the hot spots of its view sets go in among them by their
  // z, after the view's objects of the same z. The list is kept between
  // calls: the hit test runs at every move.
  std::vector<CWVisualObject*>& shared = m_hit_shared;
  shared.clear();
  for (const auto& set : World().Chain())
    for (const auto& owned : set->Objects())
      if (auto* object = KindOf<CWVisualObject>(owned.get()))
        shared.insert(std::find_if(shared.begin(), shared.end(),
                                   [&](const CWVisualObject* entry) { return entry->ZOrder() < object->ZOrder(); }),
                      object);
  CWVisualObject* hit = nullptr;
  const int level = World().ModalLevel();
  const auto hits = [&](CWVisualObject* object) {
    if ((m_carried && object->Serial() == m_carried) || !object->AtModalLevel(level) || !object->HitTest(point))
      return false;
    hit = object;
    return true;
  };
  size_t next_shared = 0;
  m_compositor.FindAt(point, [&](CZObj* layer) {
    const auto* drawable = KindOf<CWDrawable>(layer);
    // A picture that is not shown is not hit; a hot spot always is.
    if (!drawable || (layer->Bitmap() && !drawable->Object().IsVisible())) return false;
    for (; next_shared < shared.size() && shared[next_shared]->ZOrder() > layer->Z(); ++next_shared)
      if (hits(shared[next_shared])) return true;
    return hits(&drawable->Object());
  });
  for (; !hit && next_shared < shared.size(); ++next_shared) hits(shared[next_shared]);
  return hit;
}

CWVisualObject* CWPlaneViewWindow::Rollover() const {
  return KindOf<CWVisualObject>(World().Find(m_rollover));
}

void CWPlaneViewWindow::SetCapture(CWVisualObject* object) {
  const uint32_t serial = object ? object->Serial() : 0;
  if (serial == m_capture) return;
  CWVisualObject* old = KindOf<CWVisualObject>(World().Find(m_capture));
  m_capture = serial;
  if (old) old->OnMouse(kCaptureLost, {0, 0});
}

void CWPlaneViewWindow::CallView(const char* handler, TPoint point, const CWVisualObject* object) {
  const std::string name = object ? object->Name() : std::string();
  const SCallArg args[] = {SCallArg::Int(point.x), SCallArg::Int(point.y),
                           SCallArg::Text(name.c_str())};
  CallSite(handler, args);
}

void CWPlaneViewWindow::UpdateRollover(TPoint point) {
  ++m_rollover_requests;
  if (m_in_rollover) return;
  m_in_rollover = true;
  while (m_rollover_requests > 0) {
    --m_rollover_requests;
    RolloverPass(point);
  }
  m_in_rollover = false;
}

void CWPlaneViewWindow::RolloverPass(TPoint point) {
  CWVisualObject* now = ObjectAt(point);
  const uint32_t serial = now ? now->Serial() : 0;
  if (serial == m_rollover) return;
  if (CWVisualObject* old = Rollover()) {
    const uint32_t recorded = m_rollover;
    old->OnMouse(kMouseLeave, point);
    CallView("OnMouseExit", point, old);
    if (m_rollover != recorded) LogMessage(kLogEngine, "Last rollover changed on leave!!!\n");
  }
  m_rollover = serial;
  // The leave may have taken the new object away.
  if (CWVisualObject* entered = Rollover()) {
    entered->OnMouse(kMouseEnter, point);
    CallView("OnMouseEnter", point, entered);
    if (m_rollover != serial) LogMessage(kLogEngine, "Last rollover changed on enter!!!\n");
  }
  m_rollover = serial;
}

CWVisualObject* CWPlaneViewWindow::Carried() const {
  return KindOf<CWVisualObject>(World().Find(m_carried));
}

void CWPlaneViewWindow::PlaceCarried(CWVisualObject& object, const TRect& rect, uint8_t z) {
  object.MoveBy(rect.left - object.Pos().left, rect.top - object.Pos().top);
  m_compositor.SetObjectZ(&object.Drawable(), z);
  Redraw();
}

void CWPlaneViewWindow::PickUp(CWVisualObject* object, TPoint grab, TPoint cursor) {
  if (object->Serial() == m_carried) {
    m_grab = grab;
    return;
  }
  uint8_t agreed = 1;
  int32_t x = grab.x, y = grab.y;
  const uint32_t serial = object->Serial();
  const SCallArg args[] = {SCallArg::Ref(&agreed), SCallArg::Ref(&x), SCallArg::Ref(&y)};
  if (object->CallSite("OnAttach", args) != err::kOk) agreed = 1;
  if (!agreed || (m_carried && !Drop(cursor))) return;
  auto* taken = KindOf<CWVisualObject>(World().Find(serial));
  if (!taken) return;
  m_carried = serial;
  m_grab = {static_cast<int16_t>(x), static_cast<int16_t>(y)};
  if (taken->IsVisible()) World().ShowSystemCursor(false);
  FollowCursor(*taken, cursor);
}

void CWPlaneViewWindow::FollowCursor(CWVisualObject& carried, TPoint cursor) {
  const TRect& pos = carried.Pos();
  const int left = cursor.x - m_grab.x, top = cursor.y - m_grab.y;
  PlaceCarried(carried,
               {static_cast<int16_t>(left), static_cast<int16_t>(top),
                static_cast<int16_t>(left + pos.right - pos.left),
                static_cast<int16_t>(top + pos.bottom - pos.top)},
               kCarriedZ);
}

bool CWPlaneViewWindow::Drop(TPoint cursor) {
  CWVisualObject* carried = Carried();
  if (!carried) return true;
  if (m_dropping) return false;
  m_dropping = true;
  const std::string name = carried->Name();
  const TRect pos = carried->Pos();
  const int width = pos.right - pos.left + 1, height = pos.bottom - pos.top + 1;
  std::string holder;
  TRect target = carried->GetRect("Pos");
  std::vector<CZObj*> drawn;
  m_compositor.ObjectsAt(cursor, &drawn);
  std::vector<uint32_t> candidates;
  for (CZObj* layer : drawn)
    if (const auto* drawable = KindOf<CWDrawable>(layer); drawable && drawable->Object().Serial() != m_carried)
      candidates.push_back(drawable->Object().Serial());
  for (const uint32_t serial : candidates) {
    auto* object = KindOf<CWVisualObject>(World().Find(serial));
    if (!object || !object->AtModalLevel() || !object->HitTest(cursor) ||
        !object->Handler("Accept").container)
      continue;
    uint8_t accepted = 0;
    int32_t x = pos.left, y = pos.top;
    const SCallArg args[] = {SCallArg::Ref(&accepted), SCallArg::Text(name.c_str()),
                             SCallArg::Ref(&x), SCallArg::Ref(&y), SCallArg::Int(width),
                             SCallArg::Int(height)};
    if (object->CallSite("Accept", args) != err::kOk || !accepted) continue;
    holder = object->Name();
    target = {static_cast<int16_t>(x), static_cast<int16_t>(y),
              static_cast<int16_t>(x + width - 1), static_cast<int16_t>(y + height - 1)};
    break;
  }
  carried = Carried();
  uint8_t agreed = 1;
  const SCallArg args[] = {SCallArg::Ref(&agreed), SCallArg::Text(holder.c_str()),
                           SCallArg::Ref(&target)};
  if (carried && carried->CallSite("OnDetach", args) != err::kOk) agreed = 1;
  m_dropping = false;
  carried = Carried();
  if (!carried) return true;
  if (!agreed) return false;
  m_carried = 0;
  PlaceCarried(*carried, target, carried->ZOrder() ? carried->ZOrder() : 1);
  World().ShowSystemCursor(true);
  return true;
}

void CWPlaneViewWindow::DropUnasked() {
  CWVisualObject* carried = Carried();
  m_carried = 0;
  if (carried && carried->IsVisible()) World().ShowSystemCursor(true);
}

void CWPlaneViewWindow::Click(TPoint point) {
  // "OnClick" may empty the name, which ends the click, or name another
  // object, which takes the click instead.
  const CWVisualObject* hit = Rollover();
  char name[CWObject::kMaxName + 1] = {};
  if (hit) hit->Name().copy(name, CWObject::kMaxName);
  const SCallArg args[] = {SCallArg::Int(point.x), SCallArg::Int(point.y),
                           SCallArg::TextInOut(name, sizeof name)};
  CallSite("OnClick", args);
  if (!name[0]) return;
  CWVisualObject* target = Rollover();
  if (!target || target->Name() != name) target = KindOf<CWVisualObject>(World().FindByName(name));
  if (!target) return;
  const uint32_t serial = target->Serial();
  target->OnMouse(kEvLeftDown, point);
  if (auto* still = KindOf<CWVisualObject>(World().Find(serial)); still && still->Attaches())
    PickUp(still, {static_cast<int16_t>(point.x - still->Pos().left),
                   static_cast<int16_t>(point.y - still->Pos().top)},
           point);
}

void CWPlaneViewWindow::MouseWhileCarrying(uint32_t code, TPoint point) {
  if (code == kEvMouseMove) FollowCursor(*Carried(), point);
  UpdateRollover(point);
  if (code != kEvLeftDown || !Drop(point)) return;
  // Dropped: the click goes on to what lies under the cursor.
  UpdateRollover(point);
  Click(point);
}

bool CWPlaneViewWindow::OnMouse(uint32_t code, TPoint where) {
  const TRect window = Window() ? Window()->GetRect() : TRect{};
  TPoint point{static_cast<int16_t>(where.x - window.left),
               static_cast<int16_t>(where.y - window.top)};
  if (m_restriction && code != kMouseLeave) {
    const TPoint kept = Restricted(point);
    if (kept.x != point.x || kept.y != point.y) World().WarpCursor(*this, kept);
    point = kept;
  }
  m_cursor = point;
  if (code == kEvLeftDouble || (code == kEvRightDown && !World().ToolMode())) code = kEvLeftDown;
  if (code == kEvLeftDown && World().Recording()) return World().StopRecording(), true;
  if (CWVisualObject* holder = KindOf<CWVisualObject>(World().Find(m_capture))) {
    if (code == kEvLeftUp) m_capture = 0;
    holder->OnMouse(code, point);
    return true;
  }
  if (code == kMouseLeave) return true;
  if (Carried()) {
    MouseWhileCarrying(code, point);
    return true;
  }
  UpdateRollover(point);
  if (code == kEvLeftDown) {
    Click(point);
  } else if (CWVisualObject* target = Rollover(); target && code != kEvMouseMove &&
                                                   code != kMouseEnter) {
    target->OnMouse(code, point);
  }
  return true;
}

bool CWPlaneViewWindow::OnKey(uint32_t code, uint16_t virtual_key) {
  if (code != kEvKeyDown && code != kEvKeyUp) return false;
  // Along a line the arrow keys move the cursor while they are held.
  if (m_restriction && m_restriction->IsLine() && (virtual_key == kVkLeft || virtual_key == kVkRight)) {
    const int direction = virtual_key == kVkLeft ? -1 : 1;
    if (code == kEvKeyUp && m_arrow == direction) {
      m_arrow = 0;
      World().Scheduler().Cancel(Serial(), kTickArrow);
    } else if (code == kEvKeyDown && m_arrow != direction) {
      m_arrow = direction;
      World().Scheduler().Cancel(Serial(), kTickArrow);
      ArrowStep(World().Now());
    }
    return true;
  }
  if (!(World().Modifiers() & kModControl)) return false;
  if (virtual_key == 'R') return CallSite("SecretSwitch"), true;
  if (virtual_key == 'P') return CallSite("SecretSwitch2"), true;
  return false;
}


void CWPlaneViewWindow::RestrictToLine(int y, int x1, int x2) {
  m_restriction = CWCursorRestriction::Line(y, x1, x2);
  PlaceCursor(m_restriction->Constrain(m_cursor, m_cursor));
}

ErrCode CWPlaneViewWindow::RestrictToMask(const CWVisualObject& object, TPoint start) {
  const CBitmap* picture = object.Picture();
  const uint32_t key = object.Key();
  if (!picture || key > 0xFF) return err::kBadParams;
  const uint32_t serial = object.Serial();
  CWorld* world = &World();
  CWCursorRestriction mask = CWCursorRestriction::Mask([world, serial, key](TPoint point) {
    const auto* shown = KindOf<CWVisualObject>(world->Find(serial));
    const CBitmap* pixels = shown ? shown->Picture() : nullptr;
    return pixels && pixels->GetPixel(point.x - shown->Pos().left, point.y - shown->Pos().top) ==
                         static_cast<int32_t>(key);
  });
  if (!mask.Allows(start)) return err::kBadParams;
  m_restriction = std::move(mask);
  PlaceCursor(start);
  return err::kOk;
}

void CWPlaneViewWindow::RemoveRestriction() {
  m_restriction.reset();
  m_arrow = 0;
  World().Scheduler().Cancel(Serial(), kTickArrow);
}

TPoint CWPlaneViewWindow::Restricted(TPoint point) const {
  return m_restriction ? m_restriction->Constrain(m_cursor, point) : point;
}

void CWPlaneViewWindow::PlaceCursor(TPoint point) {
  m_cursor = point;
  World().WarpCursor(*this, point);
}

void CWPlaneViewWindow::ArrowStep(uint32_t due) {
  if (!m_restriction || !m_arrow) return;
  PlaceCursor(m_restriction->Along(m_cursor, 5 * m_arrow));
  const uint32_t next = due + 10;
  World().Scheduler().Schedule(Serial(), kTickArrow, next, [this, next] { ArrowStep(next); });
}
