// The script compiler: handler signatures and the single-pass compilation of
// one script into a code block (layout in bytecode.h).
//
// The compiler knows declarations, blocks, if-then-else, while-do, break,
// continue, return and expression statements. Everything else (operators,
// assignment, conversions, truth tests) is a call of a configured function
// chosen by overload resolution.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/memory.h"
#include "script/type_tables.h"

// A parsed signature. Unnamed parameters have an empty name.
struct SParamInfo {
  struct SParam {
    uint16_t type;
    char name[kNameSize];
  };
  uint16_t result = kVoidType;
  uint16_t count = 0;
  SParam params[kMaxArgs] = {};
};

// "result, type name, type name, ...": the result is void or a type name
// (optionally ending in '*'); each parameter a type name, optionally followed
// by '*', then an optional parameter name. False when the text is not one.
// A handler's result is passed by address, so `handler` adds kAddrFlag to a
// non-void result; a registered function's result stays a value.
bool ParseSignature(const CScriptCompiler& tables, const char* text, bool handler,
                    SParamInfo* info);

// A compiled block in the pointer pool; the owner frees it.
struct SCodeBlock {
  SCodeBlock() = default;
  ~SCodeBlock() { PtrFree(data); }
  SCodeBlock(const SCodeBlock&) = delete;
  SCodeBlock& operator=(const SCodeBlock&) = delete;
  void Reset(uint8_t* bytes, size_t length) {
    PtrFree(data);
    data = bytes;
    size = length;
  }

  uint8_t* data = nullptr;
  size_t size = 0;
};

// Limits that keep hostile text from exhausting the native stack.
inline constexpr uint32_t kMaxNesting = 1000;
inline constexpr uint16_t kMaxLoops = 8;
inline constexpr size_t kMaxStringLiteral = 252;
