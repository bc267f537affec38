// The array and INI functions at their slots, for the script layer's tests,
// which run without the engine's registration modules.
#pragma once

#include "script/array_functions.h"
#include "script/registration_rows.h"
#include "script/script_machine.h"

inline uint32_t RegisterArrayRowsForTests(CScriptMachine* machine) {
  RegisterRows(machine, ArrayFunctionRows());
  return 0;
}

inline constexpr SRegistrationModule kArrayModules[] = {
    {RegisterArrayRowsForTests, kArrayFunctionsBase}};
