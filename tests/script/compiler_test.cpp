// The compiler, against the engine's library tables: compiled bytes worked
// out by hand from the instruction layout, and every diagnostic.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/bytecode.h"
#include "script/compiler.h"
#include "script/script_machine.h"
#include "script/tokenizer.h"
#include "code_builder.h"
#include "library_slots.h"

namespace {

// Registrations of a test module, from the world module's base slot.
enum : uint16_t {
  kCellAddr = kWorldModuleBase, kCellDestr, kGlobalSlot, kIncrement, kBang,
  kPickValue = kWorldModuleBase + 7, kPickAddress, kMakeCell, kCellAssign,
  kConvInt = kWorldModuleBase + 13, kConvFloat, kRefAddress, kRefBool,
};

int g_global = 0;
void Native() {}

uint32_t TestModule(CScriptMachine* machine) {
  const uint16_t int_address[] = {1 | kAddrFlag};
  const uint16_t one_int[] = {1};
  const uint16_t cells[] = {12 | kAddrFlag, 12 | kAddrFlag};
  machine->RegisterType("cell", 12, 4);
  machine->SetAddrConstructor(12, Native);
  machine->SetDestructor(12, Native);
  machine->RegisterGlobal("gInt", &g_global, 1);
  machine->RegisterOperator("++", 1, EOpKind::kPostfix, EAssoc::kLeft);
  machine->RegisterOperator("!", 1, EOpKind::kPrefix, EAssoc::kLeft);
  machine->RegisterFunction(Native, "++", 0, 1, int_address);
  machine->RegisterFunction(Native, "!", 0, 1, int_address);
  machine->RegisterFunction(Native, "amb", 0, 1, one_int);
  machine->RegisterFunction(Native, "amb", 0, 1, one_int);
  machine->RegisterFunction(Native, "pick", 0, 1, one_int);
  machine->RegisterFunction(Native, "pick", 0, 1, int_address);
  machine->RegisterFunction(Native, "mk", 12, 0, nullptr);
  machine->RegisterFunction(Native, "=", 0, 2, cells);
  machine->RegisterFunction(Native, "two", 0, 1, int_address);
  machine->RegisterFunction(Native, "two", 0, 1, int_address);
  machine->RegisterFunction(Native, "conv", 1, 0, nullptr);
  machine->RegisterFunction(Native, "conv", 3, 0, nullptr);
  machine->RegisterFunction(Native, "ref", 1 | kAddrFlag, 0, nullptr);
  machine->RegisterFunction(Native, "ref", 7, 0, nullptr);
  const uint16_t float_at[] = {3 | kAddrFlag, 1};
  machine->RegisterFunction(Native, "at", 3 | kAddrFlag, 2, float_at);
  return 0;
}

struct SCodeCase {
  const char* name;
  const char* signature;
  std::string text;
  CCode code;
  uint32_t stack_size;
  const char* log;
};

struct SErrorCase {
  const char* signature;
  std::string text;
  std::string log;
  bool extended = false;
};

class CompilerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_library = new CScriptMachine;
    ASSERT_EQ(s_library->Init({}), err::kOk);
    s_extended = new CScriptMachine;
    const SRegistrationModule modules[] = {{TestModule, kWorldModuleBase}};
    ASSERT_EQ(s_extended->Init(modules), err::kOk);
    s_slot = new SLibrarySlots(*s_library->Compiler());
  }
  static void TearDownTestSuite() {
    delete s_library;
    delete s_extended;
    delete s_slot;
  }

  // Compiles `text`; answers whether it worked, the block and the log.
  bool Compile(const char* signature, const std::string& text, bool extended = false) {
    CScriptCompiler* tables = (extended ? s_extended : s_library)->Compiler();
    SParamInfo params;
    EXPECT_TRUE(ParseSignature(*tables, signature, true, &params)) << signature;
    CTokenizer tokenizer(text.c_str());
    m_log.clear();
    m_block.Reset(nullptr, 0);
    return tables->Compile(&tokenizer, params, &m_log, &m_block);
  }
  std::vector<uint8_t> CodeBytes() const {
    return {m_block.data + kBlockHeaderSize, m_block.data + m_block.size};
  }
  uint32_t StackSize() const { return GetLe32(m_block.data + kHeaderStackSizeOffset); }
  template <size_t N>
  void ExpectCode(const SCodeCase (&cases)[N], bool extended) {
    for (const SCodeCase& c : cases) {
      SCOPED_TRACE(c.name);
      ASSERT_TRUE(Compile(c.signature, c.text, extended)) << m_log;
      EXPECT_EQ(CodeBytes(), c.code.Bytes());
      EXPECT_EQ(StackSize(), c.stack_size);
      EXPECT_EQ(m_log, c.log);
    }
  }
  // Failed compilations leave no block.
  template <size_t N>
  void ExpectErrors(const SErrorCase (&cases)[N]) {
    for (const SErrorCase& c : cases) {
      SCOPED_TRACE(c.text);
      EXPECT_FALSE(Compile(c.signature, c.text, c.extended));
      EXPECT_EQ(m_log, c.log);
      EXPECT_EQ(m_block.data, nullptr);
    }
  }

  static CScriptMachine* s_library;
  static CScriptMachine* s_extended;
  static SLibrarySlots* s_slot;
  SCodeBlock m_block;
  std::string m_log;
};

CScriptMachine* CompilerTest::s_library = nullptr;
CScriptMachine* CompilerTest::s_extended = nullptr;
SLibrarySlots* CompilerTest::s_slot = nullptr;

TEST_F(CompilerTest, ALoneComparisonIsTheResultOfABooleanScript) {
  ASSERT_TRUE(Compile("bool, int x", "x > 5")) << m_log;
  const uint8_t header[kBlockHeaderSize] = {
      0xFF, 0, 8, 0, 0, 0, 20, 0, 0, 0, 39, 0, 0, 0, 0x07, 0x01, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0,    0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,    0,    0, 0, 0, 0, 0, 0, 1, 0};
  ASSERT_EQ(m_block.size, kBlockHeaderSize + 39);
  EXPECT_EQ(std::vector<uint8_t>(m_block.data, m_block.data + kBlockHeaderSize),
            std::vector<uint8_t>(header, header + kBlockHeaderSize));
  const CCode code = CCode()
                         .Line(1)
                         .ConsA(s_slot->addr_cons, 0)
                         .ConsA(s_slot->int_addr, 4)
                         .ConsI(s_slot->int_lit, 5)
                         .Call(s_slot->int_greater)
                         .Call(s_slot->bool_assign)
                         .Call(s_slot->int_destr)
                         .Call(s_slot->addr_destr)
                         .End();
  EXPECT_EQ(CodeBytes(), code.Bytes());
  EXPECT_EQ(m_log, "");
  // The same inside braces.
  ASSERT_TRUE(Compile("bool, int x", "{ x > 5 }")) << m_log;
  EXPECT_EQ(CodeBytes(), code.Bytes());
}

TEST_F(CompilerTest, StatementsCompileToTheirInstructions) {
  const SCodeCase cases[] = {
      {"declarations and a rewritten read", "void", "int a = 1, b;\na = 2;",
       CCode().Line(1).ConsI(s_slot->int_lit, 1).ConsV(s_slot->int_void)
           .Line(2).PushA(0).Null().Null().ConsI(s_slot->int_lit, 2).Call(s_slot->int_assign)
           .Call(s_slot->int_destr).Call(s_slot->int_destr),
       16, ""},
      {"if with else", "void, bool c", "if c then rand(); else DumpStack();",
       CCode().Line(1).ConsA(s_slot->bool_addr, 0).JFalse(s_slot->bool_true, 16)
           .Line(1).Call(s_slot->rand).Call(s_slot->int_destr).Jump(8)
           .Line(1).Call(s_slot->dump_stack).Call(s_slot->bool_destr),
       5, "(1, 17): Warning: Returned value not used - removed from stack\r\n"},
      {"break destroys the block's locals", "void", "int i;\nwhile i < 3 do {\n int k;\n break;\n}",
       CCode().Line(1).ConsV(s_slot->int_void)
           .Line(2).ConsA(s_slot->int_addr, 0).ConsI(s_slot->int_lit, 3).Call(s_slot->int_less).JFalse(s_slot->bool_true, 24)
           .Line(3).ConsV(s_slot->int_void).Call(s_slot->int_destr).Jump(8).Call(s_slot->int_destr).Jump(-43)
           .Call(s_slot->int_destr),
       12, ""},
      {"continue jumps back from its own start", "void", "while true do continue;",
       CCode().Line(1).ConsB(s_slot->bool_lit, true).JFalse(s_slot->bool_true, 10).Jump(-11).Jump(-16),
       1, ""},
      {"dereference and cast", "void, int* p", "Write(p); Write(true);",
       CCode().Line(1).ConsA(s_slot->addr_cons, 0).ConsD(s_slot->int_addr).Call(s_slot->write_int)
           .Line(1).ConsB(s_slot->bool_lit, true).Call(s_slot->cast_bool_int).Call(s_slot->write_int)
           .Call(s_slot->addr_destr),
       8, ""},
      {"a float initialised from an integer", "void", "float f = 2;",
       CCode().Line(1).ConsI(s_slot->int_lit, 2).Call(s_slot->cast_int_float).Call(s_slot->float_destr), 8, ""},
      {"return through the result address", "int", "return 7;",
       CCode().Line(1).ConsA(s_slot->addr_cons, 0).ConsI(s_slot->int_lit, 7).Call(s_slot->int_assign)
           .Call(s_slot->addr_destr).End(),
       12, ""},
      {"code after return is skipped", "void", "return; rand();",
       CCode().Line(1).End(), 0, "(1, 9): Code after return operator - skipped.\r\n"},
      {"multiplication binds tighter than addition", "void, int a, int b", "a = b * 2 + 1;",
       CCode().Line(1).PushA(0).Null().Null().ConsA(s_slot->int_addr, 4).ConsI(s_slot->int_lit, 2)
           .Call(s_slot->int_mul).ConsI(s_slot->int_lit, 1).Call(s_slot->int_add).Call(s_slot->int_assign)
           .Call(s_slot->int_destr).Call(s_slot->int_destr),
       20, ""},
      {"subtraction is left associative", "void, int a, int b", "a = a - b - 1;",
       CCode().Line(1).PushA(0).Null().Null().ConsA(s_slot->int_addr, 0).ConsA(s_slot->int_addr, 4)
           .Call(s_slot->int_sub).ConsI(s_slot->int_lit, 1).Call(s_slot->int_sub).Call(s_slot->int_assign)
           .Call(s_slot->int_destr).Call(s_slot->int_destr),
       20, ""},
      {"a prefix binds before the infix of its level", "void, int a, int b", "a = -b * 2;",
       CCode().Line(1).PushA(0).Null().Null().ConsA(s_slot->int_addr, 4).Call(s_slot->int_neg)
           .ConsI(s_slot->int_lit, 2).Call(s_slot->int_mul).Call(s_slot->int_assign).Call(s_slot->int_destr).Call(s_slot->int_destr),
       20, ""},
      {"NOT before and, and before or", "void, bool c", "c = NOT c && c || c;",
       CCode().Line(1).PushA(0).Null().Null().ConsA(s_slot->bool_addr, 0).Call(s_slot->bool_not)
           .ConsA(s_slot->bool_addr, 0).Call(s_slot->bool_and).ConsA(s_slot->bool_addr, 0).Call(s_slot->bool_or).Call(s_slot->bool_assign)
           .Call(s_slot->bool_destr),
       10, ""},
      {"an index is a call of its opening symbol", "void, int a", "a = a[2];",
       CCode().Line(1).PushA(0).Null().Null().ConsA(s_slot->int_addr, 0).ConsI(s_slot->int_lit, 2)
           .Call(s_slot->int_index).Call(s_slot->int_assign).Call(s_slot->int_destr),
       16, ""},
      {"parentheses", "void, int a", "a = (a + 1) * 2;",
       CCode().Line(1).PushA(0).Null().Null().ConsA(s_slot->int_addr, 0).ConsI(s_slot->int_lit, 1)
           .Call(s_slot->int_add).ConsI(s_slot->int_lit, 2).Call(s_slot->int_mul).Call(s_slot->int_assign).Call(s_slot->int_destr),
       16, ""},
      {"a string literal is cut to 252 characters", "void",
       "Write(\"" + std::string(300, 'q') + "\");",
       CCode().Line(1).ConsS(s_slot->str_lit, std::string(252, 'q')).Call(s_slot->write_str), 4, ""},
      {"a float literal", "void, float f", "f = 1.5;",
       CCode().Line(1).PushA(0).Null().Null().ConsF(s_slot->float_lit, 1.5).Call(s_slot->float_assign)
           .Call(s_slot->float_destr),
       20, ""},
      {"a string variable", "void, str s", "s = \"hi\";",
       CCode().Line(1).PushA(0).Null().Null().ConsS(s_slot->str_lit, "hi").Call(s_slot->str_assign)
           .Call(s_slot->str_destr),
       12, ""},
      {"a block ending in return keeps its locals", "int", "{ int a = 1; return a; rand(); }",
       CCode().Line(1).ConsI(s_slot->int_lit, 1).Line(1).ConsA(s_slot->addr_cons, 0).ConsA(s_slot->int_addr, 4)
           .Call(s_slot->int_assign).Call(s_slot->int_destr).Call(s_slot->addr_destr).End(),
       16, "(1, 24): Code after return operator - skipped.\r\n"},
      {"a local hides a function of its name", "void", "int rand; rand = 1;",
       CCode().Line(1).ConsV(s_slot->int_void).Line(1).PushA(0).Null().Null().ConsI(s_slot->int_lit, 1)
           .Call(s_slot->int_assign).Call(s_slot->int_destr),
       12, ""},
      {"statements after the opening block", "void", "{ int a; } rand();",
       CCode().Line(1).ConsV(s_slot->int_void).Call(s_slot->int_destr).Line(1).Call(s_slot->rand).Call(s_slot->int_destr), 4,
       "(1, 18): Warning: Returned value not used - removed from stack\r\n"},
      {"an unused pointer", "void, int* p", "p;",
       CCode().Line(1).ConsA(s_slot->addr_cons, 0).Call(s_slot->addr_destr).Call(s_slot->addr_destr), 8,
       "(1, 2): Warning: Returned pointer not used - removed from stack.\r\n"},
  };
  ExpectCode(cases, false);
}

TEST_F(CompilerTest, TestModuleForms) {
  const SCodeCase cases[] = {
      {"a global is read and assigned", "void", "gInt = gInt;",
       CCode().Line(1).PushE(kGlobalSlot).Null().Null().ConsE(s_slot->int_addr, kGlobalSlot)
           .Call(s_slot->int_assign),
       8, ""},
      {"cost 0 wins over cost 10 listed later", "void, int x", "pick(x);",
       CCode().Line(1).ConsA(s_slot->int_addr, 0).Call(kPickValue).Call(s_slot->int_destr), 8, ""},
      {"a postfix operator takes the variable's address", "void, int x", "x++;",
       CCode().Line(1).PushA(0).Null().Null().Call(kIncrement).Call(s_slot->int_destr), 8, ""},
      {"a prefix operator takes the variable's address", "void, int x", "!x;",
       CCode().Line(1).PushA(0).Null().Null().Call(kBang).Call(s_slot->int_destr), 8, ""},
  };
  ExpectCode(cases, true);
}

// An inserted conversion changes the depth where it runs: a cast or a
// dereference at the end of its argument's code, after the argument's
// deepest point; taking the address replaces a variable read by a 4-byte
// push ("f = 1.5" above: 8 + 4 + 8). Depths worked out from the parameter
// area up.
TEST_F(CompilerTest, InsertedConversionsCountWhereTheyRun) {
  struct SCase {
    const char* signature;
    const char* text;
    uint32_t stack_size;
  };
  const SCase cases[] = {
      // 8 + a, b = 16; <> leaves a bool: 9; the cast to int: 12; Write: 8.
      {"void, int a, int b", "Write(a<>b);", 16},
      // 12 + p, a, b = 24; + gives 20, at() an address: 16; CONS_D: 20.
      {"void, float* p, int a, int b", "Write(at(p, a + b));", 24},
      // 512 + the address of s (4) + t (256) = 772.
      {"void, pstr s, pstr t", "s = t;", 772},
      // 4 + f = 12; return: the address 16, f 24, 2 28, its cast to float 32.
      {"float", "float f;\nf = 3;\nreturn f / 2;", 32},
      // 12 + a cast to float (8) = 20; + g = 28.
      {"void, int a, float g", "Write(a + g);", 28},
  };
  for (const SCase& c : cases) {
    ASSERT_TRUE(Compile(c.signature, c.text, true)) << c.text << m_log;
    EXPECT_EQ(StackSize(), c.stack_size) << c.text;
  }
}

// The return value's outermost call is resolved for the script's result
// type: the result's cast or dereference counts in the cost and follows the
// CALL, and a void result rejects the candidate.
TEST_F(CompilerTest, ReturnValuesResolveForTheResultType) {
  const SCodeCase cases[] = {
      {"float result: cost 0 beats the int overload's cast at 30", "float", "return conv();",
       CCode().Line(1).ConsA(s_slot->addr_cons, 0).Call(kConvFloat).Call(s_slot->float_assign)
           .Call(s_slot->addr_destr).End(),
       16, ""},
      {"int result: the float overload has no cast to int", "int", "return conv();",
       CCode().Line(1).ConsA(s_slot->addr_cons, 0).Call(kConvInt).Call(s_slot->int_assign).Call(s_slot->addr_destr)
           .End(),
       12, ""},
      {"dereference at 10 beats the bool cast at 15", "int", "return ref();",
       CCode().Line(1).ConsA(s_slot->addr_cons, 0).Call(kRefAddress).ConsD(s_slot->int_addr).Call(s_slot->int_assign)
           .Call(s_slot->addr_destr).End(),
       12, ""},
      {"an address of another type rejects", "bool", "return ref();",
       CCode().Line(1).ConsA(s_slot->addr_cons, 0).Call(kRefBool).Call(s_slot->bool_assign).Call(s_slot->addr_destr)
           .End(),
       9, ""},
      {"the outermost operator gets the cast", "float", "return 2 + 3;",
       CCode().Line(1).ConsA(s_slot->addr_cons, 0).ConsI(s_slot->int_lit, 2).ConsI(s_slot->int_lit, 3).Call(s_slot->int_add)
           .Call(s_slot->cast_int_float).Call(s_slot->float_assign).Call(s_slot->addr_destr).End(),
       16, ""},
      {"a lone literal is cast", "float", "return 2;",
       CCode().Line(1).ConsA(s_slot->addr_cons, 0).ConsI(s_slot->int_lit, 2).Call(s_slot->cast_int_float)
           .Call(s_slot->float_assign).Call(s_slot->addr_destr).End(),
       16, ""},
      {"brackets pass the wanted type to the call", "float", "return ((conv()));",
       CCode().Line(1).ConsA(s_slot->addr_cons, 0).Call(kConvFloat).Call(s_slot->float_assign)
           .Call(s_slot->addr_destr).End(),
       16, ""},
      {"a bracketed literal is cast", "float", "return (2);",
       CCode().Line(1).ConsA(s_slot->addr_cons, 0).ConsI(s_slot->int_lit, 2).Call(s_slot->cast_int_float)
           .Call(s_slot->float_assign).Call(s_slot->addr_destr).End(),
       16, ""},
      {"a bracket an operator takes keeps its type", "float", "return (2) + (3);",
       CCode().Line(1).ConsA(s_slot->addr_cons, 0).ConsI(s_slot->int_lit, 2).ConsI(s_slot->int_lit, 3).Call(s_slot->int_add)
           .Call(s_slot->cast_int_float).Call(s_slot->float_assign).Call(s_slot->addr_destr).End(),
       16, ""},
      {"the last index operator gets the cast", "float", "return 1[2];",
       CCode().Line(1).ConsA(s_slot->addr_cons, 0).ConsI(s_slot->int_lit, 1).ConsI(s_slot->int_lit, 2).Call(s_slot->int_index)
           .Call(s_slot->cast_int_float).Call(s_slot->float_assign).Call(s_slot->addr_destr).End(),
       16, ""},
  };
  ExpectCode(cases, true);
  const SErrorCase errors[] = {
      {"int", "return DumpStack();", "(1, 19): No matching function with name DumpStack\r\n"},
      {"int", "return (DumpStack());", "(1, 21): No matching function with name DumpStack\r\n"},
      // The operator after the bracket takes the call's value.
      {"int", "return (conv()) + 1;",
       "(1, 17): Can not resolve function call for conv\r\n"
       "(1, 17): No matching function with name conv\r\n",
       true},
      {"float", "return ref();", "(1, 13): No matching function with name ref\r\n", true},
      // A literal where the function needs an address.
      {"void", "StrCat(\"a\", \"b\");", "(1, 16): No matching function with name StrCat\r\n"},
      // Outside a return both conv overloads cost 0.
      {"void", "conv();",
       "(1, 6): Can not resolve function call for conv\r\n"
       "(1, 6): No matching function with name conv\r\n",
       true},
      // A prefix operator takes the call's value: the call gets no wanted type.
      {"int", "return -conv();",
       "(1, 14): Can not resolve function call for conv\r\n"
       "(1, 14): No matching function with name conv\r\n",
       true},
  };
  ExpectErrors(errors);
}

TEST_F(CompilerTest, WhileLoopsNestEightDeep) {
  std::string eight;
  for (int i = 0; i < 8; ++i) eight += "while 1 do ";
  EXPECT_TRUE(Compile("void", eight + ";")) << m_log;
  EXPECT_FALSE(Compile("void", eight + "while 1 do ;"));
  EXPECT_EQ(m_log, "(1, 89): Too much nested loops\r\n");
}

TEST_F(CompilerTest, EveryDiagnosticWithItsPosition) {
  const std::string long_name(32, 'n');
  const SErrorCase cases[] = {
      {"void", "int 5;", "(1, 5): Identifier expected\r\n"},
      {"void", "int " + long_name + ";", "(1, 5): Too long variable name: " + long_name + "\r\n"},
      {"void", "int a; int a;", "(1, 12): Variable already declared: a\r\n"},
      {"void, int a", "int a;", "(1, 5): Variable already declared: a\r\n"},
      {"void", "int a = 1.5;", "(1, 9): Type int can not be constructed with this constant\r\n"},
      {"void", "int a = b;", "(1, 9): Constant expected after a=\r\n"},
      {"void", "cell c;", "(1, 7): Variable of type cell hasn't void constructor.\r\n", true},
      {"void", "int a,", "(1, 7): Variable name expected after comma.\r\n"},
      {"void", "int a b", "(1, 7): Comma or semicolon expected.\r\n"},
      {"void", "int a", "(1, 6): Unexpected end of file.\r\n"},
      {"void", "}", "(1, 1): Closing } without correspond opening.\r\n"},
      {"int", "int a;", "(1, 7): Missing return value.\r\n"},
      {"int", "if true then return 1;", "(1, 23): Missing return value.\r\n"},
      {"void", "{ int a;", "(1, 9): Right bracket } expected.\r\n"},
      {"void", "if DumpStack() then ;", "(1, 16): Missing value or pointer in if-then-else.\r\n"},
      {"void, float f", "if f then ;", "(1, 6): float type can not be used in if-then-else\r\n"},
      {"void", "if 1 do ;", "(1, 6): then is expected after if expression\r\n"},
      {"void, int* p", "while p do ;", "(1, 9): Missing value or pointer in while-do.\r\n"},
      {"void, str s", "while s do ;", "(1, 9): str type can not be used in while-do\r\n"},
      {"void", "while 1 then ;", "(1, 9): do is expected after while expression\r\n"},
      {"void", "break;", "(1, 1): break and continue can't be used outside of loop body\r\n"},
      {"void", "while 1 do continue 1", "(1, 21): Semicolon is expected after break/continue\r\n"},
      {"void", "return 1;", "(1, 8): Unexpected return value.\r\n"},
      {"int", "return;", "(1, 7): No value in return statement.\r\n"},
      {"TPoint", "return 1;", "(1, 9): Can not copy return value\r\n"},
      {"cell", "return mk();", "(1, 12): Return expression must be address\r\n", true},
      {"void", "(1;", "(1, 3): Missing right bracket.\r\n"},
      {"void", long_name + ";", "(1, 1): Too long identifier: " + long_name + "\r\n"},
      {"void", ")", "(1, 1): Unexpected starting token for factor.\r\n"},
      {"void", "-DumpStack();", "(1, 13): Attempt to apply prefix operator - on missing value.\r\n"},
      {"void", "NOT 1;", "(1, 6): Prefix operator NOT can not be applied to type int\r\n"},
      {"void, int* p", "NOT p;",
       "(1, 6): Prefix operator NOT can not be applied to pointer to type int\r\n"},
      {"void", "!1;", "(1, 3): Prefix operator ! expect address\r\n", true},
      {"void", "DumpStack()++;",
       "(1, 14): Attempt to apply postfix operator ++ on missing value.\r\n", true},
      {"void, str s", "s++;", "(1, 4): Postfix operator ++ can not be applied to type str\r\n",
       true},
      {"void, str* s", "s++;",
       "(1, 4): Postfix operator ++ can not be applied to pointer to type str\r\n", true},
      {"void", "1++;", "(1, 4): Postfix operator ++ expects address\r\n", true},
      {"void", "1 +", "(1, 4): Operand expected after + operator\r\n"},
      {"void", "1 + DumpStack();", "(1, 16): Missing operand value for infix operator +.\r\n"},
      {"void", "1 + \"a\";", "(1, 8): Infix operator + can not be applied.\r\n"},
      {"void", "1 = 2;", "(1, 6): Operand 1 of = operator must be address\r\n"},
      {"void", "1 + ;", "(1, 5): Invalid operand after infix operator +\r\n"},
      {"void", "1[", "(1, 3): Operand expected after opening [ operator\r\n"},
      {"void", "1[DumpStack()];", "(1, 14): Missing operand value for index operator [.\r\n"},
      {"void", "1[2;", "(1, 4): Can't find closing symbol of [ operator.\r\n"},
      {"void", "1[\"a\"];", "(1, 6): Index operator [ can not be applied.\r\n"},
      {"void", "foo;", "(1, 4): Left bracket expected for possible function name foo\r\n"},
      {"void", "Write(DumpStack());", "(1, 18): Par 1 of function Write has no value.\r\n"},
      {"void", "rand(1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1);",
       "(1, 38): Too many parameters for function.\r\n"},
      {"void", "rand(1;", "(1, 7): Right bracket or comma expected\r\n"},
      {"void", "foo();", "(1, 5): No matching function with name foo\r\n"},
      {"void", "amb(1);",
       "(1, 6): Can not resolve function call for amb\r\n"
       "(1, 6): No matching function with name amb\r\n",
       true},
      {"void, int x", "two(x);",
       "(1, 6): Can not resolve function call for two\r\n"
       "(1, 6): No matching function with name two\r\n",
       true},
      {"void", "a @ b;", "(1, 3): The token generator returned an error code (84017157).\r\n"},
      {"void, int a, int a", "a;", "Params info incorrect.\n"},
      {"void", std::string(300, '(') + "1", "(1, 91): Nesting too deep.\r\n"},
  };
  ExpectErrors(cases);
}

TEST_F(CompilerTest, SignaturesWithAndWithoutNames) {
  const CScriptCompiler& tables = *s_library->Compiler();
  SParamInfo info;
  ASSERT_TRUE(ParseSignature(tables, "bool, int* x, int *y , str", true, &info));
  EXPECT_EQ(info.result, 7 | kAddrFlag);
  ASSERT_EQ(info.count, 3);
  EXPECT_EQ(info.params[0].type, 1 | kAddrFlag);
  EXPECT_STREQ(info.params[0].name, "x");
  EXPECT_EQ(info.params[1].type, 1 | kAddrFlag);
  EXPECT_STREQ(info.params[1].name, "y");
  EXPECT_EQ(info.params[2].type, 11);
  EXPECT_STREQ(info.params[2].name, "");
  ASSERT_TRUE(ParseSignature(tables, "int, int, int", false, &info));
  EXPECT_EQ(info.result, 1);
  for (const char* bad : {"", "void,", "nosuch", "void, int x y", "void int",
                          "void, int x,, int y", "void, int* *x"})
    EXPECT_FALSE(ParseSignature(tables, bad, true, &info)) << bad;
}

}  // namespace
