// The engine's script bindings: the world and engine registration modules,
// and what their natives keep for the machine they are registered with.
#pragma once

#include <cstdint>
#include <bitset>
#include <map>
#include <span>
#include <string>
#include <utility>

#include "script/registration_rows.h"
#include "script/script_call.h"
#include "script/script_machine.h"

class CWaveOutMixer;
class CGlobalTable;
class CPlatform;
class CWObject;
class CWorld;
class CWPlaneViewWindow;

uint32_t RegisterWorldFunctions(CScriptMachine* machine);
uint32_t RegisterEngineFunctions(CScriptMachine* machine);
// The modules' tables and versions (see SModuleVersion).
std::span<const SRow> WorldFunctionRows();
std::span<const SRow> EngineFunctionRows();
extern const SModuleVersion kWorldFunctionsVersion;
extern const SModuleVersion kEngineFunctionsVersion;

// The modules of every machine that compiles or runs scripts for the
// engine: the engine and its tools must agree, or the script version
// differs.
inline constexpr SRegistrationModule kWorldModules[] = {
    {RegisterWorldFunctions, kWorldModuleBase}, {RegisterEngineFunctions, kEngineModuleBase}};

// What the natives of one machine act on and remember between calls.
class CScriptBindings : public CNativeHost {
 public:
  CWorld* world = nullptr;
  // The world's own script object (the outermost view set).
  CWObject* world_script = nullptr;
  // The world's item variables.
  const CGlobalTable* globals = nullptr;
  // The machine's platform, for the clock, the mouse and the quit request.
  CPlatform* platform = nullptr;
  // The mixer, for the device volume.
  CWaveOutMixer* mixer = nullptr;
  // Where InitTime started the stopwatch, and the world clock's reading
  // when the world was set (game time 0).
  uint32_t stopwatch = 0;
  uint32_t time_origin = 0;

  // True the first time a native slot asks within the machine's life.
  bool FirstReport(uint16_t slot);
  // The per-call-site sequence of Random: `block` names the calling code,
  // `offset` the call in it.
  int32_t NextRandom(uint64_t block, uint32_t offset, int32_t lo, int32_t hi);

 private:
  std::bitset<CScriptMachine::kNativeCount> m_reported;
  std::map<std::pair<uint64_t, uint32_t>, int32_t> m_random;
};

// The bindings of a machine set up by RegisterWorldFunctions, or null.
CScriptBindings* BindingsOf(CScriptMachine& machine);
// The world, item variables and platform the machine's natives act on;
// without them the natives that need them do nothing.
void SetScriptWorld(CScriptMachine& machine, CWorld* world, CWObject* world_script = nullptr);
void SetScriptGlobals(CScriptMachine& machine, const CGlobalTable* globals);
void SetScriptPlatform(CScriptMachine& machine, CPlatform* platform);
void SetScriptMixer(CScriptMachine& machine, CWaveOutMixer* mixer);

// The native of every slot whose behaviour is not built yet: it pops its
// arguments, pushes a neutral result and says so once per machine.
uint8_t* PendingNative(uint8_t* sp);

// One line "<slot>\t<entry>\t<built|pending>" per used slot of the machine,
// in slot order.
std::string NativeListing(const CScriptMachine& machine);
