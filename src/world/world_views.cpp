// The world's views: finding, loading and changing them, and the record of
// the views visited.
#include <strings.h>

#include <algorithm>
#include <utility>

#include "base/trace.h"
#include "gfx/palette.h"
#include "gfx/resource_cache.h"
#include "sound/recorder.h"
#include "ui/cursor.h"
#include "ui/desktop.h"
#include "ui/event_queue.h"
#include "ui/os_layer.h"
#include "ui/resources.h"
#include "world/dissolve.h"
#include "world/paint.h"
#include "world/sprite.h"
#include "world/text.h"
#include "world/timer.h"
#include "world/animation.h"
#include "world/decoration.h"
#include "world/map.h"
#include "world/view.h"
#include "world/visual_object.h"
#include "world/world.h"

namespace {

constexpr char kWorldPath[] = "/World/";
constexpr size_t kMaxVisitName = 127;
// The event the change of view travels as.
constexpr uint32_t kEvViewChange = 0x7A00;

template <class T>
std::unique_ptr<CWObject> Load(CWorld* world, StoreHandle own, StoreHandle templ, ErrCode*) {
  return std::make_unique<T>(world, own, templ);
}

// Rows of kinds built later load nothing yet.
const SLoaderRow kObjectRows[] = {
    {"HotSpot", Load<CWHotSpot>}, {"Sprite", CWSprite::Load}, {"Animation", CAnim::Load},
    {"Sound", nullptr},   {"Map", CWMapObj::Load}, {"Decoration", CDecoration::Load},
    {"Paint", CPaint::Load}, {"Timer", Load<CWTimerObj>}, {"Text", CText::Load},
};
const SLoaderRow kSetRows[] = {
    {"HotSpot", Load<CWHotSpot>}, {"Sound", nullptr}, {"Map", CWMapObj::Load}};
const SLoaderRow kMapRows[] = {{"Map", CWMapObj::Load}};
const SLoaderRow kViewRows[] = {{"PlaneView", Load<CWPlaneViewWindow>},
                                {"ViewSet", Load<CWViewSet>}};

// "a/b/c" from "/a/b/c/" or "a/b/c".
std::string Trimmed(std::string_view path) {
  while (!path.empty() && path.front() == '/') path.remove_prefix(1);
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  return std::string(path);
}

}  // namespace

LoaderTable CWorld::ObjectLoaders() { return kObjectRows; }
LoaderTable CWorld::SetLoaders() { return kSetRows; }
LoaderTable CWorld::ViewLoaders() { return kViewRows; }

CWindow* CWorld::WindowById(uint32_t id) const { return id ? m_queue->WindowById(id) : nullptr; }

bool CWorld::IsView(std::string_view path) const {
  const std::string name = Trimmed(path);
  if (name.empty()) return false;
  COpenContainer container(m_base, m_base->FindPath(kWorldPath + name + "/", m_base->Root()));
  const char* templ = container ? container->GetString("Template") : nullptr;
  return templ && (strcasecmp(templ, "PlaneView") == 0 || strcasecmp(templ, "SphericalView") == 0);
}

void CWorld::RequestView(std::string_view path, TPoint point, bool dissolve) {
  const std::string name = Trimmed(path);
  const bool queued = m_pending.empty() && IsView(name);
  if (Traced(kTraceViews))
    Tracer().LineF(kTraceViews, "request\t%s\t%d\t%s", name.c_str(), dissolve ? 1 : 0,
                   queued ? "queued" : "ignored");
  if (!queued) return;
  m_pending = name;
  m_pending_dissolve = dissolve;
  if (!m_change_target)
    m_change_target = m_queue->RegisterFunction([this](const SEventRecord&) { ChangeView(); });
  SEventRecord record;
  record.delivery = kDeliverFunction;
  record.target = m_change_target;
  record.code = kEvViewChange;
  record.p1 = PackPoint(point);
  record.p2 = dissolve ? 1 : 0;
  record.posted = record.due = Now();
  m_queue->Post(record);
  if (m_view) m_view->Show(false);
}

std::unique_ptr<CWPlaneViewWindow> CWorld::LoadView(std::string_view path, ErrCode* error) {
  const std::string name = Trimmed(path);
  const StoreHandle handle = m_base->FindPath(kWorldPath + name + "/", m_base->Root());
  std::unique_ptr<CWObject> object = CreateObject(name, handle, kViewRows, error);
  auto* view = KindOf<CWPlaneViewWindow>(object.get());
  if (!view) {
    if (*error == err::kOk) *error = err::kAllocFail;
    return nullptr;
  }
  object.release();
  view->SetViewName(name);
  return std::unique_ptr<CWPlaneViewWindow>(view);
}

void CWorld::LoadChain(std::string_view path, std::vector<std::unique_ptr<CWViewSet>>* chain) {
  std::string prefix = Trimmed(path);
  for (;;) {
    const size_t slash = prefix.rfind('/');
    if (slash == std::string::npos) return;
    prefix.resize(slash);
    const StoreHandle handle = m_base->FindPath(kWorldPath + prefix + "/", m_base->Root());
    ErrCode error = err::kOk;
    std::unique_ptr<CWObject> object = CreateObject(prefix, handle, kViewRows, &error);
    auto* set = KindOf<CWViewSet>(object.get());
    if (!set) return;
    object.release();
    chain->emplace_back(set);
  }
}

ErrCode CWorld::ChangeView() {
  const std::string path = std::exchange(m_pending, {});
  if (path.empty()) return err::kOk;
  // The old view's picture, for a dissolving change; an image laid over
  // the old view goes with it.
  std::unique_ptr<CBitmap> old_picture;
  if (m_pending_dissolve && m_view && m_view->Canvas())
    old_picture = std::make_unique<CBitmap>(*m_view->Canvas());
  m_dissolve.reset();
  ErrCode error = err::kOk;
  std::vector<std::unique_ptr<CWViewSet>> chain;
  LoadChain(path, &chain);
  std::vector<StoreHandle> search;
  for (const auto& set : chain) search.push_back(set->Handle());
  std::unique_ptr<CWPlaneViewWindow> view = LoadView(path, &error);
  if (!view) return err::kAllocFail;
  // Sets whose containers both chains hold are shared and stay entered;
  // chains are compared from the outermost set inwards.
  size_t shared = 0;
  while (shared < chain.size() && shared < m_chain.size() &&
         chain[chain.size() - 1 - shared]->Handle() == m_chain[m_chain.size() - 1 - shared]->Handle())
    ++shared;
  const bool traced = Traced(kTraceViews);
  if (m_view) {
    if (traced) Tracer().LineF(kTraceViews, "leave\t%s", m_view->ViewName().c_str());
    m_view->Leave();
    Dispose(std::move(m_view));
  }
  while (m_chain.size() > shared) {
    if (traced) Tracer().LineF(kTraceViews, "leave\t%s", m_chain.front()->Name().c_str());
    m_chain.front()->Leave();
    Dispose(std::move(m_chain.front()));
    m_chain.erase(m_chain.begin());
  }
  // The shared sets are the old chain's; the new ones go inside them.
  for (size_t i = chain.size() - shared; i-- > 0;) {
    if (traced) Tracer().LineF(kTraceViews, "enter\t%s", chain[i]->Name().c_str());
    m_entered.push_back(chain[i].get());
    chain[i]->Enter();
    m_chain.insert(m_chain.begin(), std::move(chain[i]));
  }
  search.clear();
  search.push_back(view->Handle());
  for (const auto& set : m_chain) search.push_back(set->Handle());
  SetTemplateSearch(search);
  if (traced) Tracer().LineF(kTraceViews, "enter\t%s", view->ViewName().c_str());
  m_view = std::move(view);
  if (m_view->Enter() != err::kOk) {
    Dispose(std::move(m_view));
  } else {
    m_view->Show(true);
    if (old_picture) StartDissolve(std::move(old_picture), true);
    CountVisit(m_view->ViewName());
  }
  const std::string current = m_view ? m_view->ViewName() : std::string();
  if (traced)
    Tracer().LineF(kTraceViews, "current\t%s\t%u", current.c_str(),
                   m_view ? TimesVisited(current) : 0u);
  return m_view ? err::kOk : err::kUnknownError;
}

ErrCode CWorld::DissolveToImage(const char* name) {
  if (!m_pending.empty() || !m_view || !m_view->Canvas()) return err::kOk;
  std::unique_ptr<CBitmap> picture = LoadPicture(name);
  if (!picture || picture->Type() != kPixel8) return err::kInvalidValue;
  StartDissolve(std::move(picture), false);
  return err::kOk;
}

bool CWorld::InputHeld() const {
  return m_dissolve && m_dissolve->Kind() == CWDissolve::EKind::kAway && m_dissolve->Running();
}

void CWorld::StartDissolve(std::unique_ptr<CBitmap> picture, bool away) {
  m_dissolve = std::make_unique<CWDissolve>(
      std::move(picture), *m_view->Canvas()->Palette(),
      away ? CWDissolve::EKind::kAway : CWDissolve::EKind::kIn);
  m_dissolve_start = Now();
  m_scheduler.Cancel(m_view->Serial(), kTickDissolve);
  DissolveStep(m_dissolve_start);
}

void CWorld::DissolveStep(uint32_t due) {
  if (!m_dissolve || !m_view) return;
  const uint32_t elapsed = due - m_dissolve_start;
  m_dissolve->SetShare(CWDissolve::ShareAt(elapsed));
  if (CWindow* window = m_view->Window()) window->Invalidate();
  if (!m_dissolve->Running()) {
    if (m_dissolve->Kind() == CWDissolve::EKind::kAway) m_dissolve.reset();
    return;
  }
  const uint32_t next = m_dissolve_start + CWDissolve::NextChangeAfter(elapsed);
  m_scheduler.Schedule(m_view->Serial(), kTickDissolve, next, [this, next] { DissolveStep(next); });
}

void CWorld::CountVisit(const std::string& name) {
  const auto known = std::find_if(m_visits.begin(), m_visits.end(),
                                  [&](const SVisit& visit) { return visit.name == name; });
  if (known != m_visits.end()) {
    ++known->count;
    return;
  }
  m_visits.insert(m_visits.begin(), SVisit{name.substr(0, kMaxVisitName), 1});
}

uint16_t CWorld::TimesVisited(std::string_view path) const {
  const std::string name = Trimmed(path);
  if (name.size() > kMaxVisitName) return 0;
  for (const SVisit& visit : m_visits)
    if (visit.name == name) return visit.count;
  return 0;
}

namespace {

// The first map among `objects`.
CWMapObj* FirstMap(const std::vector<std::unique_ptr<CWObject>>& objects) {
  for (const auto& object : objects)
    if (auto* map = KindOf<CWMapObj>(object.get())) return map;
  return nullptr;
}

}  // namespace

CWMapObj* CWorld::FindMap(std::unique_ptr<CWObject>* made) {
  if (!m_view) return nullptr;
  if (const char* name = m_view->GetString("MapName")) {
    const StoreHandle handle = m_base->FindPath(kWorldPath + Trimmed(name) + "/", m_base->Root());
    ErrCode error = err::kOk;
    *made = handle ? CreateObject(Trimmed(name), handle, kMapRows, &error) : nullptr;
    return KindOf<CWMapObj>(made->get());
  }
  CWMapObj* map = FirstMap(m_view->Objects());
  for (size_t i = 0; !map && i < m_chain.size(); ++i) map = FirstMap(m_chain[i]->Objects());
  return map || !m_world_set ? map : FirstMap(m_world_set->Objects());
}

ErrCode CWorld::OpenMap() {
  if (OpenedMap()) return err::kOk;
  std::unique_ptr<CWObject> made;
  const CWMapObj* map = FindMap(&made);
  CMapDialog* dialog = map ? CMapDialog::Build(*this, *map) : nullptr;
  if (!dialog) return err::kNotFound;
  m_map = dialog->Id();
  dialog->DoModal([this](uint32_t) {
    m_map = 0;
    if (!m_view) return;
    m_view->Redraw();
    if (m_view->Window()) m_desktop->SetFocus(m_view->Window());
  });
  return err::kOk;
}

CMapDialog* CWorld::OpenedMap() const { return KindOf<CMapDialog>(WindowById(m_map)); }

bool CWorld::IsEntered(const CWViewSet* set) const {
  return std::find(m_entered.begin(), m_entered.end(), set) != m_entered.end();
}

void CWorld::Left(const CWViewSet* set) { std::erase(m_entered, set); }

CResourceLoader* CWorld::Resources() const { return m_desktop ? m_desktop->Resources() : nullptr; }

std::unique_ptr<CBitmap> CWorld::LoadPicture(const char* name) const {
  CResourceLoader* resources = Resources();
  CObject* loaded = nullptr;
  if (!resources || resources->Lock(kResourceBitmap, name, &loaded, 0) != err::kOk) return nullptr;
  std::unique_ptr<CBitmap> copy;
  if (const CBitmap* cached = KindOf<CBitmap>(loaded)) copy = std::make_unique<CBitmap>(*cached);
  resources->Unlock(kResourceBitmap, loaded);
  return copy;
}

void CWorld::ShowPalette(const CPalette& palette) const {
  if (!m_desktop) return;
  std::vector<SRgb> colours = ColoursOf(palette);
  colours.resize(256);
  for (const auto& [index, rgb] : m_fixed_colours) colours[index] = {rgb[0], rgb[1], rgb[2]};
  m_desktop->TopLevel()->SetPalette(colours);
}

void CWorld::FixColor(uint8_t index, uint8_t red, uint8_t green, uint8_t blue) {
  m_fixed_colours[index] = {red, green, blue};
  if (!m_desktop) return;
  std::array<SRgb, 256> colours = m_desktop->TopLevel()->Palette();
  colours[index] = {red, green, blue};
  m_desktop->TopLevel()->SetPalette(colours);
}

uint32_t CWorld::MakeViewWindow(CWPlaneViewWindow* view) {
  if (!m_desktop) return 0;
  const TRect stage = m_desktop->StageRect();
  const TRect rect = OffsetRect(m_view_rect, stage.left, stage.top);
  auto* window = new CViewHostWindow(m_desktop, rect, view);
  // The current view holds the keyboard focus.
  m_desktop->SetFocus(window);
  return window->Id();
}

void CWorld::ShowSystemCursor(bool shown) const {
  if (m_desktop) m_desktop->TopLevel()->ShowCursor(shown);
}

ErrCode CWorld::SetViewCursor(const std::string& path) {
  CWindow* window = m_view ? m_view->Window() : nullptr;
  if (!window) return err::kOk;
  std::shared_ptr<CCursor> cursor;
  if (!path.empty()) {
    ErrCode error = err::kOk;
    if (!(cursor = CCursor::Load(path, &error))) return error;
  }
  // Without a cursor of its own the view shows the default.
  window->SetStyle(window->GetStyle() | kStyleSetCursor, false);
  window->SetCursor(std::move(cursor));
  return err::kOk;
}

void CWorld::WarpCursor(const CWPlaneViewWindow& view, TPoint point) const {
  const CWindow* window = view.Window();
  if (!m_desktop || !window) return;
  const TRect& rect = window->GetRect();
  m_desktop->TopLevel()->WarpMouse(
      {static_cast<int16_t>(point.x + rect.left), static_cast<int16_t>(point.y + rect.top)});
}

void CWorld::StartRecording(const std::string& path) {
  if (m_recorder && m_recorder->Start(path)) m_recording = true;
}

void CWorld::StopRecording() {
  if (m_recorder) m_recorder->Stop();
  m_recording = false;
  if (m_view) m_view->CallSite("OnRecordStop");
}

uint32_t CWorld::Modifiers() const { return m_desktop ? m_desktop->Modifiers() : 0; }
