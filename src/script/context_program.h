// The run loop's program: the internal operations a compiled block decodes
// into (context_decoder.cpp) and the run loop executes (context.cpp).
#pragma once

#include <cstdint>

#include "script/context.h"
#include "script/library.h"

namespace vm {

// Internal operations. The first group mirrors the stored opcodes; the
// others are entries that stop the run, the two targets that are not
// instructions, the library's int natives run inline, and fused statements.
enum EXop : uint8_t {
  xCall, xDbgCall, xPushA, xPushE, xConsV, xConsI, xConsF, xConsS, xConsA, xConsE,
  xJump, xBranch, xEnd, xSrcLine, xConsB, xConsD, xNull,
  xInvalid,    // INVALID_COP
  xTruncated,  // operands past the code end: CODE_LIMITS
  xNoEntry,    // null native or no such global: INVALID_INDEX
  xBadOffset,  // frame offset beyond the stack: INVALID_STOFF
  xCodeEnd,    // ip at the code end: finished
  xOutside,    // ip outside the code: CODE_LIMITS
  xIntLiteral, xIntCopy, xIntDestroy, xIntBinary, xIntNeg, xIntAssign, xIntBranch,
  // [SRC_LINE] PUSH_A d, CONS_A x, CONS_A y | CONS_I k, CALL op, CALL =; one
  // operation per operator, in EIntOp order
  xFuseAdd, xFuseSub, xFuseMul, xFuseDiv,
  // [SRC_LINE] CONS_A x, CONS_A y | CONS_I k, CALL cmp, JFALSE/JTRUE
  xFuseEq, xFuseNe, xFuseLt, xFuseGt,
  xFuseCall,    // [SRC_LINE] argument pushes, CALL native, [CALL result destructor]
};

// The argument pushes a fused call runs itself, on the real stack, so the
// native finds them as the single instructions would have left them.
enum EArgKind : uint8_t {
  kArgCopy,   // 4 bytes from `from`: an int frame variable, a literal, a frame address
  kArgStr,    // a str frame variable: the handle, with one more reference
  kArgIntOp,  // an inline int operator on the two values on top
};


// The int operators a binary op or a fused statement applies.
enum EIntOp : uint8_t { kAdd, kSub, kMul, kDiv, kEq, kNe, kLt, kGt };

inline int32_t ApplyIntOp(uint8_t op, int32_t x, int32_t y) {
  switch (op) {
    case kAdd: return lib::Wrap(int64_t{x} + y);
    case kSub: return lib::Wrap(int64_t{x} - y);
    case kMul: return lib::Wrap(int64_t{x} * y);
    case kDiv: return lib::Divide(x, y);
    case kEq: return x == y;
    case kNe: return x != y;
    case kLt: return x < y;
    default: return x > y;
  }
}

constexpr int kFirstSentinel = 0;  // xCodeEnd
constexpr int kOutsideIndex = 1;   // xOutside

// What a fused statement needs beyond its first instruction.
struct SFused {
  uint8_t int_op = 0;      // EIntOp of an assignment or test
  uint32_t dest = 0;       // assignment: the variable; test: the branch sense
  uint32_t x = 0;          // first operand's frame offset
  uint32_t y = 0;          // second operand: frame offset or literal
  bool literal = false;
  bool has_line = false;   // starts with a SRC_LINE of `line`
  uint32_t line = 0;
  const uint8_t* x_at = nullptr;  // the operands' bytes and the variable's,
  const uint8_t* y_at = nullptr;  // set once decoding is done
  uint8_t* dest_at = nullptr;
  uint32_t next = 0;       // program index after the statement
  uint32_t target = 0;     // test: the branch's target
  // A call: its pushes in m_fused_args, the room they need, the program
  // index of the CALL, the steps up to it, the size of the result it drops.
  uint32_t arg_first = 0;
  uint32_t arg_count = 0;
  uint32_t room = 0;
  uint32_t call_pc = 0;
  uint8_t steps_to_call = 0;
  uint8_t drop = 0;
  uint16_t call_f = 0;
  NativeEntry call_fn = nullptr;
};

}  // namespace vm

struct CScriptContext::SInsn {
  using EXop = vm::EXop;
  EXop op = vm::xNull;     // what the loop dispatches
  EXop plain = vm::xNull;  // this instruction alone (differs from op when fused)
  uint8_t count = 1;   // stored instructions that op covers
  uint8_t sub = 0;     // EIntOp, or the branch sense (1: jump when false)
  uint32_t at = 0;     // code offset
  uint32_t next = 0;   // program index of the successor
  uint32_t target = 0; // program index of the jump target
  uint32_t a = 0;      // frame offset, line, literal, low word, byte, expected change
  uint32_t b = 0;      // high word of a float literal
  uint16_t f = 0;
  NativeEntry fn = nullptr;
  const char* text = nullptr;
  ScriptAddr global = 0;
  vm::SFused fused;
};

struct CScriptContext::SFusedArg {
  vm::EArgKind kind;
  uint8_t op;             // kArgIntOp: the EIntOp
  bool local;             // `value` is a frame offset, else the bytes to push
  uint32_t value;
  const uint8_t* from = nullptr;  // set once decoding is done
};
