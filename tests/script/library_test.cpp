// The built-in library and the array and INI functions, exercised by
// scripts: each row is a script text and the result (and log) it must give.
// Every test also checks that no script string outlives it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/log.h"
#include "fs/file_service.h"
#include "script/array_functions.h"
#include "script/array_module.h"
#include "script/bytecode.h"
#include "script/code_dump.h"
#include "base/random.h"
#include "script/script_array.h"
#include "script/script_call.h"
#include "script/script_ini.h"
#include "script/script_machine.h"
#include "script/script_result.h"
#include "script/string_leak_check.h"
#include "script/fake_owner.h"
#include "script/library_slots.h"
#include "support/mem_fs.h"

namespace {

constexpr uint16_t kStrType = 11;

struct SCase {
  const char* type;  // the result type: "void", "int", ...
  const char* text;
  const char* expect;    // the result as SResult shows it
  const char* log = "";  // everything the log must receive
};

class LibraryTest : public CStrLeakTest {
 protected:
  void SetUp() override {
    CStrLeakTest::SetUp();
    ASSERT_EQ(m_machine.Init(kArrayModules), err::kOk);
    ASSERT_EQ(m_machine.RegisterGlobal("gs", &m_gs, kStrType), err::kOk);
    ASSERT_EQ(m_machine.RegisterGlobal("gt", &m_gt, kStrType), err::kOk);
    SetLogView(&m_log);
    EngineRandom().Seed(1);
  }
  void TearDown() override {
    SetLogView(nullptr);
    StrRelease(m_gs);
    StrRelease(m_gt);
    m_machine.Arrays().Clear();
    m_machine.Inis().Clear();
    CStrLeakTest::TearDown();
  }

  // Compiles and calls `text` with no script arrays or INI files loaded;
  // the run must end at the end of the script.
  void Run(const char* text, const char* signature, std::span<const SCallArg> args) {
    m_machine.Arrays().Clear();
    m_machine.Inis().Clear();
    m_log.m_text.clear();
    SRunOutcome outcome;
    const ErrCode error = CompileAndCall(m_machine, text, signature, args, &outcome);
    const std::string diagnostics = m_machine.TakeErrorLog();
    ASSERT_EQ(error, err::kOk) << diagnostics;
    EXPECT_EQ(outcome.error, err::kOk);
    EXPECT_TRUE(outcome.finished);
  }

  // Runs a row with its result type followed by the parameters `params`
  // ("" or ", type name ...") given `values`.
  void Check(const SCase& c, const char* params = "", std::span<const SCallArg> values = {}) {
    SCOPED_TRACE(c.text);
    SResult result;
    std::vector<SCallArg> args;
    if (std::string_view(c.type) != "void") args.push_back(result.Arg(c.type));
    args.insert(args.end(), values.begin(), values.end());
    Run(c.text, (c.type + std::string(params)).c_str(), args);
    EXPECT_EQ(result.Text(c.type), c.expect);
    EXPECT_EQ(m_log.m_text, c.log);
  }
  void CheckAll(std::span<const SCase> cases) {
    for (const SCase& c : cases) Check(c);
  }

  CScriptMachine m_machine;
  CLogCapture m_log;
  StrHandle m_gs = 0;  // the script globals gs and gt
  StrHandle m_gt = 0;
};

TEST_F(LibraryTest, NumberAndBoolOperators) {
  const SCase cases[] = {
      // int operators wrap and never trap.
      {"int", "2 + 3 * 4", "14"}, {"int", "(2 + 3) * 4", "20"}, {"int", "7 - 10", "-3"},
      {"int", "20 - 5 - 3", "12"}, {"int", "100 / 10 / 5", "2"},
      {"int", "2147483647 + 1", "-2147483648"}, {"int", "-2147483647 - 2", "2147483647"},
      {"int", "65537 * 65537", "131073"}, {"int", "7 / 2", "3"}, {"int", "-7 / 2", "-3"},
      {"int", "7 / -2", "-3"}, {"int", "5 / 0", "0"},
      {"int", "(-2147483647 - 1) / -1", "-2147483648"}, {"int", "-(2147483647 + 1)", "-2147483648"},
      {"int", "6[7]", "42"}, {"int", "int a = 3; int b; b = a; a = 9; return b;", "3"},
      {"int", "int a = 5; return -a;", "-5"},
      // Statements on locals, which the machine may run as one operation.
      {"int", "int a = 2147483647; int b; b = a + 1; return b;", "-2147483648"},
      {"int", "int a = 0; int b; b = a - 2147483647; b = b - 2; return b;", "2147483647"},
      {"int", "int a = 65537; int b; b = a * a; return b;", "131073"},
      {"int", "int a = 7; int b; b = a / 0; return b;", "0"},
      {"int", "int a; int z; int b; a = 9; z = 0; b = a / z; return b;", "0"},
      {"int", "int a; int m; int b; a = -2147483647 - 1; m = -1; b = a / m; return b;",
       "-2147483648"},
      {"int", "int i = 2147483646; int n = 0; while i > 0 do { i = i + 1; n = n + 1; } return n;",
       "2"},
      {"int", "3 + true", "4"}, {"int", "int x; x = true; return x;", "1"},
      {"int", "int x = 0; int n = 0; while x < 4 do { x = x + 1; n = n + x; } return n;", "10"},
      {"int", "if 0 then return 1; return 2;", "2"}, {"int", "if -1 then return 1; return 2;", "1"},
      {"int", "bool b; b = 3 > 2; if b then return 10; return 20;", "10"},
      // Comparisons.
      {"bool", "3 < 5", "true"}, {"bool", "5 < 3", "false"}, {"bool", "-1 < 0", "true"},
      {"bool", "4 > -4", "true"}, {"bool", "4 > 4", "false"}, {"bool", "3 == 3", "true"},
      {"bool", "3 <> 3", "false"}, {"bool", "3 <> 4", "true"},
      {"bool", "2147483647 + 1 < 0", "true"}, {"bool", "1.5 < 2.5", "true"},
      {"bool", "2.5 < 1.5", "false"}, {"bool", "2.5 > 1.5", "true"},
      {"bool", "1.5 == 1.5", "true"}, {"bool", "1.5 <> 1.5", "false"},
      {"bool", "1 < 1.5", "true"}, {"bool", "0.0 / 0.0 == 0.0 / 0.0", "false"},
      {"bool", "0.0 / 0.0 <> 0.0 / 0.0", "true"},
      // Float arithmetic.
      {"float", "1.5 + 2.25", "3.75"}, {"float", "1.5 - 2.25", "-0.75"},
      {"float", "1.5 * 4.0", "6"}, {"float", "1.0 / 4.0", "0.25"}, {"float", "-2.5", "-2.5"},
      {"float", "1.5 + 2", "3.5"}, {"float", "7 / 2", "3"},
      {"float", "float f = 2; return f;", "2"},
      {"float", "float f = 2.5; float g; g = f; f = 1.0; return g;", "2.5"},
      {"float", "float f; f = 3; return f / 2;", "1.5"}, {"float", "1.0 / 0.0", "inf"},
      {"float", "float f = 2.5; return -f;", "-2.5"},
      // Bool operators.
      {"bool", "NOT true", "false"}, {"bool", "NOT false", "true"},
      {"bool", "true && false", "false"}, {"bool", "true && true", "true"},
      {"bool", "true XOR true", "false"}, {"bool", "false XOR true", "true"},
      {"bool", "false || false", "false"}, {"bool", "false || true", "true"},
      {"bool", "true || false && false", "true"}, {"bool", "NOT 1 < 2", "false"},
      {"bool", "bool b; b = true; return b;", "true"},
      {"bool", "bool b = true; bool c; c = b; b = false; return c;", "true"},
      {"bool", "bool b = false; if b then return false; return true;", "true"},
  };
  CheckAll(cases);
}

TEST_F(LibraryTest, BoolOperatorsEvaluateBothOperands) {
  // Seed 1: the first draws are 41 and 18467; two draws leave the state
  // 1 * 214013 + 2531011 = 2745024, then 2745024 * 214013 + 2531011 mod 2^32.
  const SCase cases[] = {
      {"bool", "rand() < 0 && rand() < 0", "false"}, {"bool", "rand() > -1 || rand() > -1", "true"},
      {"bool", "rand() > -1 XOR rand() > -1", "false"},
  };
  for (const SCase& c : cases) {
    EngineRandom().Seed(1);
    Check(c);
    EXPECT_EQ(EngineRandom().State(), 3357800067u) << c.text;
  }
}

TEST_F(LibraryTest, RandFollowsTheEngineGenerator) {
  int32_t a = 0, b = 0, c = 0;
  const SCallArg args[] = {SCallArg::Ref(&a), SCallArg::Ref(&b), SCallArg::Ref(&c)};
  Run("a = rand(); b = rand(); c = rand();", "void, int* a, int* b, int* c", args);
  // States 2745024, 3357800067, 415139642; (state >> 16) & 0x7FFF.
  EXPECT_EQ(a, 41);
  EXPECT_EQ(b, 18467);
  EXPECT_EQ(c, 6334);
  EXPECT_EQ(EngineRandom().State(), 415139642u);
}

TEST_F(LibraryTest, StringOperatorsAndFunctions) {
  const SCase cases[] = {
      // Equality and null tests.
      {"bool", "\"abc\" == \"abc\"", "true"}, {"bool", "\"abc\" == \"abd\"", "false"},
      {"bool", "\"ab\" == \"abc\"", "false"}, {"bool", "\"\" == \"\"", "true"},
      {"bool", "str a; str b; return a == b;", "true"},
      {"bool", "str s = \"a\"; str t; t = s; return s == t;", "true"},
      {"bool", "str n; return n == \"\";", "false"}, {"bool", "str n; return \"\" == n;", "false"},
      {"bool", "\"abc\" <> \"abd\"", "true"}, {"bool", "\"abc\" <> \"abc\"", "false"},
      {"bool", "str n; return n <> \"\";", "true"}, {"bool", "str n; return IsNull(n);", "true"},
      {"bool", "IsNull(\"\")", "false"}, {"bool", "str s = \"x\"; return IsNull(s);", "false"},
      // Values and casts.
      {"str", "\"ab\" + \"cd\"", "abcd"}, {"str", "\"a\" + \"b\" + \"c\"", "abc"},
      {"str", "str n; return n + \"x\";", "x"}, {"str", "str n; return \"x\" + n;", "x"},
      {"str", "str n; return n + n;", "(null)"}, {"str", "str n; return n;", "(null)"},
      {"str", "\"\"", ""}, {"str", "\"\" + \"\"", ""},
      {"str", "str s; s = \"abc\"; s = \"def\"; return s;", "def"},
      {"str", "str s = \"abc\"; str t; t = s; s = \"x\"; return t;", "abc"},
      {"str", "pstr p; str s; p = false; s = p; return s;", "false"},
      {"str", "pstr p; pstr q; str s; p = true; q = p; p = false; s = q; return s;", "true"},
      // StrCat and case conversion.
      {"str", "str s = \"ab\"; StrCat(s, \"cd\"); return s;", "abcd"},
      {"str", "str s; StrCat(s, \"cd\"); return s;", "cd"},
      {"str", "str s = \"ab\"; str n; StrCat(s, n); return s;", "ab"},
      {"str", "str s = \"ab\"; StrCat(s, s); return s;", "abab"},
      {"str", "str s = \"ab\"; str t; t = s; StrCat(s, s); return s + t;", "ababab"},
      {"str", "str s = \"ab\"; str t; t = s; StrCat(s, \"cd\"); return t;", "ab"},
      {"str", "str s = \"ab\"; str t; t = s; StrCat(t, \"cd\"); return s + t;", "ababcd"},
      {"str", "str s = \"a@Bz{`\"; ToUpper(s); return s;", "A@BZ{`"},
      {"str", "str s = \"A[bZ@`\"; ToLower(s); return s;", "a[bz@`"},
      {"str", "str s = \"ab\"; str t; t = s; ToUpper(t); return s + t;", "abAB"},
      {"str", "str s; ToUpper(s); return s;", "(null)"},
      // The comparison and lookup rules are the strings' (script_string_test);
      // here each function's arguments and its null cases.
      {"int", "StrCmp(\"abc\", \"abd\")", "-1"}, {"int", "StrCmp(\"abd\", \"abc\")", "1"},
      {"int", "str n; return StrCmp(n, \"\");", "0"},
      {"int", "str n; return StrCmp(\"a\", n);", "1"}, {"int", "StrICmp(\"ABC\", \"abc\")", "0"},
      {"int", "StrICmp(\"abc\", \"ABD\")", "-1"}, {"int", "str n; return StrICmp(n, \"\");", "0"},
      {"int", "FindChrPos(\"hello\", 'l')", "2"}, {"int", "FindChrPos(\"hello\", 'z')", "-1"},
      {"int", "str n; return FindChrPos(n, 'a');", "-1"}, {"int", "GetChr(\"abc\", 1)", "98"},
      {"int", "GetChr(\"abc\", 3)", "0"}, {"int", "GetChr(\"abc\", -1)", "0"},
      {"int", "str n; return GetChr(n, 0);", "0"},
      // Write, each overload.
      {"void", "Write(42);", "", "[4]42"}, {"void", "Write(-7);", "", "[4]-7"},
      {"void", "Write(2.5);", "", "[4]2.500000"}, {"void", "Write(\"hi\");", "", "[4]hi"},
      {"void", "Write(\"\");", "", "[4]"}, {"void", "str n; Write(n);", "", ""},
      {"void", "pstr p; p = true; Write(p);", "", "[4]true"}, {"void", "Write(true);", "", "[4]1"},
      {"void", "Write(1); Write(-0.5);", "", "[4]1[4]-0.500000"},
  };
  CheckAll(cases);
}

TEST_F(LibraryTest, PointsAndRectangles) {
  const SCase cases[] = {
      {"int", "TPoint p; ptSet(p, -3, 7); return ptGetX(p);", "-3"},
      {"int", "TPoint p; ptSet(p, -3, 7); return ptGetY(p);", "7"},
      {"int", "TPoint p; return ptGetX(p) + ptGetY(p);", "0"},
      {"int", "TPoint p; ptSet(p, 65541, 32768); return ptGetX(p);", "5"},
      {"int", "TPoint p; ptSet(p, 65541, 32768); return ptGetY(p);", "-32768"},
      {"int", "TPoint p; ptSet(p, 65535, 0); return ptGetX(p);", "-1"},
      {"TPoint", "TPoint p; return p;", "0, 0"},
      {"TPoint", "TPoint p; ptSet(p, -1, 300); return p;", "-1, 300"},
      {"TPoint", "TPoint p; TPoint q; ptSet(p, 1, 2); q = p; ptSet(p, 3, 4); return q;", "1, 2"},
      {"int", "TRect r; rcSet(r, -1, -2, 3, 4); return rcLeft(r);", "-1"},
      {"int", "TRect r; rcSet(r, -1, -2, 3, 4); return rcTop(r);", "-2"},
      {"int", "TRect r; rcSet(r, -1, -2, 3, 4); return rcRight(r);", "3"},
      {"int", "TRect r; rcSet(r, -1, -2, 3, -4); return rcBottom(r);", "-4"},
      {"TRect", "TRect r; return r;", "0, 0, 0, 0"},
      {"TRect", "TRect r; rcSet(r, 1, 2, 3, 4); return r;", "1, 2, 3, 4"},
      {"TRect", "TRect a; TRect b; rcSet(a, 1, 2, 3, 4); b = a; rcSet(a, 0, 0, 0, 0); return b;",
       "1, 2, 3, 4"},
      {"TRect", "TRect a; TRect b; rcSet(a, 0, 0, 10, 10); rcSet(b, 5, -5, 20, 8); "
       "return rcIntersect(a, b);", "5, 0, 10, 8"},
      {"TRect", "TRect a; TRect b; rcSet(a, 0, 0, 1, 1); rcSet(b, 5, 5, 6, 6); "
       "return rcIntersect(a, b);", "5, 5, 1, 1"},
      {"TRect", "TRect a; TRect b; rcSet(a, 0, 0, 10, 10); rcSet(b, 5, -5, 20, 8); "
       "return rcAdd(a, b);", "0, -5, 20, 10"},
      {"TPoint", "TRect r; rcSet(r, 0, 0, 10, 10); return rcGetCenter(r);", "5, 5"},
      {"TPoint", "TRect r; rcSet(r, 1, 1, 4, 4); return rcGetCenter(r);", "2, 2"},
      {"TPoint", "TRect r; rcSet(r, -10, -10, -2, -4); return rcGetCenter(r);", "-6, -7"},
  };
  CheckAll(cases);
}

// Rows with value parameters: every library type passed by value.
struct SParamCase {
  const char* params;
  SCase c;
  std::vector<SCallArg> values;
};

TEST_F(LibraryTest, ValueParametersOfEveryType) {
  const TRect box{10, 20, 30, 40};
  const auto in_box = [&box](int16_t x, int16_t y, bool inside) {
    return SParamCase{", TPoint p, TRect r", {"bool", "ptInRect(p, r)", inside ? "true" : "false"},
                      {SCallArg::Point({x, y}), SCallArg::Rect(box)}};
  };
  const SParamCase cases[] = {
      {", int a, int b", {"int", "a - b", "7"}, {SCallArg::Int(10), SCallArg::Int(3)}},
      {", float x", {"float", "x * 2.0", "2.5"}, {SCallArg::Float(1.25)}},
      {", bool v", {"int", "v + 0", "1"}, {SCallArg::Bool(true)}},
      {", bool v", {"bool", "NOT v", "true"}, {SCallArg::Bool(false)}},
      {", bool v", {"bool", "v", "true"}, {SCallArg::Int(256)}},  // nonzero is pushed as 1
      {", TPoint p", {"int", "ptGetY(p)", "-6"}, {SCallArg::Point({5, -6})}},
      {", TRect r", {"int", "rcBottom(r) - rcLeft(r)", "-5"}, {SCallArg::Rect({1, 2, 3, -4})}},
      {", pstr p", {"str", "p", "hello"}, {SCallArg::Text("hello")}},
      {", str s", {"str", "s + s", "abab"}, {SCallArg::Text("ab")}},
      {", str s", {"str", "s + s", "(null)"}, {SCallArg::Text(nullptr)}},
      {", str s, int i", {"int", "GetChr(s, i)", "-23"},
       {SCallArg::Text("\xE9"), SCallArg::Int(0)}},
      // Bytes compare unsigned; case conversion leaves bytes outside a-z alone.
      {", str a, str b", {"int", "StrCmp(a, b)", "1"},
       {SCallArg::Text("\xE9"), SCallArg::Text("a")}},
      {", str s", {"str", "ToUpper(s); return s;", "\xE9" "A"}, {SCallArg::Text("\xE9" "a")}},
      // Edges are inside: left <= x <= right, top <= y <= bottom.
      in_box(10, 20, true), in_box(30, 40, true), in_box(30, 20, true), in_box(10, 40, true),
      in_box(31, 40, false), in_box(30, 41, false), in_box(9, 30, false), in_box(20, 19, false),
  };
  for (const SParamCase& c : cases) Check(c.c, c.params, c.values);

  // A short string holds at most 255 characters.
  const std::string long_text(300, 'a');
  const std::string cut(255, 'a');
  const SCallArg text[] = {SCallArg::Text(long_text.c_str())};
  Check({"str", "p", cut.c_str()}, ", pstr p", text);
}

TEST_F(LibraryTest, AddressParametersAreWrittenBack) {
  int32_t a = 21;
  double b = 1.25;
  uint8_t c = 1;
  TPoint d{3, -4};
  TRect e{1, 2, 3, 4};
  char f[4] = "xyz";
  char g[8] = "ab";
  const SCallArg args[] = {SCallArg::Ref(&a), SCallArg::Ref(&b), SCallArg::Ref(&c),
                           SCallArg::Ref(&d), SCallArg::Ref(&e), SCallArg::Buffer(f, sizeof f),
                           SCallArg::Buffer(g, sizeof g)};
  Run("a = a * 2; b = b + 0.5; c = NOT c; ptSet(d, ptGetY(d), ptGetX(d)); "
      "rcSet(e, rcBottom(e), rcRight(e), rcTop(e), rcLeft(e)); f = true; StrCat(g, \"!\");",
      "void, int* a, float* b, bool* c, TPoint* d, TRect* e, pstr* f, str* g", args);
  EXPECT_EQ(a, 42);
  EXPECT_EQ(b, 1.75);
  EXPECT_EQ(c, 0);
  EXPECT_EQ((std::vector<int>{d.x, d.y}), (std::vector<int>{-4, 3}));
  EXPECT_EQ((std::vector<int>{e.left, e.top, e.right, e.bottom}), (std::vector<int>{4, 3, 2, 1}));
  EXPECT_STREQ(f, "tru");  // "true" cut to the buffer's size - 1
  EXPECT_STREQ(g, "ab!");

  // The texts come in from the buffers; a str* that comes back null.
  char h[6] = "xyz";
  char k[3] = "hi";
  char n[4] = "abc";
  bool k_null = true;
  bool n_null = false;
  SCallArg texts[] = {SCallArg::Buffer(h, sizeof h), SCallArg::Buffer(k, sizeof k),
                      SCallArg::Buffer(n, sizeof n)};
  texts[1].null_out = &k_null;
  texts[2].null_out = &n_null;
  Run("str none; Write(h); Write(k); h = false; k = \"new\"; n = none;",
      "void, pstr* h, str* k, str* n", texts);
  EXPECT_EQ(m_log.m_text, "[4]xyz[4]hi");
  EXPECT_STREQ(h, "false");
  EXPECT_STREQ(k, "ne");
  EXPECT_FALSE(k_null);
  EXPECT_STREQ(n, "");
  EXPECT_TRUE(n_null);
}

// Arrays, INI files and call settings belong to their machine: a second
// machine starts without them and keeps its own.
TEST_F(LibraryTest, EachMachineKeepsItsOwnScriptState) {
  uint8_t result = 2;
  const SCallArg args[] = {SCallArg::Ref(&result)};
  const char* kDefine = "return ArrDef(\"a\", \"int\", 3);";
  {
    CScriptMachine other;
    ASSERT_EQ(other.Init(kArrayModules), err::kOk);
    // The second definition on this machine fails: "a" exists there.
    const std::pair<CScriptMachine*, uint8_t> steps[] = {{&m_machine, 1}, {&other, 1},
                                                         {&m_machine, 0}};
    for (const auto& [machine, defined] : steps) {
      EXPECT_EQ(CompileAndCall(*machine, kDefine, "bool", args), err::kOk);
      EXPECT_EQ(result, defined);
    }
    EXPECT_EQ(other.Arrays().Count(), 1u);
    other.Calls().suspended = true;
    EXPECT_EQ(CompileAndCall(m_machine, "return IsNull(\"x\") == false;", "bool", args), err::kOk);
    EXPECT_EQ(result, 1);
  }
  EXPECT_NE(m_machine.Arrays().Find("a"), nullptr);
}

TEST_F(LibraryTest, CallsThatRunNothing) {
  int32_t result = 99;
  const SCallArg args[] = {SCallArg::Ref(&result)};
  SRunOutcome outcome;
  m_machine.Calls().suspended = true;
  EXPECT_EQ(CompileAndCall(m_machine, "Write(1); return 5;", "int", args, &outcome), err::kOk);
  m_machine.Calls().suspended = false;
  EXPECT_EQ(result, 99);
  EXPECT_FALSE(outcome.finished);
  EXPECT_EQ(outcome.steps, 0u);
  EXPECT_EQ(m_log.m_text, "");

  // Arguments that do not cover the signature.
  EXPECT_EQ(CompileAndCall(m_machine, "Write(x); return x;", "int, int x", args, &outcome),
            err::kBadParams);
  EXPECT_EQ(result, 99);
  EXPECT_EQ(m_log.m_text, "");

  // The temporary area holds eight short strings, not nine.
  char texts[9][4] = {};
  std::vector<SCallArg> buffers;
  std::string signature = "void";
  for (int i = 0; i < 9; ++i) {
    buffers.push_back(SCallArg::Buffer(texts[i], sizeof texts[i]));
    signature += ", pstr* p" + std::to_string(i);
  }
  EXPECT_EQ(CompileAndCall(m_machine, "p8 = true;", signature.c_str(), buffers, &outcome),
            err::kBadParams);
  EXPECT_STREQ(texts[8], "");
  const size_t eight = signature.rfind(',');
  EXPECT_EQ(CompileAndCall(m_machine, "p7 = true;", signature.substr(0, eight).c_str(),
                           std::span(buffers).first(8), &outcome),
            err::kOk);
  EXPECT_STREQ(texts[7], "tru");
  m_machine.TakeErrorLog();
}

TEST_F(LibraryTest, SharedStringReferences) {
  m_gs = StrNew("abc");
  struct SRefCase {
    const char* text;
    bool same;       // gt ends as the handle of gs
    uint16_t refs;   // gs's references afterwards
    const char* gt;  // gt's text
  };
  const SRefCase cases[] = {
      {"str n; gt = n + gs;", true, 2, "abc"},   // the other side itself
      {"str n; gt = gs + n;", true, 2, "abc"},
      {"gt = gs + gs;", false, 1, "abcabc"},     // a new string; the old gt released
      {"gt = gs;", true, 2, "abc"},              // the copy's reference moves into gt
      {"str t; t = gs; gt = \"x\";", false, 1, "x"},  // the local's reference goes with it
      {"gt = gs; StrCat(gt, \"d\");", false, 1, "abcd"},
      {"gt = gs; ToUpper(gt);", false, 1, "ABC"},
      {"str n; gt = n; StrCat(gt, gs);", true, 2, "abc"},  // a null target becomes the source
  };
  for (const SRefCase& c : cases) {
    SCOPED_TRACE(c.text);
    Run(c.text, "void", {});
    EXPECT_EQ(m_gt == m_gs, c.same);
    EXPECT_EQ(StrRefCount(m_gs), c.refs);
    EXPECT_EQ(CStrText(m_gt).view(), c.gt);
    EXPECT_EQ(CStrText(m_gs).view(), "abc");
  }
}

TEST_F(LibraryTest, StackAndCodeDumps) {
  Run("int a = 18; int b = 4660; DumpStack();", "void", {});
  EXPECT_STREQ(TraceBuffer(), "Stack content:\n12  1234  \n");

  // SRC_LINE takes 5 bytes, CONS_I 7, CALL 3; the assigned "a" becomes
  // PUSH_A (5) and two NULL_INSTR. DumpCode's CALL is at 24.
  const SLibrarySlots slot(*m_machine.Compiler());
  const std::string call = "CALL\t\tf:" + std::to_string(slot.dump_code) + "\n";
  const char* const kText = "int a = 5; DumpCode(3); a = 1;";
  const std::string lines = "24: " + call + "27: \n\tSRC_LINE - 1\n32: PUSH_A\t\tst:0\n";
  SCodeBlock block;
  ASSERT_TRUE(m_machine.CompileText(kText, "void", &block));
  EXPECT_EQ(DumpCode(block.data + kBlockHeaderSize, block.size - kBlockHeaderSize, 24, 3).text,
            lines);
  Run(kText, "void", {});
  const std::string dumped = TraceBuffer();
  // Reading x through its address needs CONS_D, where the dump stops.
  int32_t x = 0;
  const SCallArg args[] = {SCallArg::Ref(&x)};
  Run("DumpCode(9); Write(x);", "void, int* x", args);
  const std::string stopped = TraceBuffer();
  EXPECT_EQ(dumped, "Code at offset 24:\n" + lines + "Instructions dumped: 3.\n");
  EXPECT_EQ(stopped, "Code at offset 12:\n12: " + call + "15: \n\tSRC_LINE - 1\n" +
                         "20: CONS_A\t\tf:" + std::to_string(slot.addr_cons) + ", st:0\n" +
                         "Instructions dumped: 3.\nInvalid instruction code found:26.\n");
}

TEST_F(LibraryTest, ArrayDefinitionAndAccess) {
  const SCase cases[] = {
      {"bool", "ArrDef(\"a\", \"int\", 3)", "true"},
      {"bool", "ArrDef(\"a\", \"int\", 3); return ArrDef(\"a\", \"str\", 2);", "false"},
      {"bool", "ArrDef(\"a\", \"int\", 3); return ArrDef(\"A\", \"int\", 3);", "true"},
      {"bool", "ArrDef(\"a\", \"float\", 3)", "false"},
      {"bool", "ArrDef(\"a\", \"int\", 0)", "false"},
      {"bool", "ArrDef(\"a\", \"TRect\", 65535)", "true"},
      {"bool", "ArrDef(\"a\", \"int\", 65536)", "false"},
      {"bool", "str n; return ArrDef(n, \"int\", 3);", "false"},
      {"bool", "str n; return ArrDef(\"a\", n, 3);", "false"},
      {"int", "int n; ArrDef(\"a\", \"TRect\", 7); ArrGetSize(\"a\", n); return n;", "7"},
      {"bool", "int n; return ArrGetSize(\"none\", n);", "true"},
      {"bool", "int n; str s; return ArrGetSize(s, n);", "false"},
      {"int", "int v; ArrDef(\"a\", \"int\", 3); ArrSetInt(\"a\", 2, -9); ArrGetInt(\"a\", 2, v); "
       "return v;", "-9"},
      {"int", "int v = 5; ArrDef(\"a\", \"int\", 3); ArrGetInt(\"a\", 1, v); return v;", "0"},
      {"bool", "int v; ArrDef(\"a\", \"int\", 3); return ArrGetInt(\"a\", 2, v);", "true"},
      {"int", "int v = 5;\nArrDef(\"a\", \"int\", 3);\nArrGetInt(\"a\", 3, v);\nreturn v;", "5",
       "[2](3): ArrGetInt: Arr a, type 1, size 3, idx 3\n"},
      {"bool", "int v; ArrDef(\"a\", \"int\", 3); return ArrGetInt(\"a\", -1, v);", "false",
       "[2](1): ArrGetInt: Arr a, type 1, size 3, idx -1\n"},
      {"bool", "ArrDef(\"a\", \"int\", 3); return ArrSetInt(\"a\", 3, 1);", "false",
       "[2](1): ArrSetInt: Arr a, type 1, size 3, idx 3\n"},
      {"bool", "str s; ArrDef(\"a\", \"int\", 3); return ArrGetStr(\"a\", 0, s);", "false",
       "[2](1): ArrGetStr: Arr a, type 1, size 3, idx 0\n"},
      {"bool", "ArrDef(\"p\", \"TPoint\", 2); return ArrSetStr(\"p\", 1, \"x\");", "false",
       "[2](1): ArrSetStr: Arr p, type 6, size 2, idx 1\n"},
      {"bool", "TRect r; ArrDef(\"p\", \"TPoint\", 2); return ArrGetRect(\"p\", 0, r);", "false",
       "[2](1): ArrGetRect: Arr p, type 6, size 2, idx 0\n"},
      {"bool", "int v; return ArrGetInt(\"none\", 0, v);", "false"},
      {"bool", "ArrSetInt(\"none\", 0, 1)", "false"},
      {"bool", "ArrDef(\"a\", \"int\", 1); ArrUndef(\"a\"); return ArrSetInt(\"a\", 0, 1);",
       "false"},
      {"bool", "ArrDef(\"a\", \"int\", 1); ArrUndef(\"a\"); return ArrDef(\"a\", \"str\", 1);",
       "true"},
      {"str", "str s; ArrDef(\"w\", \"str\", 2); ArrSetStr(\"w\", 1, \"hi\"); "
       "ArrGetStr(\"w\", 1, s); return s;", "hi"},
      {"str", "str s = \"x\"; ArrDef(\"w\", \"str\", 2); ArrGetStr(\"w\", 0, s); return s;",
       "(null)"},
      {"str", "str s; ArrDef(\"w\", \"str\", 1); ArrSetStr(\"w\", 0, \"a\"); "
       "ArrSetStr(\"w\", 0, \"b\"); ArrGetStr(\"w\", 0, s); return s;", "b"},
      {"bool", "ArrDef(\"w\", \"str\", 2); ArrSetStr(\"w\", 0, \"a\"); ArrUndef(\"w\"); "
       "return ArrSetStr(\"w\", 0, \"b\");", "false"},
      {"str", "str s = \"keep\"; ArrDef(\"w\", \"str\", 1); ArrSetStr(\"w\", 0, s); "
       "StrCat(s, \"!\"); ArrGetStr(\"w\", 0, s); return s;", "keep"},
      {"TPoint", "TPoint p; TPoint q; ptSet(p, -4, 9); ArrDef(\"p\", \"TPoint\", 2); "
       "ArrSetPt(\"p\", 1, p); ArrGetPt(\"p\", 1, q); return q;", "-4, 9"},
      {"TRect", "TRect r; TRect q; rcSet(r, -1, 2, -3, 4); ArrDef(\"r\", \"TRect\", 2); "
       "ArrSetRect(\"r\", 1, r); ArrGetRect(\"r\", 1, q); return q;", "-1, 2, -3, 4"},
      // A null argument makes every array function answer false and change
      // nothing, the value of ArrSetStr included.
      {"bool", "str n; ArrDef(\"w\", \"str\", 1); ArrSetStr(\"w\", 0, \"a\"); "
       "return ArrSetStr(\"w\", 0, n);", "false"},
      {"str", "str s; str n; ArrDef(\"w\", \"str\", 1); ArrSetStr(\"w\", 0, \"a\"); "
       "ArrSetStr(\"w\", 0, n); ArrGetStr(\"w\", 0, s); return s;", "a"},
  };
  CheckAll(cases);
}

TEST_F(LibraryTest, DiagnosticsNameTheHandlerAndLine) {
  CFakeOwner owner({"OnTest"},
                   {"int v;\nArrDef(\"a\", \"int\", 3);\nreturn ArrGetInt(\"a\", 3, v);"});
  uint8_t result = 2;
  const SCallArg args[] = {SCallArg::Ref(&result)};
  m_machine.Calls().tool_mode = true;
  EXPECT_EQ(CallHandler(m_machine, owner, "OnTest", "bool", args), err::kOk);
  m_machine.Calls().tool_mode = false;
  EXPECT_EQ(result, 0);
  EXPECT_EQ(m_log.m_text, "[2]door::OnTest(3): ArrGetInt: Arr a, type 1, size 3, idx 3\n");
  EXPECT_EQ(m_machine.Calls().current.object, nullptr);
  EXPECT_EQ(CallHandler(m_machine, owner, "OnOther", "bool", args), err::kNotFound);

  // Out of steps, while no native with a name runs.
  m_machine.Calls().step_limit = 100;
  m_log.m_text.clear();
  SRunOutcome outcome;
  EXPECT_EQ(CompileAndCall(m_machine, "\nwhile true do ;", "void", {}, &outcome), err::kOk);
  m_machine.Calls().step_limit = kDefaultStepLimit;
  EXPECT_TRUE(outcome.out_of_steps);
  EXPECT_EQ(outcome.steps, 100u);
  EXPECT_EQ(m_log.m_text, "[2](2): script step limit reached\n");
}

// The search rules themselves are the arrays' (script_array_test); here the
// functions' arguments, their start index through int* and their null and
// wrong-type cases.
TEST_F(LibraryTest, ArraySearches) {
  const char* const kInts =
      "ArrDef(\"a\", \"int\", 3); ArrSetInt(\"a\", 0, 5); ArrSetInt(\"a\", 2, 5); ";
  const char* const kStrs =
      "ArrDef(\"s\", \"str\", 4); ArrSetStr(\"s\", 1, \"\"); ArrSetStr(\"s\", 2, \"y\"); "
      "ArrSetStr(\"s\", 3, \"x\"); ";
  struct SFind {
    const char* setup;
    const char* search;  // the script's tail; i is the start index
    int32_t start;
    bool found;
    int32_t index;
  };
  const SFind cases[] = {
      {kInts, "ArrFindInt(\"a\", 5, i)", 1, true, 2},
      {kInts, "ArrFindInt(\"a\", 0, i)", 0, true, 1},
      {kInts, "ArrFindInt(\"a\", 5, i)", 3, false, 3},
      {kInts, "ArrFindInt(\"none\", 5, i)", 0, false, 0},
      {kStrs, "ArrFindInt(\"s\", 0, i)", 0, false, 0},
      {kStrs, "ArrFindStr(\"s\", \"x\", i)", 0, true, 3},
      {kStrs, "ArrFindStr(\"s\", \"y\", i)", 3, false, 3},
      {kStrs, "ArrFindStr(\"s\", \"\", i)", 0, true, 1},  // the null element 0 never matches
      {kStrs, "ArrFindStr(\"s\", n, i)", 0, false, 0},
      {kInts, "ArrFindStr(\"a\", \"x\", i)", 0, false, 0},
  };
  for (const SFind& c : cases) {
    const std::string text = std::string("str n; ") + c.setup + "return " + c.search + ";";
    SCOPED_TRACE(text);
    uint8_t found = 2;
    int32_t index = c.start;
    const SCallArg args[] = {SCallArg::Ref(&found), SCallArg::Ref(&index)};
    Run(text.c_str(), "bool, int* i", args);
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(index, c.index);
  }
}

// The shuffles themselves are the arrays' (script_array_test); here their
// arguments, the engine's generator and the results the functions answer.
TEST_F(LibraryTest, Scrambles) {
  // Seed 1 draws 41, 18467, 6334 (see RandFollowsTheEngineGenerator).
  // ArrScramble of groups (1,2) (3,4) (5,6): i = 0 draws 0..2: 41 * 2 / 32767
  // gives 0, remainder 82: j = 0. i = 1 draws 1..2: remainder 18467 > 16383:
  // j = 2, groups 1 and 2 swap. i = 2: j = 2.
  // ArrScramble2 of count 3 at 1, 3, 5: p = 0 1 2; k = 0 draws 0..1 (41: 0),
  // k = 1 draws 1..1; the scan finds 0, 1 and swaps p[1], p[2]: p = 0 2 1,
  // so index 3's value goes to 5 and index 5's to 3.
  struct SScramble {
    const char* call;
    int32_t size;
    bool result;
    std::vector<int32_t> after;
  };
  const SScramble cases[] = {
      {"ArrScramble(\"a\", 1, 3, 2)", 7, true, {0, 1, 2, 5, 6, 3, 4}},
      {"ArrScramble(\"a\", 2, 3, 2)", 7, false, {0, 1, 2, 3, 4, 5, 6}},
      {"ArrScramble(\"a\", 0, 1, 7)", 7, true, {0, 1, 2, 3, 4, 5, 6}},
      {"ArrScramble(\"none\", 0, 2, 1)", 7, false, {0, 1, 2, 3, 4, 5, 6}},
      {"ArrScramble2(\"a\", 1, 3, 2)", 7, false, {0, 1, 2, 5, 4, 3, 6}},
      {"ArrScramble2(\"none\", 0, 2, 1)", 7, false, {0, 1, 2, 3, 4, 5, 6}},
  };
  for (const SScramble& c : cases) {
    EngineRandom().Seed(1);
    const std::string text = "int i = 0; ArrDef(\"a\", \"int\", " + std::to_string(c.size) +
                             "); while i < " + std::to_string(c.size) +
                             " do { ArrSetInt(\"a\", i, i); i = i + 1; } return " + c.call + ";";
    SCOPED_TRACE(text);
    uint8_t result = 2;
    const SCallArg args[] = {SCallArg::Ref(&result)};
    Run(text.c_str(), "bool", args);
    EXPECT_EQ(result, c.result);
    const CScriptArray* array = m_machine.Arrays().Find("a");
    ASSERT_NE(array, nullptr);
    for (int32_t i = 0; i < c.size; ++i)
      EXPECT_EQ(array->GetInt(i), c.after[i]) << "index " << i;
  }
}

// The INI functions read files through the file service: the script
// global ini names an in-memory file.
class LibraryIniTest : public LibraryTest {
 protected:
  void SetUp() override {
    InitFileService(4);
    auto fs = std::make_unique<CMemFileService>();
    fs->File("w.ini").bytes = "[Animals]\nCat=Tiger\n[Sizes]\n0=3\n2=-1\n[Pts]\n1=4, -5\n"
                              "[Rects]\n0=1, -2, 3, 4\n[Words]\n0=hello\n";
    RegisterMount("/mem/", std::move(fs), 0);
    LibraryTest::SetUp();
    m_ini = StrNew("/mem/w.ini");
    ASSERT_EQ(m_machine.RegisterGlobal("ini", &m_ini, kStrType), err::kOk);
  }
  void TearDown() override {
    StrRelease(m_ini);
    LibraryTest::TearDown();
    ShutdownFileService();
  }
  StrHandle m_ini = 0;
};

TEST_F(LibraryIniTest, IniLookupsAndArrLoad) {
  const SCase cases[] = {
      {"bool", "IniDef(ini)", "true"}, {"bool", "IniDef(ini); return IniDef(ini);", "false"},
      {"bool", "IniDef(\"/mem/none.ini\")", "false"}, {"bool", "str n; return IniDef(n);", "false"},
      {"str", "str v; IniDef(ini); GetIni(ini, \"Animals\", \"Cat\", v); return v;", "Tiger"},
      {"str", "str v = \"old\"; IniDef(ini); GetIni(ini, \"Animals\", \"Cat\", v); return v;",
       "Tiger"},
      {"bool", "str v = \"old\"; IniDef(ini); return GetIni(ini, \"Animals\", \"cat\", v);",
       "false"},
      {"str", "str v = \"old\"; IniDef(ini); GetIni(ini, \"Animals\", \"cat\", v); return v;",
       "old"},
      {"bool", "str v; IniDef(ini); return GetIni(ini, \"Plants\", \"Cat\", v);", "false"},
      {"bool", "str v; IniDef(ini); IniUndef(ini); return GetIni(ini, \"Animals\", \"Cat\", v);",
       "false"},
      {"bool", "IniDef(ini); IniUndef(ini); return IniDef(ini);", "true"},
      // Which elements a section fills is the arrays' (script_ini_test).
      {"bool", "IniDef(ini); ArrDef(\"n\", \"int\", 3); return ArrLoad(\"n\", ini, \"Sizes\");",
       "true"},
      {"bool", "ArrDef(\"n\", \"int\", 3); return ArrLoad(\"n\", ini, \"Sizes\");", "false"},
      {"bool", "IniDef(ini); return ArrLoad(\"none\", ini, \"Sizes\");", "false"},
      {"bool", "str n; IniDef(ini); ArrDef(\"n\", \"int\", 3); return ArrLoad(\"n\", ini, n);",
       "false"},
      {"TPoint", "TPoint p; IniDef(ini); ArrDef(\"p\", \"TPoint\", 2); "
       "ArrLoad(\"p\", ini, \"Pts\"); ArrGetPt(\"p\", 1, p); return p;", "4, -5"},
      {"TRect", "TRect r; IniDef(ini); ArrDef(\"r\", \"TRect\", 1); "
       "ArrLoad(\"r\", ini, \"Rects\"); ArrGetRect(\"r\", 0, r); return r;", "1, -2, 3, 4"},
      {"str", "str s; IniDef(ini); ArrDef(\"w\", \"str\", 2); "
       "ArrLoad(\"w\", ini, \"Words\"); ArrGetStr(\"w\", 0, s); return s;", "hello"},
  };
  CheckAll(cases);
}

}  // namespace
