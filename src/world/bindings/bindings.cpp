#include "world/bindings/bindings.h"

#include <cstring>

#include "base/random.h"
#include "script/library.h"
#include "script/script_run.h"
#include "world/bindings/natives.h"
#include "world/view.h"
#include "world/visual_object.h"
#include "world/world.h"

bool CScriptBindings::FirstReport(uint16_t slot) {
  if (slot >= m_reported.size() || m_reported.test(slot)) return false;
  m_reported.set(slot);
  return true;
}

int32_t CScriptBindings::NextRandom(uint64_t block, uint32_t offset, int32_t lo, int32_t hi) {
  const auto [entry, first] = m_random.try_emplace({block, offset}, 0);
  int32_t& value = entry->second;
  if (first) value = EngineRandom().Between(lo, hi);
  else value = value >= hi ? lo : value + 1;
  return value;
}

CScriptBindings* BindingsOf(CScriptMachine& machine) {
  return static_cast<CScriptBindings*>(machine.Calls().host.get());
}

void SetScriptWorld(CScriptMachine& machine, CWorld* world, CWObject* world_script) {
  CScriptBindings* bindings = BindingsOf(machine);
  if (!bindings) return;
  bindings->world = world;
  bindings->world_script = world_script;
  bindings->time_origin = world ? world->Now() : 0;
}

void SetScriptGlobals(CScriptMachine& machine, const CGlobalTable* globals) {
  if (CScriptBindings* bindings = BindingsOf(machine)) bindings->globals = globals;
}

void SetScriptMixer(CScriptMachine& machine, CWaveOutMixer* mixer) {
  if (CScriptBindings* bindings = BindingsOf(machine)) bindings->mixer = mixer;
}

void SetScriptPlatform(CScriptMachine& machine, CPlatform* platform) {
  if (CScriptBindings* bindings = BindingsOf(machine)) bindings->platform = platform;
}

namespace {

const SFunctionRecord* FunctionAt(const CScriptMachine& machine, uint16_t slot) {
  for (const SFunctionRecord& function : machine.Compiler()->Functions())
    if (function.function == slot) return &function;
  return nullptr;
}

}  // namespace

uint8_t* PendingNative(uint8_t* sp) {
  CScriptRun* run = CScriptRun::Current();
  if (!run || run->LastFunction() < 0) return sp;
  CScriptMachine& machine = run->Machine();
  const auto slot = static_cast<uint16_t>(run->LastFunction());
  const SFunctionRecord* function = FunctionAt(machine, slot);
  if (!function) return sp;
  const CScriptCompiler& tables = *machine.Compiler();
  sp -= machine.ArgumentBytes(slot);
  for (uint8_t* at = sp; const uint16_t type : std::span(function->args, function->arg_count)) {
    if (type == lib::kStr) StrRelease(Peek<StrHandle>(at));
    at += tables.StackSize(type);
  }
  const uint16_t result = tables.StackSize(function->result);
  std::memset(sp, 0, result);
  sp += result;
  if (CScriptBindings* bindings = BindingsOf(machine); bindings && bindings->FirstReport(slot))
    ScriptDiagnostic("not built yet");
  return sp;
}

namespace bindings {

CScriptBindings* Running() {
  CScriptRun* run = CScriptRun::Current();
  return run ? BindingsOf(run->Machine()) : nullptr;
}

CWorld* RunningWorld() {
  CScriptBindings* bindings = Running();
  return bindings ? bindings->world : nullptr;
}

CWPlaneViewWindow* RunningView() {
  CWorld* world = RunningWorld();
  return world ? world->CurrentView() : nullptr;
}

CWObject* CurrentObject() {
  CWorld* world = RunningWorld();
  if (!world) return nullptr;
  // The handler call names its object as a const owner; the object itself
  // is the world's to change, and it lives while its handler runs.
  const auto* object =
      dynamic_cast<const CWObject*>(world->Machine().Calls().current.object);
  return object && &object->World() == world ? const_cast<CWObject*>(object) : nullptr;
}

CWObject* ViewObject(StrHandle id) {
  CWPlaneViewWindow* view = RunningView();
  if (!view || !id) return nullptr;
  const std::string_view name = CStrText(id).view();
  for (const std::unique_ptr<CWObject>& object : view->Objects())
    if (object->Name() == name) return object.get();
  return nullptr;
}

CWVisualObject* AsVisual(CWObject* object) { return KindOf<CWVisualObject>(object); }

uint8_t* Out(ScriptAddr address, uint32_t size) { return ScriptDeref(address, size); }

void StoreStr(uint8_t* variable, StrHandle value) {
  StrRelease(Peek<StrHandle>(variable));
  Poke(variable, value);
}

}  // namespace bindings
