// The script functions over named arrays and loaded INI files. They belong
// to the engine's registration module, at native slots 321 to 339; until
// that module exists they register as a module of their own there.
#pragma once

#include <cstdint>

#include "script/registration_rows.h"
#include "script/script_machine.h"

inline constexpr uint16_t kArrayFunctionsBase = 321;

uint32_t RegisterArrayFunctions(CScriptMachine* machine);
// The module's table and its version (see SModuleVersion).
std::span<const SRow> ArrayFunctionRows();
extern const SModuleVersion kArrayFunctionsVersion;

// The modules every machine of this build starts with after the library.
inline constexpr SRegistrationModule kStandardModules[] = {
    {RegisterArrayFunctions, kArrayFunctionsBase}};
