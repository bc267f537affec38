// The native calling convention and the helpers natives use on the stack.
//
// A native receives sp, the first free byte of the running context's stack,
// and answers the new sp: arguments popped, result pushed. Values lie packed
// without alignment, so every access copies bytes. Addresses on the stack
// are 32-bit script addresses (address_space.h), strings 32-bit handles.
//
// The stack buffer has kStackGuard spare bytes below its bottom and above
// its top, so a native working on a stack that a malformed block left too
// full or too empty stays inside the buffer; the machine then stops the run
// with STACK_LIMITS after the instruction.
#pragma once

#include <cstdint>
#include <cstring>

#include "base/errors.h"
#include "script/address_space.h"

// The shapes of native entries, by role.
using NativeFn = uint8_t* (*)(uint8_t* sp);                          // function, cast, destructor, void constructor
using AddrConsFn = uint8_t* (*)(uint8_t* sp, ScriptAddr source);     // address constructor
using IntConsFn = uint8_t* (*)(uint8_t* sp, int32_t value);          // integer literal
using FloatConsFn = uint8_t* (*)(uint8_t* sp, uint32_t low, uint32_t high);  // float literal
using TextConsFn = uint8_t* (*)(uint8_t* sp, const char* text);      // string literal
using ByteConsFn = uint8_t* (*)(uint8_t* sp, uint8_t value);         // boolean literal
using TruthFn = int (*)(uint8_t** sp);                               // truth test

// The shape each native slot was registered with; the machine calls an
// entry only in its own shape (a malformed block may name any slot).
enum class ENativeShape : uint8_t {
  kNone,         // no native (a global's slot, or unused)
  kStack,        // NativeFn
  kAddress,      // AddrConsFn
  kIntLiteral,   // IntConsFn
  kFloatLiteral, // FloatConsFn
  kTextLiteral,  // TextConsFn
  kByteLiteral,  // ByteConsFn
  kTruth,        // TruthFn
};

// The native table stores entries of every shape as one pointer type.
using NativeEntry = void (*)();
template <class Fn>
NativeEntry AsEntry(Fn fn) {
  return reinterpret_cast<NativeEntry>(fn);
}
template <class Fn>
Fn AsShape(NativeEntry entry) {
  return reinterpret_cast<Fn>(entry);
}

// Larger than anything one native pops or pushes (sixteen short strings).
inline constexpr uint32_t kStackGuard = 16 * 256 + 256;

template <class T>
T Peek(const uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}
template <class T>
void Poke(uint8_t* at, const T& value) {
  std::memcpy(at, &value, sizeof value);
}
template <class T>
T Pop(uint8_t*& sp) {
  sp -= sizeof(T);
  return Peek<T>(sp);
}
template <class T>
void Push(uint8_t*& sp, const T& value) {
  Poke(sp, value);
  sp += sizeof(T);
}
