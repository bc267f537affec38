// The built-in library: the language's basic types, their literals,
// operators and casts, and the string, point, rectangle and diagnostic
// functions; registered first, from native slot 0.
#pragma once

#include <cstdint>
#include <span>

#include "script/address_space.h"
#include "script/registration_rows.h"

class CScriptMachine;

uint32_t RegisterLibrary(CScriptMachine* machine);
// The library's table and its version (see SModuleVersion).
std::span<const SRow> LibraryRows();
extern const SModuleVersion kLibraryVersion;

// The int natives the run loop executes inline (context.cpp) instead of
// calling them; their behaviour here and there must be the same.
namespace lib {

// The library's type ids.
enum ETypeId : uint16_t {
  kInt = 1,
  kFloat = 3,
  kItem = 5,  // an inventory item's container handle; the world registers it
  kPoint = 6,
  kBool = 7,
  kRect = 8,
  kPstr = 10,
  kStr = 11,
};

uint8_t* IntLiteral(uint8_t* sp, int32_t value);
uint8_t* IntCopy(uint8_t* sp, ScriptAddr source);
uint8_t* IntDestroy(uint8_t* sp);
int IntTruth(uint8_t** sp);
int BoolTruth(uint8_t** sp);
uint8_t* IntAdd(uint8_t* sp);
uint8_t* IntSub(uint8_t* sp);
uint8_t* IntMul(uint8_t* sp);
uint8_t* IntDiv(uint8_t* sp);
uint8_t* IntNeg(uint8_t* sp);
uint8_t* IntEq(uint8_t* sp);
uint8_t* IntNe(uint8_t* sp);
uint8_t* IntLt(uint8_t* sp);
uint8_t* IntGt(uint8_t* sp);
uint8_t* IntAssign(uint8_t* sp);
// The str copy and the bool destructor, which fused calls run inline.
uint8_t* StrCopy(uint8_t* sp, ScriptAddr source);
uint8_t* BoolDestroy(uint8_t* sp);

// Integer division without a trap: x / 0 is 0, and the smallest integer
// divided by -1 is itself.
inline int32_t Divide(int32_t x, int32_t y) {
  if (y == 0) return 0;
  if (y == -1) return static_cast<int32_t>(0u - static_cast<uint32_t>(x));
  return x / y;
}
inline int32_t Wrap(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }
}  // namespace lib
