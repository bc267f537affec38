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

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/errors.h"
#include "base/geometry.h"
#include "base/object.h"
#include "script/script_call.h"
#include "store/value_base.h"

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

  // Calls the handler with the signature its call site gives; NOTFOUND when
  // the object has none (its caller keeps its default). Any other nonzero
  // answer also counts as no answer.
  ErrCode Call(const char* handler, const char* signature, std::span<const SCallArg> args = {});
  // The same for an engine call site: the signature comes from the table
  // of call sites, by the object's kind.
  ErrCode CallSite(const char* handler, std::span<const SCallArg> args = {});
  // The kind the table of call sites knows the object as.
  virtual std::string_view SiteKind() const;

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

  // What scripts see of the object.
  std::string Id() const override { return m_name; }
  bool FindHandler(const char* name, uint32_t* key) override;
  EBlock LoadBlock(uint32_t key, SCodeBlock* block) override;
  void ForgetBlock(uint32_t key) override;
  bool LoadSource(uint32_t key, std::string* text) override;
  ErrCode StoreBlock(uint32_t key, const SCodeBlock& block) override;

 protected:
  // Reads the properties every object has (AutoUpdate, Active).
  virtual void ReadProperties();

 private:
  // A handler found: which container holds it, under which atom.
  struct SHandler {
    CVBContainer* container = nullptr;
    Atom atom = 0;
  };
  const uint8_t* FindValue(std::string_view name, uint16_t type) const;
  ErrCode SetOwn(std::string_view name, uint16_t type, const void* payload);
  void ScheduleTick();
  // One AutoUpdate tick: the next is scheduled first, then Update runs and
  // the interval is read again (0 or less ends the ticks).
  void Tick();
  const uint8_t* HandlerValue(uint32_t key) const;

  CWorld* m_world;
  uint32_t m_serial = 0;
  std::string m_name;
  COpenContainer m_own;
  COpenContainer m_template;
  uint32_t m_auto_update = 0;
  bool m_active = false;
  // Handlers looked up so far, by name; the key is the index + 1.
  std::unordered_map<std::string, uint32_t> m_handler_keys;
  std::vector<SHandler> m_handlers;
};
