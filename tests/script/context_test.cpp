// The run loop on hand-made blocks: jumps, limits, every run-time error,
// the fused statements against single steps, nesting, globals, and the
// handler call's steps.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/log.h"
#include "code_builder.h"
#include "script/array_functions.h"
#include "script/array_module.h"
#include "script/bytecode.h"
#include "script/context.h"
#include "script/library.h"
#include "script/registration_rows.h"
#include "script/script_call.h"
#include "script/script_machine.h"
#include "fake_owner.h"
#include "library_slots.h"
#include "string_leak_check.h"

namespace {

std::vector<uint8_t> RawBlock(const std::vector<uint8_t>& code, uint32_t stack_size) {
  std::vector<uint8_t> block(kBlockHeaderSize + code.size(), 0);
  block[0] = kBlockMagic;
  PutLe32(&block[kHeaderStackSizeOffset], stack_size);
  PutLe32(&block[kHeaderCodeSizeOffset], static_cast<uint32_t>(code.size()));
  std::copy(code.begin(), code.end(), block.begin() + kBlockHeaderSize);
  return block;
}
std::vector<uint8_t> Block(const CCode& code, uint32_t stack_size) {
  return RawBlock(code.Bytes(), stack_size);
}

// Starts a machine with the library and `rows` as a module at slot 500.
std::span<const SRow> g_module_rows;
uint32_t RegisterTestRows(CScriptMachine* machine) {
  RegisterRows(machine, g_module_rows);
  return 0;
}
ErrCode StartWith(CScriptMachine* machine, std::span<const SRow> rows) {
  g_module_rows = rows;
  const SRegistrationModule modules[] = {{RegisterTestRows, 500}};
  return machine->Init(modules);
}

class ContextTest : public CStrLeakTest {
 protected:
  void SetUp() override {
    CStrLeakTest::SetUp();
    ASSERT_EQ(m_machine.Init(kArrayModules), err::kOk);
  }
  SLibrarySlots Slots() { return SLibrarySlots(*m_machine.Compiler()); }
  int32_t StackInt(CScriptContext& context, uint32_t offset) {
    int32_t value;
    std::memcpy(&value, context.Bottom() + offset, 4);
    return value;
  }
  CScriptMachine m_machine;
};

TEST_F(ContextTest, JumpsCountFromTheirEndForwardAndTheirStartBackward) {
  // 0 JUMP +0 -> 5; 5 NULL; 6 JUMP +7 -> 11 + 7 = 18; 11 CONS_I 1; 18 CONS_I 2;
  // 25 END.
  const SLibrarySlots s = Slots();
  CCode code;
  code.Jump(0).Null().Jump(7).ConsI(s.int_lit, 1).ConsI(s.int_lit, 2).End();
  const std::vector<uint8_t> block = Block(code, 8);
  CScriptContext context(m_machine, block.data(), block.size());
  EXPECT_EQ(context.Run(), 5u);
  EXPECT_TRUE(context.Finished());
  EXPECT_EQ(StackInt(context, 0), 2);

  // 0 CONS_I 5; 7 JUMP +8 -> 20; 12 CONS_I 9; 19 END; 20 JUMP -8 -> 12.
  CCode loop;
  loop.ConsI(s.int_lit, 5).Jump(8).ConsI(s.int_lit, 9).End().Jump(-8);
  const std::vector<uint8_t> looped = Block(loop, 8);
  CScriptContext second(m_machine, looped.data(), looped.size());
  EXPECT_EQ(second.Run(), 5u);
  EXPECT_EQ(StackInt(second, 4), 9);
}

TEST_F(ContextTest, CodeThatSimplyEndsFinishesAndStepLimitsCountInstructions) {
  const SLibrarySlots s = Slots();
  CCode code;
  code.ConsI(s.int_lit, 1).ConsI(s.int_lit, 2).Call(s.int_add);
  const std::vector<uint8_t> block = Block(code, 8);
  CScriptContext context(m_machine, block.data(), block.size());
  EXPECT_EQ(context.Run(0), 0u);
  EXPECT_EQ(context.Run(1), 1u);
  EXPECT_FALSE(context.Finished());
  EXPECT_EQ(context.Ip(), 7u);
  EXPECT_EQ(context.Run(), 2u);
  EXPECT_TRUE(context.Finished());
  EXPECT_EQ(StackInt(context, 0), 3);
  EXPECT_EQ(context.Sp() - context.Bottom(), 4);
  context.Reset();
  EXPECT_EQ(context.Sp(), context.Bottom());
  EXPECT_EQ(context.Ip(), 0u);
}

TEST_F(ContextTest, HighBitOpcodesRunAsTheirPlainForm) {
  const std::vector<uint8_t> block = RawBlock({12 | 0x80, 0, 0, 0, 0, 23}, 8);  // PUSH_A 0, END
  CScriptContext context(m_machine, block.data(), block.size());
  EXPECT_EQ(context.Run(), 2u);
  EXPECT_EQ(static_cast<uint32_t>(StackInt(context, 0)), context.BottomAddress());

  // DBG_CALL of the int destructor expecting a change of -4.
  const SLibrarySlots s = Slots();
  const std::vector<uint8_t> checked =
      Block(CCode().ConsI(s.int_lit, 1).DbgCall(s.int_destr, -4).End(), 8);
  CScriptContext debug(m_machine, checked.data(), checked.size());
  EXPECT_EQ(debug.Run(), 3u);
  EXPECT_TRUE(debug.Finished());
}

struct SErrorCase {
  const char* name;
  CCode code;
  uint32_t stack_size;
  ErrCode error;
  uint32_t ip;  // where the run stopped
};

TEST_F(ContextTest, EveryRunTimeErrorStopsAtItsInstruction) {
  const SLibrarySlots s = Slots();
  const CCode one = CCode().ConsI(s.int_lit, 1);
  const std::vector<SErrorCase> cases = {
      {"opcode 151 (END with the high bit)", CCode().Raw({27, 151}), 8, err::kInvalidCop, 1},
      {"opcode 155 (NULL_INSTR with the high bit)", CCode().Raw({155}), 8, err::kInvalidCop, 0},
      {"opcode 9", CCode().Raw({9}), 8, err::kInvalidCop, 0},
      {"opcode 28", CCode().Raw({28}), 8, err::kInvalidCop, 0},
      {"a native slot nobody filled", CCode().Call(1000), 8, err::kInvalidIndex, 0},
      {"a native index past the table", CCode().Call(0xFFFF), 8, err::kInvalidIndex, 0},
      {"PUSH_E of a slot without a global", CCode().PushE(s.int_add), 8, err::kInvalidIndex, 0},
      // Natives run only in the shape they were registered with.
      {"a CALL of the bool truth test", CCode(one).Call(s.bool_true), 8, err::kInvalidIndex, 7},
      {"a JFALSE whose native is int +", CCode(one).JFalse(s.int_add, 0), 8,
       err::kInvalidIndex, 7},
      {"a CONS_I of the string literal constructor", CCode().ConsI(s.str_lit, 0), 8,
       err::kInvalidIndex, 0},
      {"DBG_CALL with the wrong stack change", CCode(one).DbgCall(s.int_destr, 0), 8,
       err::kInvalidIndex, 7},
      {"PUSH_A past the stack", CCode().PushA(9), 8, err::kInvalidStoff, 0},
      {"CONS_A past the stack", CCode().ConsA(s.int_addr, 9), 8, err::kInvalidStoff, 0},
      {"CONS_A of the last three bytes", CCode().ConsA(s.int_addr, 6), 8, err::kInvalidStoff, 0},
      {"a negative CONS_A offset", CCode().ConsA(s.int_addr, 0xFFFFFFFF), 8,
       err::kInvalidStoff, 0},
      {"pushing past the stack size", CCode(one).ConsI(s.int_lit, 2), 4, err::kStackLimits, 7},
      {"popping below the bottom", CCode().Call(s.int_destr), 8, err::kStackLimits, 0},
      // Outside the code, ip has no offset; it reads as the code end.
      {"a jump before the code", CCode().Jump(-16), 8, err::kCodeLimits, 5},
      {"a jump past the code end", CCode().Jump(1), 8, err::kCodeLimits, 5},
      {"an instruction cut by the code end", CCode().Null().Raw({15, 0, 0}), 8,
       err::kCodeLimits, 1},
      {"a string without its NUL", CCode().Raw({17}).U16(s.str_lit).Raw({'a', 'b'}), 8,
       err::kCodeLimits, 0},
      {"an address that leads nowhere",
       CCode().ConsI(s.int_lit, 0).ConsI(s.int_lit, 1).Call(s.int_assign), 16,
       err::kInvalidStoff, 14},
  };
  for (const SErrorCase& c : cases) {
    const std::vector<uint8_t> block = Block(c.code, c.stack_size);
    CScriptContext context(m_machine, block.data(), block.size());
    context.Run();
    EXPECT_TRUE(context.Failed()) << c.name;
    EXPECT_EQ(ErrName(context.Error()), std::string(ErrName(c.error))) << c.name;
    EXPECT_EQ(context.Ip(), c.ip) << c.name;
  }
}

TEST_F(ContextTest, ACopyMayOverlapTheBytesItCopies) {
  // CONS_B true leaves sp at 1; the pstr copy of offset 0 writes 256 bytes
  // at 1, over its own source.
  const SLibrarySlots s = Slots();
  const std::vector<uint8_t> block =
      Block(CCode().ConsB(s.bool_lit, true).ConsA(s.pstr_addr, 0).End(), 260);
  CScriptContext context(m_machine, block.data(), block.size());
  EXPECT_EQ(context.Run(), 3u);
  EXPECT_TRUE(context.Finished());
  EXPECT_EQ(context.Bottom()[1], 1);
}

TEST_F(ContextTest, MalformedHeadersFailBeforeRunning) {
  CCode code;
  code.End();
  std::vector<uint8_t> block = Block(code, 8);
  PutLe32(&block[kHeaderCodeSizeOffset], 2);  // one byte more than there is
  CScriptContext too_long(m_machine, block.data(), block.size());
  EXPECT_EQ(too_long.Error(), err::kCodeLimits);
  EXPECT_EQ(too_long.Run(), 0u);

  CScriptContext too_short(m_machine, block.data(), kBlockHeaderSize - 1);
  EXPECT_EQ(too_short.Error(), err::kCodeLimits);

  std::vector<uint8_t> huge = Block(code, CScriptAddressSpace::kMaxRegionSize + 1);
  CScriptContext huge_stack(m_machine, huge.data(), huge.size());
  EXPECT_EQ(huge_stack.Error(), err::kStackLimits);

  // A variable table of 23 records is more than a block may carry.
  std::vector<uint8_t> table = RawBlock(std::vector<uint8_t>(140, 0), 0);
  table[1] = 1;
  PutLe16(&table[kBlockHeaderSize + 128], 23);
  CScriptContext bad_table(m_machine, table.data(), table.size());
  EXPECT_EQ(bad_table.Error(), err::kCodeLimits);
}

TEST_F(ContextTest, AJumpIntoAnInstructionRunsTheBytesFoundThere) {
  // CONS_I's value bytes 1B 17 00 00 read as NULL_INSTR, END.
  CCode code;
  code.Jump(3).ConsI(Slots().int_lit, 0x171B);
  const std::vector<uint8_t> block = Block(code, 8);
  CScriptContext context(m_machine, block.data(), block.size());
  EXPECT_EQ(context.Run(), 3u);  // JUMP, NULL_INSTR, END
  EXPECT_TRUE(context.Finished());
  EXPECT_EQ(context.Sp(), context.Bottom());
}

// i = 0; while (i < n) do i = i + 1; in the compiler's shapes:
//   0 SRC_LINE 1; 5 CONS_I 0;
//   12 SRC_LINE 2; 17 CONS_A i; 24 CONS_I n; 31 CALL <; 34 JFALSE +37 -> 78;
//   41 SRC_LINE 3; 46 PUSH_A i; 51 NULL; 52 NULL; 53 CONS_A i; 60 CONS_I 1;
//   67 CALL +; 70 CALL =; 73 JUMP -61 -> 12;
//   78 CALL int destructor; 81 END.
CCode CountingLoop(const SLibrarySlots& s, int32_t n) {
  CCode code;
  code.Line(1).ConsI(s.int_lit, 0)
      .Line(2).ConsA(s.int_addr, 0).ConsI(s.int_lit, n).Call(s.int_less).JFalse(s.bool_true, 37)
      .Line(3).PushA(0).Null().Null().ConsA(s.int_addr, 0).ConsI(s.int_lit, 1)
      .Call(s.int_add).Call(s.int_assign).Jump(-61)
      .Call(s.int_destr).End();
  return code;
}

TEST_F(ContextTest, FusedStatementsCountAndStopLikeSingleInstructions) {
  // Per test 5 instructions, per pass 9 more; the loop runs n passes and a
  // last test, then the destructor and END: 2 + 14 n + 5 + 2.
  const CCode code = CountingLoop(Slots(), 3);
  const std::vector<uint8_t> block = Block(code, 16);
  CScriptContext whole(m_machine, block.data(), block.size());
  EXPECT_EQ(whole.Run(), 2u + 14 * 3 + 5 + 2);
  EXPECT_TRUE(whole.Finished());
  EXPECT_EQ(StackInt(whole, 0), 3);

  for (uint64_t slice : {1, 2, 3, 5, 7}) {
    CScriptContext sliced(m_machine, block.data(), block.size());
    uint64_t total = 0;
    while (!sliced.Finished() && !sliced.Failed()) total += sliced.Run(slice);
    EXPECT_EQ(total, 2u + 14 * 3 + 5 + 2) << slice;
    EXPECT_EQ(StackInt(sliced, 0), 3) << slice;
  }

  CScriptContext stepping(m_machine, block.data(), block.size());
  stepping.SetLineStepping(true);
  std::vector<uint32_t> lines;
  while (!stepping.Finished()) {
    stepping.Run();
    lines.push_back(stepping.Line());
  }
  EXPECT_EQ(lines, (std::vector<uint32_t>{1, 2, 3, 2, 3, 2, 3, 2, 2}));
}

TEST_F(ContextTest, AFusedStatementWithoutStackRoomFailsWhereTheSingleStepsWould) {
  // The assignment needs 12 bytes above the variable, 14 leave 10: its
  // CONS_I 1 is the first to pass the top.
  const std::vector<uint8_t> block = Block(CountingLoop(Slots(), 3), 14);
  CScriptContext context(m_machine, block.data(), block.size());
  context.Run();
  EXPECT_EQ(context.Error(), err::kStackLimits);
  EXPECT_EQ(context.Ip(), 60u);
}

int32_t g_counter = 0;

TEST_F(ContextTest, GlobalsAreReachedThroughTheirMappedAddress) {
  CScriptMachine machine;
  const auto module = [](CScriptMachine* m) -> uint32_t {
    m->RegisterGlobal("gCounter", &g_counter, 1);
    return 0;
  };
  const SRegistrationModule modules[] = {{module, 500}};
  ASSERT_EQ(machine.Init(modules), err::kOk);
  g_counter = 40;
  SRunOutcome outcome;
  EXPECT_EQ(CompileAndCall(machine, "gCounter = gCounter + 2;\n", "void", {}, &outcome), err::kOk);
  EXPECT_TRUE(outcome.finished);
  EXPECT_EQ(g_counter, 42);
  machine.Shutdown();
}

// A module whose function runs the block in g_nested again.
std::vector<uint8_t> g_nested;
CScriptMachine* g_nesting_machine = nullptr;
uint32_t g_deepest = 0;

uint8_t* Nest(uint8_t* sp) {
  g_deepest = std::max(g_deepest, g_nesting_machine->Calls().nesting);
  CallBlock(*g_nesting_machine, g_nested.data(), g_nested.size(), {});
  return sp;
}

TEST_F(ContextTest, RunsNestThroughNativesAndAreBounded) {
  CScriptMachine machine;
  static const SRow kRows[] = {rows::Fn("Nest", "void", Nest)};
  ASSERT_EQ(StartWith(&machine, kRows), err::kOk);
  SCodeBlock block;
  ASSERT_TRUE(machine.CompileText("Nest();\n", "void", &block));
  g_nested.assign(block.data, block.data + block.size);
  g_nesting_machine = &machine;
  SRunOutcome outcome;
  EXPECT_EQ(CallBlock(machine, block.data, block.size, {}, &outcome), err::kOk);
  EXPECT_TRUE(outcome.finished);
  EXPECT_EQ(g_deepest, CScriptContext::kMaxNesting);
  EXPECT_EQ(CScriptRun::Current(), nullptr);
  EXPECT_EQ(machine.Calls().nesting, 0u);
  machine.Shutdown();
}

// A suspended call and arguments that miss the signature: library_test.
TEST_F(ContextTest, BadSignaturesAndScriptsAreRefusedBeforeRunning) {
  int32_t result = 5;
  const SCallArg args[] = {SCallArg::Ref(&result)};
  EXPECT_EQ(CompileAndCall(m_machine, "return 1;\n", "int, nosuch", args), err::kBadParamString);
  EXPECT_EQ(CompileAndCall(m_machine, "return x;\n", "int", args), err::kSyntax);
  EXPECT_EQ(result, 5);
}

// A handler may assign to a str value parameter passed TextInOut: the value
// it holds at the end comes back, and a text untouched comes back the same.
// No string leaks.
TEST_F(ContextTest, AnInOutTextComesBackAsTheHandlerLeftItsParameter) {
  const auto call = [&](const char* text, const char* start) {
    char name[8] = {};
    std::strncpy(name, start, sizeof name - 1);
    const SCallArg args[] = {SCallArg::Int(1), SCallArg::TextInOut(name, sizeof name)};
    EXPECT_EQ(CompileAndCall(m_machine, text, "void, int n, str name", args), err::kOk)
        << m_machine.ErrorLog();
    return std::string(name);
  };
  EXPECT_EQ(call(";\n", "Door"), "Door");
  EXPECT_EQ(call("name = \"\";\n", "Door"), "");
  EXPECT_EQ(call("if n == 1 then { name = \"Chest\"; return; }\nname = \"x\";\n", "Door"), "Chest");
  // Cut to the buffer.
  EXPECT_EQ(call("{ str other = \"Cupboard\"; name = other; }\n", "Door"), "Cupboar");
}

// The hook passes "thing" values (id 12, 4 bytes): by value it pushes the
// argument's first word; by address it copies the caller's int through the
// temporary area and back.
bool PassThing(uint16_t type, uint8_t** sp, CTempCursor* temp, const SCallArg** args) {
  const SCallArg& arg = *(*args)++;
  ScriptAddr address = 0;
  uint8_t* slot = IsAddress(type) ? temp->Take(4, &address) : nullptr;
  if (!sp) {
    if (slot) std::memcpy(arg.pointer, slot, 4);
    return true;
  }
  if (slot) {
    std::memcpy(slot, arg.pointer, 4);
    Push(*sp, address);
  } else {
    std::memcpy(*sp, arg.value, 4);
    *sp += 4;
  }
  return true;
}

uint8_t* ThingToInt(uint8_t* sp) { return sp; }

TEST_F(ContextTest, TheMarshalHookPassesTypesTheLibraryDoesNotKnow) {
  CScriptMachine machine;
  static const SRow kRows[] = {
      rows::Type("thing", 12, 4), rows::Entry(ERow::kAddrCons, 12, lib::IntCopy),
      rows::Entry(ERow::kDestructor, 12, lib::IntDestroy), rows::Cast(12, 1, 10, ThingToInt),
      rows::Fn("=", "void, thing*, int", lib::IntAssign)};
  ASSERT_EQ(StartWith(&machine, kRows), err::kOk);
  int32_t result = 0;
  int32_t out = 4;
  const SCallArg args[] = {SCallArg::Ref(&result), SCallArg::Int(30), SCallArg::Ref(&out)};
  const char* kSig = "int, thing t, int* n";
  machine.Calls().hook = PassThing;
  SRunOutcome outcome;
  EXPECT_EQ(CompileAndCall(machine, "n = n * 2; return t + 1;\n", kSig, args, &outcome), err::kOk);
  EXPECT_EQ(outcome.error, err::kOk);
  EXPECT_EQ(result, 31);
  EXPECT_EQ(out, 8);

  const SCallArg thing_out[] = {SCallArg::Ref(&out)};
  EXPECT_EQ(CompileAndCall(machine, "t = 9;\n", "void, thing* t", thing_out, &outcome), err::kOk);
  EXPECT_EQ(out, 9);

  // Without the hook nothing runs.
  machine.Calls().hook = nullptr;
  result = 0;
  EXPECT_EQ(CompileAndCall(machine, "return t;\n", kSig, args, &outcome), err::kOk);
  EXPECT_EQ(outcome.steps, 0u);
  EXPECT_EQ(result, 0);
  machine.Shutdown();
}

std::string g_seen;

uint8_t* Fail(uint8_t* sp) {
  g_seen = RunningMachine().Calls().current.handler;
  ScriptDiagnostic("bad %d", 7);
  return sp;
}

class CLogText : public CLogSink {
 public:
  void Write(std::string_view text) override { g_log += text; }
  static inline std::string g_log;
};

TEST_F(ContextTest, TheHandlerCallCompilesOnDemandOnlyInToolMode) {
  CScriptMachine machine;
  static const SRow kRows[] = {rows::Fn("Fail", "void", Fail)};
  ASSERT_EQ(StartWith(&machine, kRows), err::kOk);
  SetLogSink(std::make_unique<CLogText>());
  CLogText::g_log.clear();
  CFakeOwner door({"OnOpen", "OnNothing", "OnBad"}, {"Write(x); Fail();\n", "", "x = ;\n"});
  const SCallArg args[] = {SCallArg::Int(3)};
  const char* kSig = "void, int x";

  machine.Calls().tool_mode = false;
  EXPECT_EQ(CallHandler(machine, door, "OnOpen", kSig, args), err::kNotFound);
  machine.Calls().tool_mode = true;
  EXPECT_EQ(CallHandler(machine, door, "OnClose", kSig, args), err::kNotFound);
  EXPECT_EQ(CallHandler(machine, door, "OnNothing", kSig, args), err::kUnknownError);
  EXPECT_EQ(CallHandler(machine, door, "OnBad", kSig, args), err::kSyntax);
  EXPECT_EQ(CallHandler(machine, door, "OnOpen", "void, nosuch", args), err::kBadParamString);
  EXPECT_EQ(CallHandler(machine, door, "OnOpen", kSig, args), err::kOk);
  EXPECT_EQ(door.m_stored, 1);
  EXPECT_EQ(g_seen, "OnOpen");
  EXPECT_EQ(machine.Calls().current.handler, nullptr);
  EXPECT_EQ(CLogText::g_log, "3door::OnOpen(1): Fail: bad 7\n");

  // A stored block runs without compiling, even outside the tool.
  machine.Calls().tool_mode = false;
  EXPECT_EQ(CallHandler(machine, door, "OnOpen", kSig, args), err::kOk);
  EXPECT_EQ(door.m_stored, 1);
  // A block that no longer loads is forgotten and compiled again.
  machine.Calls().tool_mode = true;
  door.m_blocks[0].clear();
  EXPECT_EQ(CallHandler(machine, door, "OnOpen", kSig, args), err::kOk);
  EXPECT_EQ(door.m_forgotten, 1);
  EXPECT_EQ(door.m_stored, 2);
  SetLogSink(nullptr);
  machine.Shutdown();
}

}  // namespace
