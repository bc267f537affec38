// The execution context: one run of a compiled block on its own stack.
//
// The stored instructions (bytecode.h) are decoded once, when the context is
// made, into a table of internal instructions, one per stored instruction,
// each naming its successor. Calls of the library's int natives become
// internal operations, and the shapes the compiler emits for int statements
// ("local = local op local-or-literal", "while (local cmp ...) do", a call
// of a native with its pushed arguments) become fused operations that run a
// whole statement in one step of the loop.
// Semantics stay those of the stored code: a fused operation runs only when
// the step budget covers all its instructions, line stepping is off and the
// stack has room; otherwise its first instruction runs alone. Errors name
// the failing instruction, steps count stored instructions.
//
// Jump targets that fall inside another instruction are decoded as
// instructions of their own, so arbitrary bytes decode to a table of valid
// entries: invalid opcodes, truncated instructions and targets outside the
// code become entries that stop the run with their error when reached.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "script/address_space.h"
#include "script/native.h"
#include "script/script_run.h"

class CDecodedBlock;
class CScriptMachine;

// The block header, copied out of the stored layout.
struct SBlockHeader {
  uint32_t param_size = 0;
  uint32_t stack_size = 0;
  uint32_t code_size = 0;
  uint16_t result = 0;
  uint16_t params[16] = {};
  uint16_t param_count = 0;
};

class CScriptContext final : public CScriptRun {
 public:
  static constexpr uint64_t kRunToEnd = std::numeric_limits<uint64_t>::max();
  // Runs nest through natives (a handler calling another); deeper nesting
  // fails with STACK_LIMITS instead of exhausting the host's stack.
  static constexpr uint32_t kMaxNesting = 64;

  // The block's bytes must outlive the context. A malformed header leaves
  // the context failed (CODE_LIMITS or STACK_LIMITS); no room, ALLOCFAIL.
  CScriptContext(CScriptMachine& machine, const uint8_t* block, size_t size);
  // Runs a block decoded before; `decoded` must outlive the context.
  CScriptContext(CScriptMachine& machine, const CDecodedBlock& decoded);
  ~CScriptContext();
  CScriptContext(const CScriptContext&) = delete;
  CScriptContext& operator=(const CScriptContext&) = delete;

  // Runs at most `limit` instructions and answers how many ran.
  uint64_t Run(uint64_t limit = kRunToEnd);
  // Back to the start: sp to the bottom, ip to the code start, line 0.
  void Reset();

  bool Finished() const { return m_state == EState::kFinished; }
  bool Failed() const { return m_state == EState::kFailed; }
  ErrCode Error() const { return m_error; }
  void Fail(ErrCode error) override;

  const SBlockHeader& Header() const { return m_header; }
  const std::vector<uint8_t>& VariableTable() const { return m_variables; }
  // When set, a run slice ends after each SRC_LINE.
  void SetLineStepping(bool on) { m_line_stepping = on; }
  uint32_t Line() const override { return m_line; }
  // The code offset of the current instruction.
  uint32_t Ip() const override;
  // The native index of the instruction being executed, or -1.
  int32_t LastFunction() const override { return m_last_function; }
  const uint8_t* Code() const override { return m_code; }
  uint32_t CodeSize() const override { return m_header.code_size; }
  const uint8_t* StackBottom() const override { return m_bottom; }

  // The stack: its bytes from the bottom, the script address of the bottom,
  // and sp (between runs it is where the last run left it).
  uint8_t* Bottom() { return m_bottom; }
  uint8_t* Top() { return m_bottom + m_header.stack_size; }
  ScriptAddr BottomAddress() const { return m_stack_address; }
  uint8_t* Sp() const { return m_sp; }
  void SetSp(uint8_t* sp) { m_sp = sp; }

 private:
  friend class CDecodedBlock;
  enum class EState : uint8_t { kReady, kFinished, kFailed };
  struct SInsn;
  struct SFusedArg;
  class CDecoder;

  bool ReadHeader(const uint8_t* block, size_t size, size_t* code_start);
  bool MapStack();
  // Fills m_program (and m_fused_args) from the code.
  void Decode(const CScriptMachine& machine);
  // Points the program's operands at this context's stack.
  void Bind();
  // The run loop proper; `pc` is an index into m_program.
  uint64_t Execute(uint64_t limit);

  SBlockHeader m_header;
  std::vector<uint8_t> m_variables;
  const uint8_t* m_code = nullptr;
  std::vector<SInsn> m_program;
  std::vector<SFusedArg> m_fused_args;
  uint32_t m_entry = 0;  // the program index of code offset 0
  std::vector<uint8_t> m_stack;  // guard, stack, guard
  uint8_t* m_bottom = nullptr;
  ScriptAddr m_stack_address = 0;
  uint8_t* m_sp = nullptr;
  uint32_t m_pc = 0;
  uint32_t m_line = 0;
  int32_t m_last_function = -1;
  ErrCode m_error = err::kOk;
  EState m_state = EState::kReady;
  bool m_line_stepping = false;
};

// A compiled block decoded once, with its own copy of the block's bytes:
// the contexts made from it run without decoding again. The program holds
// the machine's native entries and global addresses as they were when it
// was decoded, so it is only good while those registrations stand.
class CDecodedBlock {
 public:
  // Null when the block is malformed (CODE_LIMITS, STACK_LIMITS) or there
  // is no room (ALLOCFAIL); `error` says which.
  static std::shared_ptr<const CDecodedBlock> Make(CScriptMachine& machine,
                                                   std::vector<uint8_t> bytes, ErrCode* error);
  ~CDecodedBlock();
  CDecodedBlock(const CDecodedBlock&) = delete;
  CDecodedBlock& operator=(const CDecodedBlock&) = delete;
  const SBlockHeader& Header() const { return m_header; }

 private:
  friend class CScriptContext;
  CDecodedBlock();

  std::vector<uint8_t> m_bytes;
  SBlockHeader m_header;
  std::vector<uint8_t> m_variables;
  const uint8_t* m_code = nullptr;
  std::vector<CScriptContext::SInsn> m_program;
  std::vector<CScriptContext::SFusedArg> m_fused_args;
  uint32_t m_entry = 0;
};
