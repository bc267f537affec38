#include "script/context.h"

#include <cstring>

#include "script/bytecode.h"
#include "script/library.h"
#include "script/script_machine.h"

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
  xFuseAssign,  // [SRC_LINE] PUSH_A d, CONS_A x, CONS_A y | CONS_I k, CALL op, CALL =
  xFuseTest,    // [SRC_LINE] CONS_A x, CONS_A y | CONS_I k, CALL cmp, JFALSE/JTRUE
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
  // A fused statement: destination, first operand, second operand (offset
  // or literal), whether it is a literal, its line (0: no SRC_LINE).
  uint32_t dest = 0;
  uint32_t x = 0;
  uint32_t y = 0;
  bool literal = false;
  bool has_line = false;
  uint32_t line = 0;
  uint32_t fused_next = 0;
  uint32_t fused_target = 0;
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
    const bool has_function = op != kOpPushA && op != kOpPushE && op != kOpJump &&
                              op != kOpEnd && op != kOpSrcLine && op != kOpNullInstr;
    if (has_function) {
      insn->f = GetU16(at + 1);
      insn->fn = Native(insn->f);
      if (!insn->fn) {
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
      if (!TryFuseAssign(i)) TryFuseTest(i);
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
  uint32_t SkipLine(uint32_t i, SInsn* fused, uint8_t* count) const {
    const SInsn& head = m_context.m_program[i];
    if (head.plain != xSrcLine) return i;
    fused->has_line = true;
    fused->line = head.a;
    return Step(i, count);
  }

  bool TryFuseAssign(uint32_t head) {
    const std::vector<SInsn>& program = m_context.m_program;
    SInsn fused;
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
    fused.sub = program[i].sub;
    i = Step(i, &count);
    if (program[i].plain != xIntAssign) return false;
    fused.fused_next = program[i].next;
    return Commit(head, xFuseAssign, fused, count + 1);
  }

  bool TryFuseTest(uint32_t head) {
    const std::vector<SInsn>& program = m_context.m_program;
    SInsn fused;
    uint8_t count = 0;
    uint32_t i = SkipLine(head, &fused, &count);
    bool first_literal = false;
    if (!Operand(i, &fused.x, &first_literal) || first_literal) return false;
    i = Step(i, &count);
    if (!Operand(i, &fused.y, &fused.literal)) return false;
    i = Step(i, &count);
    if (program[i].plain != xIntBinary || program[i].sub < kEq) return false;
    fused.sub = program[i].sub;
    i = Step(i, &count);
    const SInsn& branch = program[i];
    if (branch.plain != xIntBranch || !branch.b) return false;
    fused.dest = branch.sub;  // the branch sense
    fused.fused_target = branch.target;
    fused.fused_next = branch.next;
    return Commit(head, xFuseTest, fused, count + 1);
  }

  bool Commit(uint32_t head, EXop op, const SInsn& fused, uint8_t count) {
    SInsn& insn = m_context.m_program[head];
    insn.op = op;
    insn.count = count;
    insn.sub = fused.sub;
    insn.dest = fused.dest;
    insn.x = fused.x;
    insn.y = fused.y;
    insn.literal = fused.literal;
    insn.has_line = fused.has_line;
    insn.line = fused.line;
    insn.fused_next = fused.fused_next;
    insn.fused_target = fused.fused_target;
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

uint64_t CScriptContext::Execute(uint64_t limit) {
  const SInsn* const program = m_program.data();
  uint8_t* const bottom = m_bottom;
  uint8_t* const top = Top();
  const uint32_t stack_size = m_header.stack_size;
  uint8_t* sp = m_sp;
  uint32_t pc = m_pc;
  uint64_t steps = 0;
  // Natives see the machine's state as of the instruction they serve.
  const auto enter_native = [&](const SInsn& insn) {
    m_pc = pc;
    m_sp = sp;
    m_last_function = insn.f;
  };
  const auto fail = [&](ErrCode error) {
    m_pc = pc;
    m_sp = sp;
    Fail(error);
    return steps;
  };

  while (steps < limit) {
    const SInsn& insn = program[pc];
    uint32_t next = insn.next;
    EXop op = insn.op;
  dispatch:
    switch (op) {
      case xFuseAssign: {
        if (limit - steps < insn.count || (insn.has_line && m_line_stepping) || sp + 12 > top) {
          op = insn.plain;
          goto dispatch;
        }
        if (insn.has_line) m_line = insn.line;
        const int32_t x = Peek<int32_t>(bottom + insn.x);
        const int32_t y = insn.literal ? static_cast<int32_t>(insn.y) : Peek<int32_t>(bottom + insn.y);
        const int32_t result = ApplyIntOp(insn.sub, x, y);
        // The dead bytes above sp as the single instructions leave them.
        Poke<ScriptAddr>(sp, m_stack_address + insn.dest);
        Poke(sp + 4, result);
        Poke(sp + 8, y);
        Poke(bottom + insn.dest, result);
        steps += insn.count;
        pc = insn.fused_next;
        continue;
      }
      case xFuseTest: {
        if (limit - steps < insn.count || (insn.has_line && m_line_stepping) || sp + 8 > top) {
          op = insn.plain;
          goto dispatch;
        }
        if (insn.has_line) m_line = insn.line;
        const int32_t x = Peek<int32_t>(bottom + insn.x);
        const int32_t y = insn.literal ? static_cast<int32_t>(insn.y) : Peek<int32_t>(bottom + insn.y);
        const bool truth = ApplyIntOp(insn.sub, x, y) != 0;
        Poke(sp, x);
        Poke(sp + 4, y);
        sp[0] = truth;
        steps += insn.count;
        pc = truth != (insn.dest != 0) ? insn.fused_target : insn.fused_next;
        continue;
      }
      case xCall:
        enter_native(insn);
        sp = AsShape<NativeFn>(insn.fn)(sp);
        break;
      case xDbgCall: {
        enter_native(insn);
        uint8_t* const before = sp;
        sp = AsShape<NativeFn>(insn.fn)(sp);
        if (m_state == EState::kReady && static_cast<uint32_t>(sp - before) != insn.a) {
          ++steps;
          return fail(err::kInvalidIndex);
        }
        break;
      }
      case xPushA:
        Poke<ScriptAddr>(sp, m_stack_address + insn.a);
        sp += 4;
        break;
      case xPushE:
        Poke<ScriptAddr>(sp, insn.global);
        sp += 4;
        break;
      case xConsV:
        enter_native(insn);
        sp = AsShape<NativeFn>(insn.fn)(sp);
        break;
      case xConsI:
        enter_native(insn);
        sp = AsShape<IntConsFn>(insn.fn)(sp, static_cast<int32_t>(insn.a));
        break;
      case xConsF:
        enter_native(insn);
        sp = AsShape<FloatConsFn>(insn.fn)(sp, insn.a, insn.b);
        break;
      case xConsS:
        enter_native(insn);
        sp = AsShape<TextConsFn>(insn.fn)(sp, insn.text);
        break;
      case xConsA:
        enter_native(insn);
        sp = AsShape<AddrConsFn>(insn.fn)(sp, m_stack_address + insn.a);
        break;
      case xConsE:
        enter_native(insn);
        sp = AsShape<AddrConsFn>(insn.fn)(sp, insn.global);
        break;
      case xConsB:
        enter_native(insn);
        sp = AsShape<ByteConsFn>(insn.fn)(sp, static_cast<uint8_t>(insn.a));
        break;
      case xConsD: {
        enter_native(insn);
        const ScriptAddr source = Pop<ScriptAddr>(sp);
        sp = AsShape<AddrConsFn>(insn.fn)(sp, source);
        break;
      }
      case xJump:
        next = insn.target;
        break;
      case xBranch: {
        enter_native(insn);
        const int truth = AsShape<TruthFn>(insn.fn)(&sp);
        if ((truth == 0) == (insn.sub != 0)) next = insn.target;
        break;
      }
      case xEnd:
        ++steps;
        m_pc = next;
        m_sp = sp;
        m_state = EState::kFinished;
        return steps;
      case xSrcLine:
        m_line = insn.a;
        if (m_line_stepping) {
          ++steps;
          if (sp < bottom || sp > top) return fail(err::kStackLimits);
          m_pc = next;
          m_sp = sp;
          return steps;
        }
        break;
      case xNull:
        break;
      case xInvalid:
        ++steps;
        return fail(err::kInvalidCop);
      case xTruncated:
        ++steps;
        return fail(err::kCodeLimits);
      case xNoEntry:
        ++steps;
        return fail(err::kInvalidIndex);
      case xBadOffset:
        ++steps;
        return fail(err::kInvalidStoff);
      case xCodeEnd:
        m_pc = pc;
        m_sp = sp;
        m_state = EState::kFinished;
        return steps;
      case xOutside:
        return fail(err::kCodeLimits);
      case xIntLiteral:
        Poke(sp, insn.a);
        sp += 4;
        break;
      case xIntCopy:
        if (insn.a + 4 > stack_size) {
          ++steps;
          return fail(kAddressFault);
        }
        std::memcpy(sp, bottom + insn.a, 4);
        sp += 4;
        break;
      case xIntDestroy:
        sp -= 4;
        break;
      case xIntBinary: {
        const int32_t y = Pop<int32_t>(sp);
        const int32_t x = Pop<int32_t>(sp);
        if (insn.sub >= kEq) {
          Push<uint8_t>(sp, static_cast<uint8_t>(ApplyIntOp(insn.sub, x, y)));
        } else {
          Push(sp, ApplyIntOp(insn.sub, x, y));
        }
        break;
      }
      case xIntNeg:
        Poke(sp - 4, lib::Wrap(-int64_t{Peek<int32_t>(sp - 4)}));
        break;
      case xIntAssign: {
        const int32_t value = Pop<int32_t>(sp);
        const ScriptAddr address = Pop<ScriptAddr>(sp);
        uint8_t* target = address - m_stack_address <= stack_size - 4 && stack_size >= 4
                              ? bottom + (address - m_stack_address)
                              : ScriptMemory().Resolve(address, 4);
        if (!target) {
          ++steps;
          return fail(kAddressFault);
        }
        Poke(target, value);
        break;
      }
      case xIntBranch: {
        const bool truth = insn.b ? *--sp != 0 : Pop<int32_t>(sp) != 0;
        if (truth != (insn.sub != 0)) next = insn.target;
        break;
      }
    }
    ++steps;
    if (m_state != EState::kReady) {
      m_pc = pc;
      return steps;
    }
    if (sp < bottom || sp > top) return fail(err::kStackLimits);
    pc = next;
  }
  m_pc = pc;
  m_sp = sp;
  m_last_function = -1;
  if (program[pc].op == xCodeEnd) m_state = EState::kFinished;
  return steps;
}

void ScriptFault(ErrCode error) {
  if (CScriptContext* context = CScriptContext::Current()) context->Fail(error);
}

uint8_t* ScriptDeref(ScriptAddr address, uint32_t size) {
  uint8_t* bytes = ScriptMemory().Resolve(address, size);
  if (!bytes) ScriptFault(kAddressFault);
  return bytes;
}
