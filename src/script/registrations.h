// The built-in library's registrations: the language's basic types, their
// constructors, casts, operators and functions.
#pragma once

#include <cstdint>

class CScriptMachine;

// Registers the library in its fixed order (native slots 0 onwards) and
// answers its build stamp. A failed call sets the compiler's error.
uint32_t RegisterLibrary(CScriptMachine* machine);
