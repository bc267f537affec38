// The compiled script block and its instructions.
//
// A block is a 50-byte header followed by the instructions. All fields are
// packed and little-endian:
//
//   offset  width        field
//   0       u8           0xFF
//   1       u8           1 when a variable table follows the header, else 0
//   2       u32          size of the parameter area (result address and
//                        parameters)
//   6       u32          stack size: the largest stack depth the code reaches,
//                        parameter area included
//   10      u32          code size in bytes
//   14      u16          result type code (0 for void; else with kAddrFlag)
//   16      16 x u16     parameter type codes (unused entries 0)
//   48      u16          parameter count
//   50      140 + 40 n   variable table, only when byte 1 is 1: a 128-byte
//                        debugger area, the count n (u16) at its offset 128,
//                        then n records of 40 bytes (name 32 bytes, type code
//                        u16, frame offset u32, nesting level u16); n <= 22
//   50 or after the table: the code
//
// The compiler never writes a variable table; blocks that carry one are
// accepted by the machine.
//
// An instruction is one opcode byte followed by packed operands: f a u16
// native function index, st a u32 frame offset from the stack bottom, idx a
// u16 native slot of a global, codeoff a signed 32-bit jump distance. A
// forward distance (>= 0) counts from the end of the jump instruction, a
// backward one from its start. An opcode with bit 0x80 set executes like the
// plain opcode (END and NULL_INSTR excepted).
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/byte_order.h"

enum EOpcode : uint8_t {
  kOpCall = 10,       // f
  kOpDbgCall = 11,    // f, u32 expected stack change
  kOpPushA = 12,      // st
  kOpPushE = 13,      // idx
  kOpConsV = 14,      // f
  kOpConsI = 15,      // f, i32
  kOpConsF = 16,      // f, f64
  kOpConsS = 17,      // f, NUL-terminated text
  kOpConsA = 18,      // f, st
  kOpConsE = 19,      // f, idx
  kOpJump = 20,       // codeoff
  kOpJFalse = 21,     // f, codeoff
  kOpJTrue = 22,      // f, codeoff
  kOpEnd = 23,        //
  kOpSrcLine = 24,    // u32 line
  kOpConsB = 25,      // f, u8
  kOpConsD = 26,      // f
  kOpNullInstr = 27,  //
};

// Instruction lengths of the fixed-size instructions (CONS_S is 3 + text + 1).
inline constexpr uint32_t kCallLength = 3;
inline constexpr uint32_t kPushALength = 5;
inline constexpr uint32_t kPushELength = 3;
inline constexpr uint32_t kConsILength = 7;
inline constexpr uint32_t kConsFLength = 11;
inline constexpr uint32_t kConsALength = 7;
inline constexpr uint32_t kConsELength = 5;
inline constexpr uint32_t kJumpLength = 5;
inline constexpr uint32_t kJFalseLength = 7;
inline constexpr uint32_t kSrcLineLength = 5;
inline constexpr uint32_t kConsBLength = 4;

inline constexpr uint8_t kBlockMagic = 0xFF;
inline constexpr size_t kBlockHeaderSize = 50;
inline constexpr size_t kHeaderParamAreaOffset = 2;
inline constexpr size_t kHeaderStackSizeOffset = 6;
inline constexpr size_t kHeaderCodeSizeOffset = 10;
inline constexpr size_t kHeaderResultOffset = 14;
inline constexpr size_t kHeaderParamsOffset = 16;
inline constexpr size_t kHeaderParamCountOffset = 48;

