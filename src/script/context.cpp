#include "script/context.h"

#include <cstring>

#include "script/bytecode.h"
#include "script/library.h"
#include "script/script_machine.h"
#include "script/script_string.h"

namespace {

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

CScriptContext* g_current = nullptr;
uint32_t g_nesting = 0;

}  // namespace

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

struct CScriptContext::SInsn {
  EXop op = xNull;     // what the loop dispatches
  EXop plain = xNull;  // this instruction alone (differs from op when fused)
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
  SFused fused;
};

struct CScriptContext::SFusedArg {
  EArgKind kind;
  uint8_t op;             // kArgIntOp: the EIntOp
  bool local;             // `value` is a frame offset, else the bytes to push
  uint32_t value;
  const uint8_t* from = nullptr;  // set once decoding is done
};

// Decodes the stored code into the program table (see the header).
class CScriptContext::CDecoder {
 public:
  CDecoder(CScriptContext& context, const CScriptMachine& machine)
      : m_context(context), m_machine(machine), m_size(context.m_header.code_size),
        m_index(m_size, -1), m_done(m_size, false) {}

  void Decode() {
    std::vector<SInsn>& program = m_context.m_program;
    program.resize(2);
    program[kFirstSentinel].op = program[kFirstSentinel].plain = xCodeEnd;
    program[kOutsideIndex].op = program[kOutsideIndex].plain = xOutside;
    program[kFirstSentinel].at = m_size;
    m_context.m_entry = IndexOf(0);
    while (!m_pending.empty()) {
      const uint32_t offset = m_pending.back();
      m_pending.pop_back();
      DecodeRun(offset);
    }
    // Every target was indexed while decoding, so this adds no entries.
    for (size_t i = 2; i < program.size(); ++i) {
      const EXop plain = program[i].plain;
      if (plain == xJump || plain == xBranch || plain == xIntBranch)
        program[i].target = IndexOf(program[i].target);
    }
    Fuse();
    for (SFusedArg& arg : m_context.m_fused_args)
      arg.from = arg.local ? m_context.m_bottom + arg.value
                           : reinterpret_cast<const uint8_t*>(&arg.value);
    for (SInsn& insn : program) {
      SFused& fused = insn.fused;
      fused.x_at = m_context.m_bottom + fused.x;
      fused.y_at = fused.literal ? reinterpret_cast<const uint8_t*>(&fused.y)
                                 : m_context.m_bottom + fused.y;
      fused.dest_at = m_context.m_bottom + fused.dest;
    }
  }

 private:
  // The program index of a code offset, decoding it later when needed.
  uint32_t IndexOf(int64_t offset) {
    if (offset == m_size) return kFirstSentinel;
    if (offset < 0 || offset > m_size) return kOutsideIndex;
    int32_t& index = m_index[static_cast<size_t>(offset)];
    if (index < 0) {
      index = static_cast<int32_t>(m_context.m_program.size());
      m_context.m_program.emplace_back();
      m_pending.push_back(static_cast<uint32_t>(offset));
    }
    return static_cast<uint32_t>(index);
  }

  // Decodes instructions from `offset` on until the flow leaves the run or
  // reaches code decoded before.
  void DecodeRun(uint32_t offset) {
    while (!m_done[offset]) {
      m_done[offset] = true;
      const uint32_t index = IndexOf(offset);
      SInsn insn;
      insn.at = offset;
      const uint32_t length = DecodeOne(offset, &insn);
      const int64_t after = int64_t{offset} + length;
      const bool falls_through = !Stops(insn.plain);
      if (falls_through) insn.next = IndexOf(after);
      m_context.m_program[index] = insn;
      if (!falls_through || after >= m_size) return;
      offset = static_cast<uint32_t>(after);
    }
  }

  // Whether the flow never passes on from an instruction to the next one.
  static bool Stops(EXop op) {
    return op == xJump || op == xEnd || (op >= xInvalid && op <= xOutside);
  }

  NativeEntry Native(uint16_t f) const {
    return f < CScriptMachine::kNativeCount ? m_machine.Native(f) : nullptr;
  }

  // Fills `insn` from the instruction at `offset`; answers its length.
  uint32_t DecodeOne(uint32_t offset, SInsn* insn) {
    const uint8_t* at = m_context.m_code + offset;
    const uint32_t left = m_size - offset;
    const uint8_t opcode = at[0];
    const uint8_t op = opcode & 0x7F;
    const auto set = [insn](EXop x) { insn->op = insn->plain = x; };
    if (opcode == (kOpEnd | 0x80) || opcode == (kOpNullInstr | 0x80) || op < kOpCall ||
        op > kOpNullInstr) {
      set(xInvalid);
      return 1;
    }
    static constexpr uint8_t kLengths[] = {3, 7, 5, 3, 3, 7, 11, 3, 7, 5, 5, 7, 7, 1, 5, 4, 3, 1};
    uint32_t length = kLengths[op - kOpCall];
    if (op == kOpConsS && left >= 3) {
      const void* nul = std::memchr(at + 3, 0, left - 3);
      length = nul ? static_cast<uint32_t>(static_cast<const uint8_t*>(nul) - at) + 1 : left + 1;
    }
    if (length > left) {
      set(xTruncated);
      return 1;
    }
    // The native shape each opcode calls (kNone: it calls no native).
    using S = ENativeShape;
    static constexpr ENativeShape kShapes[] = {
        S::kStack,   S::kStack,       S::kNone,         S::kNone,        S::kStack,
        S::kIntLiteral, S::kFloatLiteral, S::kTextLiteral, S::kAddress, S::kAddress,
        S::kNone,    S::kTruth,       S::kTruth,        S::kNone,        S::kNone,
        S::kByteLiteral, S::kAddress, S::kNone};
    const ENativeShape shape = kShapes[op - kOpCall];
    if (shape != ENativeShape::kNone) {
      insn->f = GetU16(at + 1);
      insn->fn = Native(insn->f);
      // A null entry, or one of another shape, is no native for this call.
      if (!insn->fn || m_machine.Shape(insn->f) != shape) {
        set(xNoEntry);
        return length;
      }
    }
    switch (op) {
      case kOpCall: set(InlineCall(insn)); break;
      case kOpDbgCall: set(xDbgCall); insn->a = GetU32(at + 3); break;
      case kOpPushA: set(xPushA); insn->a = GetU32(at + 1); break;
      case kOpPushE: set(xPushE); insn->global = m_machine.GlobalScriptAddress(GetU16(at + 1)); break;
      case kOpConsV: set(xConsV); break;
      case kOpConsI:
        set(insn->fn == AsEntry(lib::IntLiteral) ? xIntLiteral : xConsI);
        insn->a = GetU32(at + 3);
        break;
      case kOpConsF: set(xConsF); insn->a = GetU32(at + 3); insn->b = GetU32(at + 7); break;
      case kOpConsS: set(xConsS); insn->text = reinterpret_cast<const char*>(at + 3); break;
      case kOpConsA:
        set(insn->fn == AsEntry(lib::IntCopy) ? xIntCopy : xConsA);
        insn->a = GetU32(at + 3);
        break;
      case kOpConsE: set(xConsE); insn->global = m_machine.GlobalScriptAddress(GetU16(at + 3)); break;
      case kOpJump: set(xJump); insn->target = JumpTarget(offset, length, GetU32(at + 1)); break;
      case kOpJFalse:
      case kOpJTrue:
        set(insn->fn == AsEntry(lib::IntTruth) || insn->fn == AsEntry(lib::BoolTruth) ? xIntBranch
                                                                                       : xBranch);
        insn->sub = op == kOpJFalse;
        insn->b = insn->fn == AsEntry(lib::BoolTruth);  // the value's size is 1, else 4
        insn->target = JumpTarget(offset, length, GetU32(at + 3));
        break;
      case kOpEnd: set(xEnd); break;
      case kOpSrcLine: set(xSrcLine); insn->a = GetU32(at + 1); break;
      case kOpConsB: set(xConsB); insn->a = at[3]; break;
      case kOpConsD: set(xConsD); break;
      default: set(xNull); break;
    }
    if ((insn->plain == xPushA || insn->plain == xConsA || insn->plain == xIntCopy) &&
        insn->a > m_context.m_header.stack_size)
      set(xBadOffset);
    if ((insn->plain == xPushE || insn->plain == xConsE) && !insn->global) set(xNoEntry);
    return length;
  }

  // The code offset a jump lands on (kept in `target` until every run is
  // decoded, then replaced by its program index).
  uint32_t JumpTarget(uint32_t offset, uint32_t length, uint32_t raw) {
    const int64_t distance = static_cast<int32_t>(raw);
    const int64_t target = distance >= 0 ? int64_t{offset} + length + distance : offset + distance;
    const uint32_t index = IndexOf(target);
    if (index == kFirstSentinel) return m_size;
    if (index == kOutsideIndex) return m_size + 1;
    return static_cast<uint32_t>(target);
  }

  EXop InlineCall(SInsn* insn) const {
    struct SInline {
      uint8_t* (*fn)(uint8_t*);
      EXop op;
      uint8_t sub;
    };
    static constexpr SInline kInline[] = {
        {lib::IntAdd, xIntBinary, kAdd}, {lib::IntSub, xIntBinary, kSub},
        {lib::IntMul, xIntBinary, kMul}, {lib::IntDiv, xIntBinary, kDiv},
        {lib::IntEq, xIntBinary, kEq},   {lib::IntNe, xIntBinary, kNe},
        {lib::IntLt, xIntBinary, kLt},   {lib::IntGt, xIntBinary, kGt},
        {lib::IntNeg, xIntNeg, 0},       {lib::IntAssign, xIntAssign, 0},
        {lib::IntDestroy, xIntDestroy, 0},
    };
    for (const SInline& entry : kInline) {
      if (insn->fn == AsEntry(entry.fn)) {
        insn->sub = entry.sub;
        return entry.op;
      }
    }
    return xCall;
  }

  // Marks the statements that run as one fused operation.
  void Fuse() {
    std::vector<SInsn>& program = m_context.m_program;
    for (uint32_t i = 2; i < program.size(); ++i) {
      if (!TryFuseAssign(i) && !TryFuseTest(i)) TryFuseCall(i);
    }
  }

  // Follows the fallthrough chain: the instruction after `i`, skipping
  // NULL_INSTRs; counts what it passes.
  uint32_t Step(uint32_t i, uint8_t* count) const {
    const std::vector<SInsn>& program = m_context.m_program;
    i = program[i].next;
    ++*count;
    while (program[i].plain == xNull && *count < 32) {
      i = program[i].next;
      ++*count;
    }
    return i;
  }

  // An int operand: a frame variable that fits in the stack, or a literal.
  bool Operand(uint32_t i, uint32_t* value, bool* literal) const {
    const SInsn& insn = m_context.m_program[i];
    if (insn.plain == xIntLiteral) {
      *value = insn.a;
      *literal = true;
      return true;
    }
    if (insn.plain == xIntCopy && insn.a + 4 <= m_context.m_header.stack_size) {
      *value = insn.a;
      *literal = false;
      return true;
    }
    return false;
  }

  // The optional SRC_LINE that starts a statement.
  uint32_t SkipLine(uint32_t i, SFused* fused, uint8_t* count) const {
    const SInsn& head = m_context.m_program[i];
    if (head.plain != xSrcLine) return i;
    fused->has_line = true;
    fused->line = head.a;
    return Step(i, count);
  }

  bool TryFuseAssign(uint32_t head) {
    const std::vector<SInsn>& program = m_context.m_program;
    SFused fused;
    uint8_t count = 0;
    uint32_t i = SkipLine(head, &fused, &count);
    if (program[i].plain != xPushA || program[i].a + 4 > m_context.m_header.stack_size)
      return false;
    fused.dest = program[i].a;
    i = Step(i, &count);
    bool first_literal = false;
    if (!Operand(i, &fused.x, &first_literal) || first_literal) return false;
    i = Step(i, &count);
    if (!Operand(i, &fused.y, &fused.literal)) return false;
    i = Step(i, &count);
    if (program[i].plain != xIntBinary || program[i].sub > kDiv) return false;
    fused.int_op = program[i].sub;
    i = Step(i, &count);
    if (program[i].plain != xIntAssign) return false;
    fused.next = program[i].next;
    ++count;
    FoldJump(&fused, &count);
    return Commit(head, static_cast<EXop>(xFuseAdd + fused.int_op), fused, count);
  }

  bool TryFuseTest(uint32_t head) {
    const std::vector<SInsn>& program = m_context.m_program;
    SFused fused;
    uint8_t count = 0;
    uint32_t i = SkipLine(head, &fused, &count);
    bool first_literal = false;
    if (!Operand(i, &fused.x, &first_literal) || first_literal) return false;
    i = Step(i, &count);
    if (!Operand(i, &fused.y, &fused.literal)) return false;
    i = Step(i, &count);
    if (program[i].plain != xIntBinary || program[i].sub < kEq) return false;
    fused.int_op = program[i].sub;
    i = Step(i, &count);
    const SInsn& branch = program[i];
    if (branch.plain != xIntBranch || !branch.b) return false;
    fused.dest = branch.sub;  // the branch sense
    fused.target = branch.target;
    fused.next = branch.next;
    return Commit(head, static_cast<EXop>(xFuseAdd + fused.int_op), fused, count + 1);
  }

  // One argument push of a fused call; false when `insn` is none.
  bool FusedArg(const SInsn& insn, SFusedArg* arg, int32_t* depth) const {
    const uint32_t stack_size = m_context.m_header.stack_size;
    const bool fits = insn.a + 4 <= stack_size;
    *depth += 4;
    switch (insn.plain) {
      case xIntCopy: *arg = {kArgCopy, 0, true, insn.a}; return fits;
      case xIntLiteral: *arg = {kArgCopy, 0, false, insn.a}; return true;
      case xPushA: *arg = {kArgCopy, 0, false, m_context.m_stack_address + insn.a}; return true;
      case xConsA:
        *arg = {kArgStr, 0, true, insn.a};
        return fits && insn.fn == AsEntry(lib::StrCopy);
      case xIntBinary:
        *arg = {kArgIntOp, insn.sub, false, 0};
        *depth -= insn.sub >= kEq ? 11 : 8;  // pops 8, pushes 1 or 4
        return insn.sub < kEq;  // keeps every value 4 bytes wide
      default:
        return false;
    }
  }

  bool TryFuseCall(uint32_t head) {
    std::vector<SInsn>& program = m_context.m_program;
    SFused fused;
    uint8_t count = 0;
    uint32_t i = SkipLine(head, &fused, &count);
    std::vector<SFusedArg>& args = m_context.m_fused_args;
    const size_t first = args.size();
    int32_t depth = 0;
    uint32_t room = 0;
    SFusedArg arg;
    for (int32_t next_depth = depth; count < 24 && FusedArg(program[i], &arg, &next_depth);
         next_depth = depth) {
      if (next_depth < 4) break;  // would reach below the values it pushed
      depth = next_depth;
      args.push_back(arg);
      room = std::max(room, static_cast<uint32_t>(depth));
      i = Step(i, &count);
    }
    const SInsn& call = program[i];
    if (args.size() == first || call.plain != xCall) {
      args.resize(first);
      return false;
    }
    fused.arg_first = static_cast<uint32_t>(first);
    fused.arg_count = static_cast<uint32_t>(args.size() - first);
    fused.room = room;
    fused.call_pc = i;
    fused.steps_to_call = ++count;
    fused.next = call.next;
    fused.call_fn = call.fn;
    fused.call_f = call.f;
    // A native that has a borrowing form takes its str arguments without
    // the reference the push adds and it would drop again, when the fused
    // pushes are all its arguments (a string pushed before them, a literal
    // say, is the native's to release).
    NativeEntry borrowing = m_machine.BorrowingEntry(call.f);
    if (borrowing && static_cast<uint32_t>(depth) == m_machine.ArgumentBytes(call.f)) {
      fused.call_fn = borrowing;
      for (size_t k = first; k < args.size(); ++k)
        if (args[k].kind == kArgStr) args[k].kind = kArgCopy;
    }
    const SInsn& after = program[call.next];
    if (after.plain == xIntDestroy || (after.plain == xCall && after.fn == AsEntry(lib::BoolDestroy))) {
      fused.drop = after.plain == xIntDestroy ? 4 : 1;
      fused.next = after.next;
      ++count;
    }
    FoldJump(&fused, &count);
    return Commit(head, xFuseCall, fused, count);
  }

  // A JUMP after a statement that always goes on to its next instruction
  // (the end of a loop body) is taken as part of the statement.
  void FoldJump(SFused* fused, uint8_t* count) const {
    const SInsn& after = m_context.m_program[fused->next];
    if (after.plain != xJump || *count == 255) return;
    fused->next = after.target;
    ++*count;
  }

  bool Commit(uint32_t head, EXop op, const SFused& fused, uint8_t count) {
    SInsn& insn = m_context.m_program[head];
    insn.op = op;
    insn.count = count;
    insn.fused = fused;
    return true;
  }

  CScriptContext& m_context;
  const CScriptMachine& m_machine;
  const uint32_t m_size;
  std::vector<int32_t> m_index;  // code offset -> program index, -1 unknown
  std::vector<bool> m_done;
  std::vector<uint32_t> m_pending;
};

CScriptContext::CScriptContext(const CScriptMachine& machine, const uint8_t* block, size_t size)
    : m_machine(machine) {
  size_t code_start = 0;
  if (!ReadHeader(block, size, &code_start)) return;
  m_code = block + code_start;
  const size_t stack_bytes = size_t{m_header.stack_size} + 2 * kStackGuard;
  m_stack.assign(stack_bytes, 0);
  m_bottom = m_stack.data() + kStackGuard;
  m_stack_address = ScriptMemory().Map(m_bottom, std::max<uint32_t>(m_header.stack_size, 1));
  if (!m_stack_address) {
    Fail(err::kAllocFail);
    return;
  }
  CDecoder(*this, machine).Decode();
  Reset();
}

CScriptContext::~CScriptContext() {
  if (m_stack_address) ScriptMemory().Unmap(m_stack_address);
}

bool CScriptContext::ReadHeader(const uint8_t* block, size_t size, size_t* code_start) {
  if (!block || size < kBlockHeaderSize) {
    Fail(err::kCodeLimits);
    return false;
  }
  m_header.param_size = GetU32(block + kHeaderParamAreaOffset);
  m_header.stack_size = GetU32(block + kHeaderStackSizeOffset);
  m_header.code_size = GetU32(block + kHeaderCodeSizeOffset);
  m_header.result = GetU16(block + kHeaderResultOffset);
  for (int i = 0; i < 16; ++i) m_header.params[i] = GetU16(block + kHeaderParamsOffset + 2 * i);
  m_header.param_count = GetU16(block + kHeaderParamCountOffset);
  *code_start = kBlockHeaderSize;
  if (block[1] == 1) {
    constexpr size_t kTableBase = 140;
    constexpr size_t kRecordSize = 40;
    if (size < kBlockHeaderSize + kTableBase) {
      Fail(err::kCodeLimits);
      return false;
    }
    const size_t count = GetU16(block + kBlockHeaderSize + 128);
    const size_t table = kTableBase + kRecordSize * count;
    if (count > 22 || size < kBlockHeaderSize + table) {
      Fail(err::kCodeLimits);
      return false;
    }
    m_variables.assign(block + kBlockHeaderSize, block + kBlockHeaderSize + table);
    *code_start += table;
  }
  if (m_header.code_size > size - *code_start) {
    Fail(err::kCodeLimits);
    return false;
  }
  if (m_header.stack_size > CScriptAddressSpace::kMaxRegionSize) {
    Fail(err::kStackLimits);
    return false;
  }
  return true;
}

void CScriptContext::Fail(ErrCode error) {
  if (m_state == EState::kFailed) return;
  m_error = error;
  m_state = EState::kFailed;
}

void CScriptContext::Reset() {
  m_sp = m_bottom;
  m_pc = m_entry;
  m_line = 0;
  m_last_function = -1;
  if (m_state == EState::kFinished) m_state = EState::kReady;
}

uint32_t CScriptContext::Ip() const {
  if (m_program.empty()) return 0;
  return m_pc < 2 ? m_header.code_size : m_program[m_pc].at;
}

CScriptContext* CScriptContext::Current() { return g_current; }
uint32_t CScriptContext::Nesting() { return g_nesting; }

uint64_t CScriptContext::Run(uint64_t limit) {
  if (m_state != EState::kReady || limit == 0) return 0;
  if (g_nesting >= kMaxNesting) {
    Fail(err::kStackLimits);
    return 0;
  }
  const CCurrent current(this);
  ++g_nesting;
  const uint64_t steps = Execute(limit);
  --g_nesting;
  return steps;
}

CScriptContext::CCurrent::CCurrent(CScriptContext* context) : m_outer(g_current) {
  g_current = context;
}
CScriptContext::CCurrent::~CCurrent() { g_current = m_outer; }

// The loop is threaded: every operation ends in its own jump to the next
// one's label, which the processor predicts far better than one shared
// switch. After an operation, NEXT checks what it may have broken: natives
// may fail the run or move sp anywhere, pushes can pass the top, pops the
// bottom.
uint64_t CScriptContext::Execute(uint64_t limit) {
  static void* const kLabels[] = {
      &&op_call, &&op_dbg_call, &&op_push_a, &&op_push_e, &&op_cons_v, &&op_cons_i,
      &&op_cons_f, &&op_cons_s, &&op_cons_a, &&op_cons_e, &&op_jump, &&op_branch, &&op_end,
      &&op_src_line, &&op_cons_b, &&op_cons_d, &&op_null, &&op_invalid, &&op_truncated,
      &&op_no_entry, &&op_bad_offset, &&op_code_end, &&op_outside, &&op_int_literal,
      &&op_int_copy, &&op_int_destroy, &&op_int_binary, &&op_int_neg, &&op_int_assign,
      &&op_int_branch, &&op_fuse_add, &&op_fuse_sub, &&op_fuse_mul, &&op_fuse_div,
      &&op_fuse_eq, &&op_fuse_ne, &&op_fuse_lt, &&op_fuse_gt, &&op_fuse_call,
  };
  static_assert(sizeof kLabels / sizeof kLabels[0] == xFuseCall + 1);

  const SInsn* const program = m_program.data();
  uint8_t* const bottom = m_bottom;
  uint8_t* const top = Top();
  const uint32_t stack_size = m_header.stack_size;
  uint8_t* sp = m_sp;
  uint32_t pc = m_pc;
  uint64_t steps = 0;
  const bool line_stepping = m_line_stepping;
  ErrCode error = err::kOk;
  const SInsn* insn = nullptr;

#define DISPATCH()                        \
  do {                                    \
    if (steps >= limit) goto out_of_steps; \
    insn = &program[pc];                  \
    goto* kLabels[insn->op];              \
  } while (0)
#define GO_ON(next_pc) \
  do {                 \
    pc = (next_pc);    \
    DISPATCH();        \
  } while (0)
// After a native: it may have failed the run or left sp anywhere.
#define NEXT_NATIVE(next_pc)                                 \
  do {                                                       \
    ++steps;                                                 \
    if (m_state != EState::kReady) goto stopped;             \
    if (sp < bottom || sp > top) goto stack_fault;           \
    GO_ON(next_pc);                                          \
  } while (0)
#define NEXT_PUSHED()                         \
  do {                                        \
    ++steps;                                  \
    if (sp > top) goto stack_fault;           \
    GO_ON(insn->next);                        \
  } while (0)
#define NEXT_POPPED(next_pc)                  \
  do {                                        \
    ++steps;                                  \
    if (sp < bottom) goto stack_fault;        \
    GO_ON(next_pc);                           \
  } while (0)
#define FAIL(code)   \
  do {               \
    ++steps;         \
    error = (code);  \
    goto failed;     \
  } while (0)
// Natives see which instruction they serve (DumpCode, the diagnostic line);
// sp they are given.
#define ENTER_NATIVE()           \
  do {                           \
    m_pc = pc;                   \
    m_last_function = insn->f;   \
  } while (0)

  DISPATCH();

// The fused statements, one label per operator.
#define FUSE_ASSIGN(label, result)                                                         \
  label : {                                                                                \
    const SFused& fused = insn->fused;                                                     \
    if (limit - steps < insn->count || (fused.has_line && line_stepping) || sp + 12 > top) \
      goto* kLabels[insn->plain];                                                          \
    if (fused.has_line) m_line = fused.line;                                               \
    const int32_t x = Peek<int32_t>(fused.x_at);                                           \
    const int32_t y = Peek<int32_t>(fused.y_at);                                           \
    const int32_t value = (result);                                                        \
    /* the dead bytes above sp as the single instructions leave them */                    \
    Poke<ScriptAddr>(sp, m_stack_address + fused.dest);                                    \
    Poke(sp + 4, value);                                                                   \
    Poke(sp + 8, y);                                                                       \
    Poke(fused.dest_at, value);                                                            \
    steps += insn->count;                                                                  \
    GO_ON(fused.next);                                                                     \
  }
#define FUSE_TEST(label, condition)                                                        \
  label : {                                                                                \
    const SFused& fused = insn->fused;                                                     \
    if (limit - steps < insn->count || (fused.has_line && line_stepping) || sp + 8 > top) \
      goto* kLabels[insn->plain];                                                          \
    if (fused.has_line) m_line = fused.line;                                               \
    const int32_t x = Peek<int32_t>(fused.x_at);                                           \
    const int32_t y = Peek<int32_t>(fused.y_at);                                           \
    const bool truth = (condition);                                                        \
    Poke(sp, x);                                                                           \
    Poke(sp + 4, y);                                                                       \
    sp[0] = truth;                                                                         \
    steps += insn->count;                                                                  \
    GO_ON(truth != (fused.dest != 0) ? fused.target : fused.next);                         \
  }

  FUSE_ASSIGN(op_fuse_add, lib::Wrap(int64_t{x} + y))
  FUSE_ASSIGN(op_fuse_sub, lib::Wrap(int64_t{x} - y))
  FUSE_ASSIGN(op_fuse_mul, lib::Wrap(int64_t{x} * y))
  FUSE_ASSIGN(op_fuse_div, lib::Divide(x, y))
  FUSE_TEST(op_fuse_eq, x == y)
  FUSE_TEST(op_fuse_ne, x != y)
  FUSE_TEST(op_fuse_lt, x < y)
  FUSE_TEST(op_fuse_gt, x > y)
#undef FUSE_ASSIGN
#undef FUSE_TEST

op_fuse_call: {
  if (limit - steps < insn->count || (insn->fused.has_line && line_stepping) || sp + insn->fused.room > top)
    goto* kLabels[insn->plain];
  if (insn->fused.has_line) m_line = insn->fused.line;
  const SFusedArg* arg = m_fused_args.data() + insn->fused.arg_first;
  for (const SFusedArg* end = arg + insn->fused.arg_count; arg != end; ++arg) {
    if (arg->kind == kArgCopy) {
      std::memmove(sp, arg->from, 4);
    } else if (arg->kind == kArgStr) {
      const StrHandle handle = Peek<StrHandle>(arg->from);
      StrAddRef(handle);
      Poke(sp, handle);
    } else {
      sp -= 8;
      Poke(sp, ApplyIntOp(arg->op, Peek<int32_t>(sp), Peek<int32_t>(sp + 4)));
    }
    sp += 4;
  }
  pc = insn->fused.call_pc;
  steps += insn->fused.steps_to_call;
  m_pc = pc;
  m_last_function = insn->fused.call_f;
  const uint32_t drop = insn->fused.drop;
  const uint32_t after = insn->fused.next;
  sp = AsShape<NativeFn>(insn->fused.call_fn)(sp);
  if (m_state != EState::kReady) goto stopped;
  if (sp < bottom || sp > top) goto stack_fault;
  if (drop) {
    pc = program[pc].next;
    ++steps;
    sp -= drop;
    if (sp < bottom) goto stack_fault;
  }
  GO_ON(after);
}
op_call:
op_cons_v:
  ENTER_NATIVE();
  sp = AsShape<NativeFn>(insn->fn)(sp);
  NEXT_NATIVE(insn->next);
op_dbg_call: {
  ENTER_NATIVE();
  uint8_t* const before = sp;
  sp = AsShape<NativeFn>(insn->fn)(sp);
  if (m_state == EState::kReady && static_cast<uint32_t>(sp - before) != insn->a)
    FAIL(err::kInvalidIndex);
  NEXT_NATIVE(insn->next);
}
op_push_a:
  Poke<ScriptAddr>(sp, m_stack_address + insn->a);
  sp += 4;
  NEXT_PUSHED();
op_push_e:
  Poke<ScriptAddr>(sp, insn->global);
  sp += 4;
  NEXT_PUSHED();
op_cons_i:
  ENTER_NATIVE();
  sp = AsShape<IntConsFn>(insn->fn)(sp, static_cast<int32_t>(insn->a));
  NEXT_NATIVE(insn->next);
op_cons_f:
  ENTER_NATIVE();
  sp = AsShape<FloatConsFn>(insn->fn)(sp, insn->a, insn->b);
  NEXT_NATIVE(insn->next);
op_cons_s:
  ENTER_NATIVE();
  sp = AsShape<TextConsFn>(insn->fn)(sp, insn->text);
  NEXT_NATIVE(insn->next);
op_cons_a:
  ENTER_NATIVE();
  sp = AsShape<AddrConsFn>(insn->fn)(sp, m_stack_address + insn->a);
  NEXT_NATIVE(insn->next);
op_cons_e:
  ENTER_NATIVE();
  sp = AsShape<AddrConsFn>(insn->fn)(sp, insn->global);
  NEXT_NATIVE(insn->next);
op_cons_b:
  ENTER_NATIVE();
  sp = AsShape<ByteConsFn>(insn->fn)(sp, static_cast<uint8_t>(insn->a));
  NEXT_NATIVE(insn->next);
op_cons_d: {
  ENTER_NATIVE();
  const ScriptAddr source = Pop<ScriptAddr>(sp);
  sp = AsShape<AddrConsFn>(insn->fn)(sp, source);
  NEXT_NATIVE(insn->next);
}
op_jump:
  ++steps;
  GO_ON(insn->target);
op_branch: {
  ENTER_NATIVE();
  // A copy of sp for the truth test: taking sp's own address would keep it
  // out of a register for the whole loop.
  uint8_t* tested = sp;
  const int truth = AsShape<TruthFn>(insn->fn)(&tested);
  sp = tested;
  NEXT_NATIVE((truth == 0) == (insn->sub != 0) ? insn->target : insn->next);
}
op_end:
  ++steps;
  pc = insn->next;
  m_state = EState::kFinished;
  goto done;
op_src_line:
  m_line = insn->a;
  if (line_stepping) {
    ++steps;
    pc = insn->next;
    goto done;
  }
  ++steps;
  GO_ON(insn->next);
op_null:
  ++steps;
  GO_ON(insn->next);
op_invalid:
  FAIL(err::kInvalidCop);
op_truncated:
  FAIL(err::kCodeLimits);
op_no_entry:
  FAIL(err::kInvalidIndex);
op_bad_offset:
  FAIL(err::kInvalidStoff);
op_code_end:
  m_state = EState::kFinished;
  goto done;
op_outside:
  error = err::kCodeLimits;
  goto failed;
op_int_literal:
  Poke(sp, insn->a);
  sp += 4;
  NEXT_PUSHED();
op_int_copy:
  if (insn->a + 4 > stack_size) FAIL(kAddressFault);
  std::memmove(sp, bottom + insn->a, 4);
  sp += 4;
  NEXT_PUSHED();
op_int_destroy:
  sp -= 4;
  NEXT_POPPED(insn->next);
op_int_binary: {
  const int32_t y = Pop<int32_t>(sp);
  const int32_t x = Pop<int32_t>(sp);
  if (insn->sub >= kEq) {
    Push<uint8_t>(sp, static_cast<uint8_t>(ApplyIntOp(insn->sub, x, y)));
  } else {
    Push(sp, ApplyIntOp(insn->sub, x, y));
  }
  NEXT_POPPED(insn->next);
}
op_int_neg:
  Poke(sp - 4, lib::Wrap(-int64_t{Peek<int32_t>(sp - 4)}));
  NEXT_POPPED(insn->next);
op_int_assign: {
  const int32_t value = Pop<int32_t>(sp);
  const ScriptAddr address = Pop<ScriptAddr>(sp);
  uint8_t* target = stack_size >= 4 && address - m_stack_address <= stack_size - 4
                        ? bottom + (address - m_stack_address)
                        : ScriptMemory().Resolve(address, 4);
  if (!target) FAIL(kAddressFault);
  Poke(target, value);
  NEXT_POPPED(insn->next);
}
op_int_branch: {
  const bool truth = insn->b ? *--sp != 0 : Pop<int32_t>(sp) != 0;
  NEXT_POPPED(truth != (insn->sub != 0) ? insn->target : insn->next);
}

#undef DISPATCH
#undef GO_ON
#undef NEXT_NATIVE
#undef NEXT_PUSHED
#undef NEXT_POPPED
#undef FAIL
#undef ENTER_NATIVE

stack_fault:
  error = err::kStackLimits;
failed:
  m_pc = pc;
  m_sp = sp;
  Fail(error);
  return steps;
stopped:  // a native failed the run
  m_pc = pc;
  m_sp = sp;
  return steps;
out_of_steps:
  m_last_function = -1;
  if (program[pc].op == xCodeEnd) m_state = EState::kFinished;
done:
  m_pc = pc;
  m_sp = sp;
  return steps;
}

void ScriptFault(ErrCode error) {
  if (CScriptContext* context = CScriptContext::Current()) context->Fail(error);
}
