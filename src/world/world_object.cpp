#include "world/world_object.h"

#include <cstring>
#include <utility>

#include "world/handler_sites.h"
#include "world/world.h"

namespace {

// The words of a script value: its source block, its compiled block.
constexpr uint32_t kSourceWord = 0;
constexpr uint32_t kCodeWord = 1;

}  // namespace

CWObject::CWObject(CWorld* world, StoreHandle own, StoreHandle template_handle)
    : m_world(world),
      m_own(&world->Base(), own),
      m_template(&world->Base(), template_handle) {
  m_serial = world->Register(this);
  ReadProperties();
}

CWObject::~CWObject() {
  Stop();
  m_world->Unregister(this);
}

void CWObject::SetName(std::string_view name) {
  const std::string old_name = std::exchange(m_name, std::string(name.substr(0, kMaxName)));
  m_world->Renamed(this, old_name);
}

void CWObject::ReadProperties() {
  const int32_t interval = GetLong("AutoUpdate");
  m_auto_update = interval > 0 ? static_cast<uint32_t>(interval) : 0;
  m_active = GetLong("Active") != 0;
}

const uint8_t* CWObject::FindValue(std::string_view name, uint16_t type) const {
  if (m_own)
    if (const uint8_t* value = m_own->GetValue(name, type)) return value;
  return m_template ? m_template->GetValue(name, type) : nullptr;
}

int32_t CWObject::GetLong(std::string_view name, bool* missing) const {
  const uint8_t* value = FindValue(name, kValueLong);
  if (missing) *missing = value == nullptr;
  return value ? static_cast<int32_t>(ValueWord(value, 0)) : 0;
}

const char* CWObject::GetString(std::string_view name) const {
  if (m_own)
    if (const char* text = m_own->GetString(name)) return text;
  return m_template ? m_template->GetString(name) : nullptr;
}

TPoint CWObject::GetPoint(std::string_view name) const {
  if (m_own && m_own->GetValue(name, kValuePoint)) return m_own->GetPoint(name);
  if (m_template && m_template->GetValue(name, kValuePoint)) return m_template->GetPoint(name);
  return {0, 0};
}

TRect CWObject::GetRect(std::string_view name) const {
  if (m_own && m_own->GetValue(name, kValueRect)) return m_own->GetRect(name);
  if (m_template && m_template->GetValue(name, kValueRect)) return m_template->GetRect(name);
  return {0, 0, -1, -1};
}

StoreHandle CWObject::GetContainer(std::string_view name) const {
  return ContainerHandleOf(FindValue(name, kValueContainer));
}

ErrCode CWObject::SetOwn(std::string_view name, uint16_t type, const void* payload) {
  if (!m_own) return err::kNotFound;
  Atom atom = 0;
  if (ErrCode error = m_world->Base().Intern(name, &atom)) return error;
  return m_own->SetTyped(atom, type, payload);
}

ErrCode CWObject::Call(const char* handler, const char* signature, std::span<const SCallArg> args) {
  return m_world->CallHandler(*this, handler, signature, args);
}

std::string_view CWObject::SiteKind() const { return kSiteObject; }

ErrCode CWObject::CallSite(const char* handler, std::span<const SCallArg> args) {
  const SHandlerSite* site = FindHandlerSite(SiteKind(), handler);
  if (!site) site = FindHandlerSite(kSiteObject, handler);
  // The table's signatures are string literals.
  return site ? Call(handler, site->signature.data(), args) : err::kBadParamString;
}

void CWObject::Start() {
  if (m_auto_update) ScheduleTick();
}

void CWObject::Stop() { m_world->Scheduler().Cancel(m_serial); }

void CWObject::ScheduleTick() {
  CWorld* world = m_world;
  const uint32_t serial = m_serial;
  world->Scheduler().Schedule(serial, kTickAutoUpdate, world->Now() + m_auto_update,
                              [world, serial] {
                                if (CWObject* object = world->Find(serial)) object->Tick();
                              });
}

void CWObject::Tick() {
  // The next tick is due an interval after this one, whatever Update does.
  ScheduleTick();
  const uint32_t serial = m_serial;
  Update();
  if (!m_world->Find(serial)) return;
  const int32_t interval = GetLong("AutoUpdate");
  m_auto_update = interval > 0 ? static_cast<uint32_t>(interval) : 0;
  if (!m_auto_update) m_world->Scheduler().Cancel(serial, kTickAutoUpdate);
}

void CWObject::Update() {
  uint8_t answer = m_active;
  const SCallArg args[] = {SCallArg::Ref(&answer)};
  if (CallSite("IsActive", args) == err::kOk && (answer != 0) != m_active)
    SetActive(answer != 0);
}

uint32_t CWObject::MemoryUsed() const { return sizeof(CWObject) + static_cast<uint32_t>(m_name.size()); }

CWObject::SHandler& CWObject::Handler(const char* name) {
  SHandler& handler = Lookup(name);
  if (handler.own_changes != (m_own ? m_own->Changes() : 0) ||
      handler.template_changes != (m_template ? m_template->Changes() : 0))
    ReadHandler(name, &handler);
  return handler;
}

CWObject::SHandler& CWObject::Lookup(const char* name) {
  SRecent& recent = m_recent[(reinterpret_cast<uintptr_t>(name) >> 3) % kRecentSlots];
  if (recent.name == name && std::strcmp(name, recent.key->c_str()) == 0) return *recent.handler;
  auto known = m_handlers.find(std::string_view(name));
  if (known == m_handlers.end()) {
    known = m_handlers.emplace(name, SHandler{}).first;
    ReadHandler(name, &known->second);
  }
  recent = {name, &known->first, &known->second};
  return known->second;
}

void CWObject::ReadHandler(std::string_view name, SHandler* handler) const {
  handler->own_changes = m_own ? m_own->Changes() : 0;
  handler->template_changes = m_template ? m_template->Changes() : 0;
  handler->atom = m_world->Base().AtomOf(name);
  handler->container = nullptr;
  const uint8_t* value = nullptr;
  for (CVBContainer* place : {m_own.get(), m_template.get()}) {
    value = place && handler->atom ? place->GetValueByAtom(handler->atom, kValueScript) : nullptr;
    if (value && ValueSize(value) >= kScriptValueSize) {
      handler->container = place;
      break;
    }
    value = nullptr;
  }
  const StoreHandle source = value ? ValueWord(value, kSourceWord) : 0;
  const StoreHandle code = value ? ValueWord(value, kCodeWord) : 0;
  if (source != handler->source) handler->failed = err::kOk;
  if (code != handler->code) {
    handler->program.reset();
    handler->matched.clear();
    handler->refused.clear();
  }
  handler->source = source;
  handler->code = code;
}

void CWObject::ClearCode(const SHandler& handler) {
  if (!handler.container) return;
  const uint32_t payload[2] = {handler.source, 0};
  handler.container->SetValueByAtom(handler.atom, MakeValue(kValueScript, payload, 8).data());
}

void CWObject::SetAutoUpdate(uint32_t interval) {
  m_world->Scheduler().Cancel(m_serial, kTickAutoUpdate);
  m_auto_update = interval;
  CWObject::Start();
}
