#include "script/context.h"

#include <cstring>

#include "script/bytecode.h"
#include "script/context_program.h"
#include "script/library.h"
#include "script/script_machine.h"
#include "script/script_string.h"

using namespace vm;

CScriptContext::CScriptContext(CScriptMachine& machine, const uint8_t* block, size_t size)
    : CScriptRun(machine, machine.Memory()) {
  size_t code_start = 0;
  if (!ReadHeader(block, size, &code_start)) return;
  m_code = block + code_start;
  if (!MapStack()) return;
  Decode(machine);
  Bind();
  Reset();
}

CScriptContext::CScriptContext(CScriptMachine& machine, const CDecodedBlock& decoded)
    : CScriptRun(machine, machine.Memory()),
      m_header(decoded.m_header),
      m_variables(decoded.m_variables),
      m_code(decoded.m_code),
      m_program(decoded.m_program),
      m_fused_args(decoded.m_fused_args),
      m_entry(decoded.m_entry) {
  if (!MapStack()) return;
  Bind();
  Reset();
}

bool CScriptContext::MapStack() {
  const size_t stack_bytes = size_t{m_header.stack_size} + 2 * kStackGuard;
  m_stack.assign(stack_bytes, 0);
  m_bottom = m_stack.data() + kStackGuard;
  m_stack_address = Memory().Map(m_bottom, std::max<uint32_t>(m_header.stack_size, 1));
  if (!m_stack_address) Fail(err::kAllocFail);
  return m_stack_address != 0;
}

void CScriptContext::Bind() {
  for (SFusedArg& arg : m_fused_args)
    arg.from = arg.local ? m_bottom + arg.value : reinterpret_cast<const uint8_t*>(&arg.value);
  for (SInsn& insn : m_program) {
    SFused& fused = insn.fused;
    fused.x_at = m_bottom + fused.x;
    fused.y_at = fused.literal ? reinterpret_cast<const uint8_t*>(&fused.y) : m_bottom + fused.y;
    fused.dest_at = m_bottom + fused.dest;
  }
}

CDecodedBlock::CDecodedBlock() = default;
CDecodedBlock::~CDecodedBlock() = default;

std::shared_ptr<const CDecodedBlock> CDecodedBlock::Make(CScriptMachine& machine,
                                                         std::vector<uint8_t> bytes,
                                                         ErrCode* error) {
  std::shared_ptr<CDecodedBlock> decoded(new CDecodedBlock);
  decoded->m_bytes = std::move(bytes);
  // A context decodes the block; its program is taken over, its stack let go.
  CScriptContext context(machine, decoded->m_bytes.data(), decoded->m_bytes.size());
  *error = context.Error();
  if (context.Failed()) return nullptr;
  decoded->m_header = context.m_header;
  decoded->m_variables = std::move(context.m_variables);
  decoded->m_code = context.m_code;
  decoded->m_program = std::move(context.m_program);
  decoded->m_fused_args = std::move(context.m_fused_args);
  decoded->m_entry = context.m_entry;
  return decoded;
}

CScriptContext::~CScriptContext() {
  if (m_stack_address) Memory().Unmap(m_stack_address);
}

bool CScriptContext::ReadHeader(const uint8_t* block, size_t size, size_t* code_start) {
  if (!block || size < kBlockHeaderSize) {
    Fail(err::kCodeLimits);
    return false;
  }
  m_header.param_size = GetLe32(block + kHeaderParamAreaOffset);
  m_header.stack_size = GetLe32(block + kHeaderStackSizeOffset);
  m_header.code_size = GetLe32(block + kHeaderCodeSizeOffset);
  m_header.result = GetLe16(block + kHeaderResultOffset);
  for (int i = 0; i < 16; ++i) m_header.params[i] = GetLe16(block + kHeaderParamsOffset + 2 * i);
  m_header.param_count = GetLe16(block + kHeaderParamCountOffset);
  *code_start = kBlockHeaderSize;
  if (block[1] == 1) {
    constexpr size_t kTableBase = 140;
    constexpr size_t kRecordSize = 40;
    if (size < kBlockHeaderSize + kTableBase) {
      Fail(err::kCodeLimits);
      return false;
    }
    const size_t count = GetLe16(block + kBlockHeaderSize + 128);
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

uint64_t CScriptContext::Run(uint64_t limit) {
  if (m_state != EState::kReady || limit == 0) return 0;
  uint32_t& nesting = Machine().Calls().nesting;
  if (nesting >= kMaxNesting) {
    Fail(err::kStackLimits);
    return 0;
  }
  const CScope current(this);
  ++nesting;
  const uint64_t steps = Execute(limit);
  --nesting;
  return steps;
}

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
                        : Memory().Resolve(address, 4);
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

