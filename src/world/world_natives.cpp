#include "world/world_natives.h"

#include <string_view>

#include "script/native.h"
#include "script/script_run.h"
#include "script/script_string.h"
#include "world/world.h"

namespace {

CWorld* ScriptWorld() {
  CScriptRun* run = CScriptRun::Current();
  return run ? static_cast<CWorld*>(run->Machine().Calls().host) : nullptr;
}

// void GoToView(str path, int x, int y)
uint8_t* GoToView(uint8_t* sp) {
  sp -= sizeof(StrHandle) + 2 * sizeof(int32_t);
  const auto path = Peek<StrHandle>(sp);
  const auto x = Peek<int32_t>(sp + sizeof(StrHandle));
  const auto y = Peek<int32_t>(sp + sizeof(StrHandle) + sizeof(int32_t));
  if (CWorld* world = ScriptWorld()) {
    const CStrText text(path);
    world->RequestView(text.view(), {static_cast<int16_t>(x), static_cast<int16_t>(y)}, false);
  }
  StrRelease(path);
  return sp;
}

// Slot 200 on; append only.
const SRow kWorldFunctions[] = {
    rows::Fn("GoToView", "void, str, int, int", GoToView),
};

}  // namespace

// Changed together with kWorldFunctions.
const SModuleVersion kWorldFunctionsVersion = {"Tue Dec  8 02:00:00 2026", 0x2ba24f0b};

std::span<const SRow> WorldFunctionRows() { return kWorldFunctions; }

uint32_t RegisterWorldFunctions(CScriptMachine* machine) {
  RegisterRows(machine, kWorldFunctions);
  return BuildStamp(kWorldFunctionsVersion.date_time);
}

void SetScriptWorld(CScriptMachine& machine, CWorld* world) { machine.Calls().host = world; }
