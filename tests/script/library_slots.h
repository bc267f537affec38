// Native slots of the library's registrations, found by name: the library's
// slot order is its own (only the modules' base slots are fixed), so tests
// look its entries up instead of spelling out their numbers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "script/type_tables.h"

// The function `name` taking exactly `args` (type codes); 0 when none.
inline uint16_t FunctionSlot(const CScriptCompiler& tables, const char* name,
                             std::initializer_list<uint16_t> args) {
  for (const SFunctionRecord& function : tables.Functions()) {
    if (std::strcmp(function.name, name) != 0 || function.arg_count != args.size()) continue;
    if (std::equal(args.begin(), args.end(), function.args)) return function.function;
  }
  return 0;
}

// The cast from one type id to another; 0 when none.
inline uint16_t CastSlot(const CScriptCompiler& tables, uint16_t from, uint16_t to) {
  const STypeRecord* type = tables.Type(from);
  for (uint16_t i = 0; type && i < type->cast_count; ++i)
    if (type->casts[i].target == to) return type->casts[i].function;
  return 0;
}

// The entries the compiler and library tests name.
struct SLibrarySlots {
  uint16_t int_lit, float_lit, str_lit, bool_lit, addr_cons, addr_destr;
  uint16_t int_void, int_addr, int_destr, int_true, bool_addr, bool_destr, bool_true, pstr_addr;
  uint16_t float_destr, str_destr, cast_int_float, cast_bool_int;
  uint16_t int_add, int_sub, int_mul, int_neg, int_less, int_greater, int_index, int_assign;
  uint16_t float_assign, bool_assign, bool_not, bool_and, bool_or, str_assign;
  uint16_t rand, write_int, write_str, dump_stack, dump_code;

  explicit SLibrarySlots(const CScriptCompiler& t) {
    constexpr uint16_t kI = 1, kF = 3, kB = 7, kS = 11, kA = 0x100;
    const STypeRecord& i = *t.Type(kI);
    const STypeRecord& b = *t.Type(kB);
    int_lit = t.Literal(kIntLiteral).function;
    float_lit = t.Literal(kFloatLiteral).function;
    str_lit = t.Literal(kStringLiteral).function;
    bool_lit = t.Literal(kBoolLiteral).function;
    addr_cons = t.AddrConstructor();
    addr_destr = t.AddrDestructor();
    int_void = i.void_constructor;
    int_addr = i.addr_constructor;
    int_destr = i.destructor;
    int_true = i.is_true;
    bool_addr = b.addr_constructor;
    bool_destr = b.destructor;
    bool_true = b.is_true;
    pstr_addr = t.Type(10)->addr_constructor;
    float_destr = t.Type(kF)->destructor;
    str_destr = t.Type(kS)->destructor;
    cast_int_float = CastSlot(t, kI, kF);
    cast_bool_int = CastSlot(t, kB, kI);
    int_add = FunctionSlot(t, "+", {kI, kI});
    int_sub = FunctionSlot(t, "-", {kI, kI});
    int_mul = FunctionSlot(t, "*", {kI, kI});
    int_neg = FunctionSlot(t, "-", {kI});
    int_less = FunctionSlot(t, "<", {kI, kI});
    int_greater = FunctionSlot(t, ">", {kI, kI});
    int_index = FunctionSlot(t, "[", {kI, kI});
    int_assign = FunctionSlot(t, "=", {kI | kA, kI});
    float_assign = FunctionSlot(t, "=", {kF | kA, kF});
    bool_assign = FunctionSlot(t, "=", {kB | kA, kB});
    bool_not = FunctionSlot(t, "NOT", {kB});
    bool_and = FunctionSlot(t, "&&", {kB, kB});
    bool_or = FunctionSlot(t, "||", {kB, kB});
    str_assign = FunctionSlot(t, "=", {kS | kA, kS});
    rand = FunctionSlot(t, "rand", {});
    write_int = FunctionSlot(t, "Write", {kI});
    write_str = FunctionSlot(t, "Write", {kS});
    dump_stack = FunctionSlot(t, "DumpStack", {});
    dump_code = FunctionSlot(t, "DumpCode", {kI});
  }
};
