// The functions on world objects and views.
#include <algorithm>
#include <cstring>
#include <string>

#include "script/library.h"
#include "script/script_run.h"
#include "ui/desktop.h"
#include "ui/event.h"
#include "world/bindings/natives.h"
#include "world/view.h"
#include "world/visual_object.h"
#include "world/world.h"

namespace bindings {

namespace {

// The cursor in view coordinates.
TPoint MouseInView(const CWPlaneViewWindow& view) {
  CDesktop* desktop = view.World().Desktop();
  const TPoint mouse = desktop ? desktop->LastMouse() : TPoint{0, 0};
  const TRect window = view.Window() ? view.Window()->GetRect() : TRect{};
  return {static_cast<int16_t>(mouse.x - window.left), static_cast<int16_t>(mouse.y - window.top)};
}

// After a change of what lies under the cursor: redraw, and the rollover
// looks again.
void Changed() {
  if (CWPlaneViewWindow* view = RunningView()) {
    view->Redraw();
    view->UpdateRollover(MouseInView(*view));
  }
}

// Writes `value` through the out-parameter when `found`; the result.
template <class T>
bool Answer(ScriptAddr out, bool found, const T& value) {
  uint8_t* bytes = found ? Out(out, sizeof(T)) : nullptr;
  if (bytes) Poke(bytes, value);
  return bytes != nullptr;
}

CWObject* WorldObject() {
  CScriptBindings* bindings = Running();
  return bindings && bindings->world ? bindings->world_script : nullptr;
}

}  // namespace

uint8_t* GoToView(uint8_t* sp) {
  CArgs args(&sp, 12);
  const StrHandle path = args.Str();
  const int32_t x = args.Int();
  const int32_t y = args.Int();
  if (CWorld* world = RunningWorld())
    world->RequestView(CStrText(path).view(), {static_cast<int16_t>(x), static_cast<int16_t>(y)},
                       false);
  return sp;
}

uint8_t* StartConversation(uint8_t* sp) {
  CArgs args(&sp, 4);
  const std::string name = args.Text();
  if (CWObject* world = WorldObject()) {
    const SCallArg call[] = {SCallArg::Text(name.c_str())};
    world->Call("OnConversation", "void, str", call);
  }
  return sp;
}

uint8_t* UpdateAll(uint8_t* sp) {
  if (CWPlaneViewWindow* view = RunningView()) view->Redraw();
  return sp;
}

namespace {

template <bool kNamed>
uint8_t* Redraw(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 4 : 0);
  if (Target<kNamed>(args) && RunningView()) RunningView()->Redraw();
  return sp;
}

}  // namespace

uint8_t* UpdateObject(uint8_t* sp) { return Redraw<true>(sp); }
uint8_t* Update(uint8_t* sp) { return Redraw<false>(sp); }

uint8_t* SetExamineNumber(uint8_t* sp) {
  CArgs args(&sp, 8);
  CWObject* object = ViewObject(args.Str());
  const int32_t number = args.Int();
  const char* text = object ? object->GetString("ExamineText" + std::to_string(number)) : nullptr;
  if (text) object->SetString("ExamineText", std::string(text).c_str());
  return sp;
}

uint8_t* SetExamineText(uint8_t* sp) {
  CArgs args(&sp, 8);
  CWObject* object = ViewObject(args.Str());
  const std::string text = args.Text();
  if (object) object->SetString("ExamineText", text.c_str());
  return sp;
}

template <bool kNamed>
uint8_t* GetInt(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 12 : 8);
  CWObject* object = Target<kNamed>(args);
  const std::string name = args.Text();
  bool missing = true;
  const int32_t value = object ? object->GetLong(name, &missing) : 0;
  args.Result(Answer(args.Addr(), !missing, value));
  return sp;
}

template <bool kNamed>
uint8_t* GetStr(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 12 : 8);
  CWObject* object = Target<kNamed>(args);
  const std::string name = args.Text();
  const char* text = object ? object->GetString(name) : nullptr;
  uint8_t* variable = text ? Out(args.Addr(), 4) : nullptr;
  if (variable) StoreStr(variable, StrNew(text));
  args.Result(variable != nullptr);
  return sp;
}

namespace {

// bool (str id, str name, T* out) or bool (str name, T* out): a value of
// the value-base type kType.
template <bool kNamed, class T, uint16_t kType, T (CWObject::*kGet)(std::string_view) const>
uint8_t* GetValue(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 12 : 8);
  CWObject* object = Target<kNamed>(args);
  const std::string name = args.Text();
  const bool found = object && object->HasValue(name, kType);
  args.Result(Answer(args.Addr(), found, found ? (object->*kGet)(name) : T{}));
  return sp;
}

}  // namespace

template <bool kNamed>
uint8_t* GetRect(uint8_t* sp) {
  return GetValue<kNamed, TRect, kValueRect, &CWObject::GetRect>(sp);
}

template <bool kNamed>
uint8_t* GetPoint(uint8_t* sp) {
  return GetValue<kNamed, TPoint, kValuePoint, &CWObject::GetPoint>(sp);
}

uint8_t* GetSubHandle(uint8_t* sp) {
  CArgs args(&sp, 8);
  CWObject* object = CurrentObject();
  const std::string name = args.Text();
  const StoreHandle handle = object ? object->GetContainer(name) : 0;
  args.Result(Answer(args.Addr(), handle != 0, static_cast<int32_t>(handle)));
  return sp;
}

template <bool kNamed>
uint8_t* GetState(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 4 : 0);
  CWObject* object = Target<kNamed>(args);
  args.Result(object ? object->GetLong("State") : 0);
  return sp;
}

template <bool kNamed>
uint8_t* SetState(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 8 : 4);
  CWObject* object = Target<kNamed>(args);
  const int32_t state = args.Int();
  if (object) object->SetLong("State", state);
  return sp;
}

template <bool kNamed>
uint8_t* GetPos(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 8 : 4);
  CWVisualObject* visual = AsVisual(Target<kNamed>(args));
  args.Result(Answer(args.Addr(), visual != nullptr, visual ? visual->Pos() : TRect{}));
  return sp;
}

namespace {

bool MoveTo(CWVisualObject* visual, int32_t x, int32_t y) {
  if (!visual) return false;
  visual->MoveBy(x - visual->Pos().left, y - visual->Pos().top);
  Changed();
  return true;
}

}  // namespace

template <bool kNamed>
uint8_t* SetPos(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 12 : 8);
  CWVisualObject* visual = AsVisual(Target<kNamed>(args));
  const TRect rect = args.Rect();
  args.Result(MoveTo(visual, rect.left, rect.top));
  return sp;
}

template <bool kNamed>
uint8_t* Move(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 12 : 8);
  CWVisualObject* visual = AsVisual(Target<kNamed>(args));
  const int32_t x = args.Int();
  const int32_t y = args.Int();
  args.Result(MoveTo(visual, x, y));
  return sp;
}

template <bool kNamed>
uint8_t* SetZ(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 8 : 4);
  CWVisualObject* visual = AsVisual(Target<kNamed>(args));
  const int32_t z = std::clamp(args.Int(), 1, 255);
  if (visual) {
    visual->SetZOrder(static_cast<uint8_t>(z));
    Changed();
  }
  return sp;
}

template <bool kNamed>
uint8_t* GetZ(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 4 : 0);
  CWVisualObject* visual = AsVisual(Target<kNamed>(args));
  args.Result(visual ? static_cast<int32_t>(visual->ZOrder()) : 0);
  return sp;
}

template <bool kNamed>
uint8_t* SetVisible(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 5 : 1);
  CWVisualObject* visual = AsVisual(Target<kNamed>(args));
  const bool visible = args.Bool();
  if (visual) {
    visual->SetVisible(visible);
    Changed();
  }
  return sp;
}

template <bool kNamed>
uint8_t* IsVisible(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 4 : 0);
  CWVisualObject* visual = AsVisual(Target<kNamed>(args));
  args.Result(visual && visual->IsVisible());
  return sp;
}

template <bool kNamed>
uint8_t* IsAttached(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 4 : 0);
  CWObject* object = Target<kNamed>(args);
  CWPlaneViewWindow* view = RunningView();
  args.Result(object && view && view->Carried() == object);
  return sp;
}

template <bool kNamed>
uint8_t* ChangeModal(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 8 : 4);
  CWVisualObject* visual = AsVisual(Target<kNamed>(args));
  const int32_t level = args.Int();
  if (visual) visual->SetModal(level);
  return sp;
}

uint8_t* Activate(uint8_t* sp) {
  CArgs args(&sp, 5);
  CWObject* object = ViewObject(args.Str());
  const bool active = args.Bool();
  if (object) {
    object->SetActive(active);
    Changed();
  }
  return sp;
}

uint8_t* IsActive(uint8_t* sp) {
  CArgs args(&sp, 4);
  CWObject* object = ViewObject(args.Str());
  args.Result(object && object->IsActive());
  return sp;
}

uint8_t* SetIntTime(uint8_t* sp) {
  CArgs args(&sp, 8);
  CWObject* object = ViewObject(args.Str());
  const int32_t interval = std::max(args.Int(), 0);
  if (object) {
    object->SetLong("AutoUpdate", interval);
    object->SetAutoUpdate(static_cast<uint32_t>(interval));
  }
  return sp;
}

namespace {

// A world global by name, of the given script type.
const uint8_t* Global(const std::string& name, uint16_t type) {
  CScriptRun* run = CScriptRun::Current();
  const SGlobalRecord* global = run->Machine().Compiler()->FindGlobal(name.c_str(), true);
  if (!global || global->type != type) return nullptr;
  return static_cast<const uint8_t*>(run->Machine().GlobalAddress(global->index));
}

}  // namespace

uint8_t* GGetStr(uint8_t* sp) {
  CArgs args(&sp, 8);
  const uint8_t* value = Global(args.Text(), lib::kStr);
  uint8_t* variable = value ? Out(args.Addr(), 4) : nullptr;
  if (variable) {
    const auto text = Peek<StrHandle>(value);
    StrAddRef(text);
    StoreStr(variable, text);
  }
  args.Result(variable != nullptr);
  return sp;
}

uint8_t* GGetInt(uint8_t* sp) {
  CArgs args(&sp, 8);
  const uint8_t* value = Global(args.Text(), lib::kInt);
  args.Result(Answer(args.Addr(), value != nullptr, value ? Peek<int32_t>(value) : 0));
  return sp;
}

uint8_t* Exec(uint8_t* sp) {
  CArgs args(&sp, 4);
  const std::string name = args.Text();
  if (name.empty() || name[0] == '\\') return sp;
  if (name[0] == '/') {
    if (CWObject* world = WorldObject()) world->Call(name.c_str() + 1, "void");
  } else if (CWObject* object = CurrentObject()) {
    object->Call(name.c_str(), "void");
  }
  return sp;
}

uint8_t* ExecObject(uint8_t* sp) {
  CArgs args(&sp, 8);
  CWObject* object = ViewObject(args.Str());
  const std::string handler = args.Text();
  if (object && !handler.empty()) object->Call(handler.c_str(), "void");
  return sp;
}

uint8_t* CreateObject(uint8_t* sp) {
  CArgs args(&sp, 4);
  const StrHandle id = args.Str();
  CWPlaneViewWindow* view = RunningView();
  if (!view || !id || ViewObject(id) || !view->Own()) {
    args.Result(false);
    return sp;
  }
  const std::string name(CStrText(id).view());
  const StoreHandle handle = ContainerHandleOf(view->Own()->GetValue(name, kValueContainer));
  ErrCode error = err::kOk;
  std::unique_ptr<CWObject> object =
      handle ? view->World().CreateObject(name, handle, CWorld::ObjectLoaders(), &error) : nullptr;
  const bool added = object && view->Adopt(std::move(object));
  if (added) Changed();
  args.Result(added);
  return sp;
}

uint8_t* GetID(uint8_t* sp) {
  CWObject* object = CurrentObject();
  Push<StrHandle>(sp, object ? StrNew(object->Name()) : 0);
  return sp;
}

uint8_t* AttachToCursor(uint8_t* sp) {
  CArgs args(&sp, 12);
  CWVisualObject* visual = AsVisual(ViewObject(args.Str()));
  const int32_t dx = args.Int();
  const int32_t dy = args.Int();
  CWPlaneViewWindow* view = RunningView();
  if (visual) {
    view->PickUp(visual, {static_cast<int16_t>(dx), static_cast<int16_t>(dy)}, MouseInView(*view));
  }
  args.Result(visual && view->Carried() == visual);
  return sp;
}

uint8_t* DetachFromCursor(uint8_t* sp) {
  if (CWPlaneViewWindow* view = RunningView()) view->DropUnasked();
  return sp;
}

uint8_t* SetModal(uint8_t* sp) {
  CArgs args(&sp, 4);
  const int32_t level = args.Int();
  if (CWorld* world = RunningWorld()) {
    world->SetModalLevel(level);
    Changed();
  }
  return sp;
}

uint8_t* GetModal(uint8_t* sp) {
  CWorld* world = RunningWorld();
  Push<int32_t>(sp, world ? world->ModalLevel() : 0);
  return sp;
}

uint8_t* DisableAll(uint8_t* sp) {
  if (CWPlaneViewWindow* view = RunningView()) {
    for (const std::unique_ptr<CWObject>& object : view->Objects()) object->SetActive(false);
    Changed();
  }
  return sp;
}

uint8_t* GetMouseOver(uint8_t* sp) {
  CWPlaneViewWindow* view = RunningView();
  CWVisualObject* over = view ? view->Rollover() : nullptr;
  Push<StrHandle>(sp, over ? StrNew(over->Name()) : 0);
  return sp;
}

uint8_t* SimClick(uint8_t* sp) {
  CArgs args(&sp, 12);
  CWObject* object = ViewObject(args.Str());
  const int32_t x = args.Int();
  const int32_t y = args.Int();
  if (!object) return sp;
  const CWorld& world = object->World();
  const uint32_t serial = object->Serial();
  const std::string id = object->Name();
  const SCallArg click[] = {SCallArg::Int(x), SCallArg::Int(y), SCallArg::Text(id.c_str())};
  object->Call("OnClick", "void, int, int, str", click);
  if (world.Find(serial) != object) return sp;
  const SCallArg down[] = {SCallArg::Int(x), SCallArg::Int(y)};
  object->Call("OnLButtonDown", "void, int x, int y", down);
  return sp;
}

#define TV_BOTH_FORMS(name)                 \
  template uint8_t* name<false>(uint8_t*); \
  template uint8_t* name<true>(uint8_t*);
TV_BOTH_FORMS(GetInt)
TV_BOTH_FORMS(GetStr)
TV_BOTH_FORMS(GetRect)
TV_BOTH_FORMS(GetPoint)
TV_BOTH_FORMS(GetState)
TV_BOTH_FORMS(SetState)
TV_BOTH_FORMS(GetPos)
TV_BOTH_FORMS(SetPos)
TV_BOTH_FORMS(Move)
TV_BOTH_FORMS(SetZ)
TV_BOTH_FORMS(GetZ)
TV_BOTH_FORMS(SetVisible)
TV_BOTH_FORMS(IsVisible)
TV_BOTH_FORMS(IsAttached)
TV_BOTH_FORMS(ChangeModal)
#undef TV_BOTH_FORMS

}  // namespace bindings
