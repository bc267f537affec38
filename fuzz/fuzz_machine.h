// The script machine of the fuzz targets that read script text without
// running it: the built-in tables only, made once and never freed.
#pragma once

#include "script/script_machine.h"

inline CScriptMachine& FuzzTablesMachine() {
  static CScriptMachine* machine = [] {
    auto* created = new CScriptMachine;
    created->Init({});
    return created;
  }();
  return *machine;
}
