// The world's script functions: the registration module that starts at
// kWorldModuleBase, and the world its functions act on.
#pragma once

#include <cstdint>
#include <span>

#include "script/array_functions.h"
#include "script/registration_rows.h"
#include "script/script_machine.h"

class CWorld;

uint32_t RegisterWorldFunctions(CScriptMachine* machine);
// The module's table and its version (see SModuleVersion).
std::span<const SRow> WorldFunctionRows();
extern const SModuleVersion kWorldFunctionsVersion;

// The modules of every machine that runs world scripts: the engine and the
// tools that compile for it must agree, or the script version differs.
inline constexpr SRegistrationModule kWorldModules[] = {
    {RegisterWorldFunctions, kWorldModuleBase}, {RegisterArrayFunctions, kArrayFunctionsBase}};

// The world the machine's world functions act on; without one they do
// nothing.
void SetScriptWorld(CScriptMachine& machine, CWorld* world);
