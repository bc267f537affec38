// World objects: everything the player sees or hears in the game world, each
// bound to one container of the value base.
//
// An object reads its properties from its own container, then from its
// template's; it writes to its own. Its behaviour is the scripts (handlers)
// in the same two places, called by name with the signature their call
// site fixes. Both containers stay open, and so pinned in the cache, while
// the object lives.
//
// Objects are known to the rest of the engine by a 32-bit serial that is
// never handed out twice in a run: events and timed work hold serials, not
// pointers, so that work outliving its object finds nothing.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/errors.h"
#include "base/geometry.h"
#include "base/object.h"
#include "script/context.h"
#include "script/script_call.h"
#include "store/value_base.h"
#include "ui/event.h"

class CWorld;

class CWObject : public CObject, public CScriptOwner {
  TV_CLASS(CWObject, CObject)

 public:
  static constexpr size_t kMaxName = 127;

  // Opens both containers for the object's life; `template_handle` 0: none.
  CWObject(CWorld* world, StoreHandle own, StoreHandle template_handle);
  ~CWObject() override;
  CWObject(const CWObject&) = delete;
  CWObject& operator=(const CWObject&) = delete;

  CWorld& World() const { return *m_world; }
  uint32_t Serial() const { return m_serial; }
  const std::string& Name() const { return m_name; }
  // Cut to kMaxName characters.
  void SetName(std::string_view name);
  CVBContainer* Own() const { return m_own.get(); }
  CVBContainer* Template() const { return m_template.get(); }
  bool IsActive() const { return m_active; }
  uint32_t AutoUpdate() const { return m_auto_update; }

  // Typed property lookup: the own container, then the template's. A
  // missing long is 0 (and `missing`, when given, says so), a missing
  // string null, point (0, 0), rectangle (0, 0, -1, -1), container 0.
  int32_t GetLong(std::string_view name, bool* missing = nullptr) const;
  const char* GetString(std::string_view name) const;
  TPoint GetPoint(std::string_view name) const;
  TRect GetRect(std::string_view name) const;
  StoreHandle GetContainer(std::string_view name) const;
  // Writes go to the own container.
  ErrCode SetLong(std::string_view name, int32_t value) { return SetOwn(name, kValueLong, &value); }
  ErrCode SetRect(std::string_view name, const TRect& value) {
    return SetOwn(name, kValueRect, &value);
  }
  ErrCode SetString(std::string_view name, const char* text) {
    return SetOwn(name, kValueString, text);
  }
  // Whether the object (or its template) has a value of that name and type.
  bool HasValue(std::string_view name, uint16_t type) const {
    return FindValue(name, type) != nullptr;
  }

  // Calls the handler with the signature its call site gives; NOTFOUND when
  // the object has none (its caller keeps its default). Any other nonzero
  // answer also counts as no answer.
  ErrCode Call(const char* handler, const char* signature, std::span<const SCallArg> args = {});
  // The same for an engine call site: the signature comes from the table
  // of call sites, by the object's kind.
  ErrCode CallSite(const char* handler, std::span<const SCallArg> args = {});
  // The kind the table of call sites knows the object as.
  virtual std::string_view SiteKind() const;

  // A new AutoUpdate interval: the next tick an interval from now, none
  // for 0.
  void SetAutoUpdate(uint32_t interval);
  // Schedules the first AutoUpdate tick when the interval is not 0.
  virtual void Start();
  // Drops the object's pending timed work.
  virtual void Stop();
  // One AutoUpdate tick: "IsActive" may change the Active flag; then the
  // interval is read again.
  virtual void Update();
  virtual void SetActive(bool active) { m_active = active; }
  // The bytes the object takes, for the memory statistics.
  virtual uint32_t MemoryUsed() const;
  // An event posted to the object; plain objects take none.
  virtual void OnEvent(const SEventRecord&) {}

  // A handler as the calls know it: the container holding its script value
  // (null: the object has none), the value's blocks, and what was made of
  // them. Good while neither of the object's containers has changed since
  // it was read.
  struct SHandler {
    CVBContainer* container = nullptr;
    Atom atom = 0;
    uint32_t own_changes = 0;
    uint32_t template_changes = 0;
    StoreHandle source = 0;
    StoreHandle code = 0;
    // The decoded code, from the world's cache of that era.
    std::shared_ptr<const CDecodedBlock> program;
    uint32_t era = 0;
    // The signature the code's header was found to match, and the one it
    // was refused for (each checked once).
    std::string matched;
    std::string refused;
    // How compiling this source failed: not tried again until the source
    // changes.
    ErrCode failed = err::kOk;
  };
  // The handler's entry, read again when a container changed.
  SHandler& Handler(const char* name);
  // Clears the handler's compiled block (which the container frees).
  void ClearCode(const SHandler& handler);

  // What scripts see of the object.
  std::string Id() const override { return m_name; }

 protected:
  // Reads the properties every object has (AutoUpdate, Active).
  virtual void ReadProperties();

 private:
  const uint8_t* FindValue(std::string_view name, uint16_t type) const;
  ErrCode SetOwn(std::string_view name, uint16_t type, const void* payload);
  void ScheduleTick();
  // One AutoUpdate tick: the next is scheduled first, then Update runs and
  // the interval is read again (0 or less ends the ticks).
  void Tick();
  void ReadHandler(std::string_view name, SHandler* handler) const;

  CWorld* m_world;
  uint32_t m_serial = 0;
  std::string m_name;
  COpenContainer m_own;
  COpenContainer m_template;
  uint32_t m_auto_update = 0;
  bool m_active = false;
  // Handlers looked up so far, by name.
  struct SNameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
  };
  std::unordered_map<std::string, SHandler, SNameHash, std::equal_to<>> m_handlers;
  // The entries met last, by the address of the name they were asked for
  // (call sites pass literals): a hit is confirmed by comparing the name,
  // which is cheaper than hashing it.
  struct SRecent {
    const char* name = nullptr;
    const std::string* key = nullptr;
    SHandler* handler = nullptr;
  };
  static constexpr size_t kRecentSlots = 8;
  std::array<SRecent, kRecentSlots> m_recent{};
  SHandler& Lookup(const char* name);
};
