// The script machine the script fuzz targets share: the engine's
// registrations, every call bounded to a few instructions.
#pragma once

#include <cstdint>

#include "world/bindings/bindings.h"
#include "script/script_call.h"
#include "script/script_machine.h"

inline CScriptMachine& FuzzMachine(uint64_t step_limit) {
  static CScriptMachine* machine = [step_limit] {
    auto* created = new CScriptMachine;
    created->Init(kWorldModules);
    created->Calls().step_limit = step_limit;
    return created;
  }();
  return *machine;
}
