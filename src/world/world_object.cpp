#include "world/world_object.h"

#include <cstring>

#include "base/memory.h"
#include "fs/bfhp.h"
#include "world/handler_sites.h"
#include "world/world.h"

namespace {

// The words of a script value: its source block, its compiled block.
constexpr uint32_t kSourceWord = 0;
constexpr uint32_t kCodeWord = 1;
// Handler keys count from 1; 0 is none.
constexpr uint32_t kFirstKey = 1;

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
  m_name = std::string(name.substr(0, kMaxName));
  m_world->Renamed(this);
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

bool CWObject::FindHandler(const char* name, uint32_t* key) {
  const auto known = m_handler_keys.find(name);
  if (known != m_handler_keys.end()) {
    *key = known->second;
    return HandlerValue(*key) != nullptr;
  }
  SHandler handler;
  handler.atom = m_world->Base().AtomOf(name);
  if (!handler.atom) return false;
  const bool own = m_own && m_own->GetValueByAtom(handler.atom, kValueScript);
  handler.container = own ? m_own.get() : m_template.get();
  if (!handler.container || !handler.container->GetValueByAtom(handler.atom, kValueScript))
    return false;
  m_handlers.push_back(handler);
  *key = static_cast<uint32_t>(m_handlers.size()) - 1 + kFirstKey;
  m_handler_keys.emplace(name, *key);
  return true;
}

const uint8_t* CWObject::HandlerValue(uint32_t key) const {
  if (key < kFirstKey || key - kFirstKey >= m_handlers.size()) return nullptr;
  const SHandler& handler = m_handlers[key - kFirstKey];
  const uint8_t* value = handler.container->GetValueByAtom(handler.atom, kValueScript);
  return value && ValueSize(value) >= kScriptValueSize ? value : nullptr;
}

CScriptOwner::EBlock CWObject::LoadBlock(uint32_t key, SCodeBlock* block) {
  const uint8_t* value = HandlerValue(key);
  const StoreHandle code = value ? ValueWord(value, kCodeWord) : 0;
  if (!code) return EBlock::kNone;
  ErrCode error = err::kOk;
  const std::vector<uint8_t>* data = m_world->Base().GetData(code, &error);
  if (!data || data->empty()) return EBlock::kBroken;
  auto* bytes = static_cast<uint8_t*>(PtrAlloc(data->size()));
  if (!bytes) {
    m_world->Base().ReleaseData(code);
    return EBlock::kBroken;
  }
  std::memcpy(bytes, data->data(), data->size());
  block->Reset(bytes, data->size());
  m_world->Base().ReleaseData(code);
  return EBlock::kLoaded;
}

void CWObject::ForgetBlock(uint32_t key) {
  const uint8_t* value = HandlerValue(key);
  if (!value) return;
  const SHandler& handler = m_handlers[key - kFirstKey];
  const uint32_t payload[2] = {ValueWord(value, kSourceWord), 0};
  handler.container->SetValueByAtom(handler.atom, MakeValue(kValueScript, payload, 8).data());
}

bool CWObject::LoadSource(uint32_t key, std::string* text) {
  const uint8_t* value = HandlerValue(key);
  const StoreHandle source = value ? ValueWord(value, kSourceWord) : 0;
  if (!source) return false;
  const std::vector<uint8_t>* data = m_world->Base().GetData(source);
  if (!data) return false;
  text->assign(reinterpret_cast<const char*>(data->data()),
               strnlen(reinterpret_cast<const char*>(data->data()), data->size()));
  m_world->Base().ReleaseData(source);
  return true;
}

ErrCode CWObject::StoreBlock(uint32_t key, const SCodeBlock& block) {
  const uint8_t* value = HandlerValue(key);
  if (!value) return err::kNotFound;
  const SHandler& handler = m_handlers[key - kFirstKey];
  CBFHP* store = m_world->Base().Store();
  ErrCode error = err::kOk;
  const StoreHandle code = store->NewHandle(static_cast<uint32_t>(block.size), &error);
  if (error) return error;
  if ((error = store->Write(code, block.data, 0, static_cast<uint32_t>(block.size)))) {
    store->FreeHandle(code);
    return error;
  }
  const StoreHandle old = ValueWord(value, kCodeWord);
  const uint32_t payload[2] = {ValueWord(value, kSourceWord), code};
  error = handler.container->SetValueByAtom(handler.atom, MakeValue(kValueScript, payload, 8).data());
  if (error) {
    store->FreeHandle(code);
    return error;
  }
  if (old) store->FreeHandle(old);
  return err::kOk;
}
