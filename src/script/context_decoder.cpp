// Decoding a compiled block into the run loop's program: one internal
// instruction per stored one, the inline int natives, and the fused
// statements (context.h tells the rules they keep).
#include <algorithm>
#include <cstring>

#include "script/bytecode.h"
#include "script/context_program.h"
#include "script/script_machine.h"

using namespace vm;

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
    // The native shape each opcode calls (kNone: it calls no native).
    using S = ENativeShape;
    static constexpr ENativeShape kShapes[] = {
        S::kStack,   S::kStack,       S::kNone,         S::kNone,        S::kStack,
        S::kIntLiteral, S::kFloatLiteral, S::kTextLiteral, S::kAddress, S::kAddress,
        S::kNone,    S::kTruth,       S::kTruth,        S::kNone,        S::kNone,
        S::kByteLiteral, S::kAddress, S::kNone};
    const ENativeShape shape = kShapes[op - kOpCall];
    if (shape != ENativeShape::kNone) {
      insn->f = GetLe16(at + 1);
      insn->fn = Native(insn->f);
      // A null entry, or one of another shape, is no native for this call.
      if (!insn->fn || m_machine.Shape(insn->f) != shape) {
        set(xNoEntry);
        return length;
      }
    }
    switch (op) {
      case kOpCall: set(InlineCall(insn)); break;
      case kOpDbgCall: set(xDbgCall); insn->a = GetLe32(at + 3); break;
      case kOpPushA: set(xPushA); insn->a = GetLe32(at + 1); break;
      case kOpPushE: set(xPushE); insn->global = m_machine.GlobalScriptAddress(GetLe16(at + 1)); break;
      case kOpConsV: set(xConsV); break;
      case kOpConsI:
        set(insn->fn == AsEntry(lib::IntLiteral) ? xIntLiteral : xConsI);
        insn->a = GetLe32(at + 3);
        break;
      case kOpConsF: set(xConsF); insn->a = GetLe32(at + 3); insn->b = GetLe32(at + 7); break;
      case kOpConsS: set(xConsS); insn->text = reinterpret_cast<const char*>(at + 3); break;
      case kOpConsA:
        set(insn->fn == AsEntry(lib::IntCopy) ? xIntCopy : xConsA);
        insn->a = GetLe32(at + 3);
        break;
      case kOpConsE: set(xConsE); insn->global = m_machine.GlobalScriptAddress(GetLe16(at + 3)); break;
      case kOpJump: set(xJump); insn->target = JumpTarget(offset, length, GetLe32(at + 1)); break;
      case kOpJFalse:
      case kOpJTrue:
        set(insn->fn == AsEntry(lib::IntTruth) || insn->fn == AsEntry(lib::BoolTruth) ? xIntBranch
                                                                                       : xBranch);
        insn->sub = op == kOpJFalse;
        insn->b = insn->fn == AsEntry(lib::BoolTruth);  // the value's size is 1, else 4
        insn->target = JumpTarget(offset, length, GetLe32(at + 3));
        break;
      case kOpEnd: set(xEnd); break;
      case kOpSrcLine: set(xSrcLine); insn->a = GetLe32(at + 1); break;
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

void CScriptContext::Decode(const CScriptMachine& machine) { CDecoder(*this, machine).Decode(); }
