// The engine's general natives run from scripts without a world: texts and
// numbers, bits, chance, dates and the system queries, and the natives that
// are not built yet. No script string outlives a test.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "base/random.h"
#include "script/script_call.h"
#include "script/script_machine.h"
#include "script/script_result.h"
#include "script/string_leak_check.h"
#include "support/env_guard.h"
#include "world/bindings/bindings.h"

namespace {

struct SCase {
  const char* type;  // the result type
  const char* text;
  const char* expect;
};

class BindingsTextTest : public CStrLeakTest {
 protected:
  void SetUp() override {
    CStrLeakTest::SetUp();
    ASSERT_EQ(m_machine.Init(kWorldModules), err::kOk);
    SetLogView(&m_log);
    EngineRandom().Seed(1);
  }
  void TearDown() override {
    SetLogView(nullptr);
    m_machine.Shutdown();
    CStrLeakTest::TearDown();
  }
  void CheckAll(std::span<const SCase> cases) {
    for (const SCase& c : cases) EXPECT_EQ(ResultOf(m_machine, c.type, c.text), c.expect) << c.text;
  }

  CScriptMachine m_machine;
  CLogCapture m_log;
};

}  // namespace

TEST_F(BindingsTextTest, NumbersAsText) {
  const SCase cases[] = {
      {"str", "IToA(7)", "7"}, {"str", "IToA(-45)", "-45"}, {"str", "IToA(7, 3)", "007"},
      {"str", "IToA(-7, 3)", "-07"}, {"str", "IToA(1234, 2)", "1234"}, {"str", "IToA(5, -4)", "5"},
      {"int", "StrLen(IToA(5, 10000))", "255"}, {"int", "AToI(\"123abc\")", "123"},
      {"int", "AToI(\"-5\")", "0"}, {"int", "AToI(\"4294967297\")", "1"},
      {"int", "str s; return AToI(s);", "0"},
      {"str", "str s = \"n=\"; StrCat(s, -12); return s;", "n=-12"},
      {"str", "str s; StrCat(s, 3); return s;", "3"},
      {"int", "HPathFind(0, 0, 3, -7)", "7"}, {"int", "HPathFind(5, 5, 5, 5)", "0"},
  };
  CheckAll(cases);
}

TEST_F(BindingsTextTest, CharactersWordsAndParts) {
  const SCase cases[] = {
      {"int", "StrLen(\"hello\")", "5"}, {"int", "str s; return StrLen(s);", "0"},
      {"str", "StrGetChr(\"abc\", 1)", "b"}, {"str", "StrGetChr(\"abc\", 3)", ""},
      {"str", "StrGetChr(\"abc\", -1)", ""}, {"int", "Int(\"A\")", "65"},
      {"int", "Int(\"\xE9\")", "233"}, {"int", "str s; return Int(s);", "0"},
      {"str", "Chr(66)", "B"}, {"str", "Chr(0)", ""},
      {"str", "str s; return GetWord(\"a b  c\", 2, s);", ""},
      {"str", "str s; return GetWord(\"a b  c\", 3, s);", "c"},
      {"str", "GetWord(\"a,b;c\", 1, \",;\")", "b"}, {"str", "GetWord(\"a,b;c\", 2, \",;\")", "c"},
      {"str", "str s; return GetWord(\"abc\", 1, s);", "(null)"},
      {"str", "str s; return GetWord(\"abc\", -1, s);", "(null)"},
      {"int", "str s; return GetNumWords(\"a b  c\", s);", "4"},
      {"int", "str s; return GetNumWords(s, \",\");", "0"},
      {"int", "GetNumWords(\"\", \",\")", "1"},
      {"str", "StrLeft(\"hello\", 2)", "he"}, {"str", "StrLeft(\"hello\", 99)", "hello"},
      {"str", "StrLeft(\"hello\", -1)", ""}, {"str", "StrRight(\"hello\", 3)", "llo"},
      {"str", "StrRight(\"hello\", 9)", "hello"},
      {"str", "str n; return MakeFN(\"a\", n, \"c\");", "ac"},
      {"str", "str n; return MakeFN(n, n, n);", "(null)"},
  };
  CheckAll(cases);
}

TEST_F(BindingsTextTest, BitsAndRectangles) {
  const SCase cases[] = {
      {"int", "6 & 3", "2"}, {"int", "6 | 3", "7"}, {"int", "6 ^ 3", "5"}, {"int", "~0", "-1"},
      {"int", "1 + 6 & 3", "3"}, {"int", "SHL(1, 40)", "256"},
      {"int", "SHL(1, -1)", "-2147483648"}, {"int", "SHR(-8, 1)", "-4"},
      {"int", "SHR(-8, 33)", "-4"}, {"bool", "TestBit(5, 2)", "true"},
      {"bool", "TestBit(5, 33)", "false"}, {"bool", "TestBit(-1, 31)", "true"},
      {"TRect", "TRect r; rcSet(r, 1, 2, 5, 6); return MoveRect(r, 10, 20);", "10, 20, 14, 24"},
      {"TRect", "TRect r; rcSet(r, 1, 2, 5, 6); return OffsetRect(r, 10, -20);",
       "11, -18, 15, -14"},
  };
  CheckAll(cases);
}

// With the generator at 1 the draws in 0..1 are 0, 1, 0, 1 and the first
// in 1..3 is 1.
TEST_F(BindingsTextTest, RandomKeepsASequencePerCallSite) {
  const SCase cases[] = {
      {"int",
       "int i = 0; int out = 0; while i < 5 do { out = out * 10 + Random(1, 3); i = i + 1; } "
       "return out;",
       "12312"},
      {"int", "RANDOM(5, 5)", "5"},
  };
  CheckAll(cases);
  EngineRandom().Seed(1);
  // Two call sites draw on their own.
  const SCase sites[] = {{"int", "return Random(1, 3) * 10 + Random(1, 3);", "12"}};
  CheckAll(sites);
  EngineRandom().Seed(1);
  // The sequence wraps at the top of the integers too.
  const SCase top[] = {
      {"int",
       "int i = 0; int last = 0; while i < 3 do { last = Random(2147483646, 2147483647); "
       "i = i + 1; } return last;",
       "2147483646"}};
  CheckAll(top);
  EngineRandom().Seed(1);
  const SCase perm[] = {{"str", "str a = \"x\"; str b = \"y\"; Perm(a, b); return a + b;", "xy"},
                        {"str", "str a = \"x\"; str b = \"y\"; Perm(a, b); return a + b;", "yx"}};
  CheckAll(perm);
}

TEST_F(BindingsTextTest, SystemQueries) {
  CEnvGuard date("TARVOLIN_DATE", "2026-12-08");
  const SCase cases[] = {
      {"str", "GetExeVer()", "Tarvolin 0.1.0"}, {"str", "Platform()", "PC"},
      {"int", "ToolMode()", "0"}, {"str", "GetUserID()", "(null)"},
      {"int", "int y; int m; int d; GetDate(y, m, d); return y * 10000 + m * 100 + d;",
       "20261208"},
      {"bool", "HavePrinter()", "false"}, {"bool", "Print2(\"a\", \"b\", 1, 2)", "false"},
      {"bool", "PrintBook(\"a\", \"b\", \"c\", 1)", "false"}, {"int", "GetTime()", "0"},
      {"int", "Time()", "0"}, {"str", "GetMouseOver()", "(null)"}, {"str", "GetID()", "(null)"},
  };
  CheckAll(cases);
  EXPECT_EQ(m_log.m_text, "[2]Printing is not available[2]Printing is not available");
  m_machine.Calls().tool_mode = true;
  const SCase tool[] = {{"int", "ToolMode()", "1"}};
  CheckAll(tool);
}

// A pending native gives its neutral result, leaves out-parameters alone
// and says so once per machine.
TEST_F(BindingsTextTest, PendingNativesSayNotBuiltYetOnce) {
  const SCase cases[] = {
      {"int", "TblGetNumRows(\"db\", \"t\") + TblGetNumRows(\"db\", \"u\")", "0"},
      {"void", "SetFixedChannels(1); SetFixedChannels(2);", ""},
      {"str", "TblGetText(\"db\", \"t\", 0, 0)", "(null)"},
  };
  CheckAll(cases);
  // One line for each of the three natives, however often they ran.
  const std::string& log = m_log.m_text;
  size_t lines = 0;
  for (size_t at = log.find("not built yet"); at != std::string::npos;
       at = log.find("not built yet", at + 1))
    ++lines;
  EXPECT_EQ(lines, 3u) << log;
  for (const char* name : {"TblGetNumRows", "SetFixedChannels", "TblGetText"})
    EXPECT_NE(log.find(std::string(name) + ": not built yet"), std::string::npos) << log;
}
