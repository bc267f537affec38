// tvkit script, run as authors run it.
#include <gtest/gtest.h>

#include <regex>

#include "support/tvkit_fixture.h"

namespace {

// The library's native slots are its own to order; the output is compared
// with every slot number written as '#'.
std::string WithoutSlots(const std::string& text) {
  static const std::regex kSlot("(f:|Idx:|void=|addr=|Destr=|IsTrue=)[0-9]+");
  return std::regex_replace(text, kSlot, "$1#");
}

class TvkitScriptTest : public CTvkitTest {};

TEST_F(TvkitScriptTest, CompileDumpsAndWritesTheBlock) {
  m_dir.WriteFile("s.txt", "x > 5");
  const SProcessResult run = Run({"script", "compile", "--sig", "bool, int x", m_dir.Join("s.txt"),
                                  "-o", m_dir.Join("s.blk"), "--dump"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(WithoutSlots(run.out),
            "0: \n\tSRC_LINE - 1\n"
            "5: CONS_A\t\tf:#, st:0\n"
            "12: CONS_A\t\tf:#, st:4\n"
            "19: CONS_I\t\tf:#, 5\n"
            "26: CALL\t\tf:#\n"
            "29: CALL\t\tf:#\n"
            "32: CALL\t\tf:#\n"
            "35: CALL\t\tf:#\n"
            "38: END\n");
  const std::string block = m_dir.ReadFile("s.blk");
  ASSERT_EQ(block.size(), 50u + 39u);
  EXPECT_EQ(block.substr(0, 16), std::string("\xFF\0\x08\0\0\0\x14\0\0\0\x27\0\0\0\x07\x01", 16));
  EXPECT_FALSE(m_dir.Exists("comp_err.txt"));
}

TEST_F(TvkitScriptTest, FailuresPrintTheDiagnostics) {
  m_dir.WriteFile("bad.txt", "int a = 1;\nint a");
  ExpectRun({"script", "compile", "--sig", "void", m_dir.Join("bad.txt")}, 1, "",
            "(2, 5): Variable already declared: a\r\n");
  ExpectRun({"script", "compile", "--sig", "void, x", m_dir.Join("bad.txt")}, 1, "",
            "error: BAD_PARAM_STRING\n");
}

TEST_F(TvkitScriptTest, TypesPrintsTheTables) {
  const SProcessResult run = Run({"script", "types"});
  EXPECT_EQ(run.exit_code, 0);
  const std::string out = WithoutSlots(run.out);
  EXPECT_EQ(out.substr(0, 84),
            "Types max count = 20\r\nName:int ID:1 Size:4\r\n"
            "Constr: void=# addr=# Destr=# IsTrue=#\r\n");
  EXPECT_NE(out.find("Name:DumpCode Idx:# RetTypeID:0 ParCount:1\r\nPar1:1\r\n\r\n"),
            std::string::npos);
}

TEST_F(TvkitScriptTest, RunHandsBackTheAddressParametersAndTheResult) {
  m_dir.WriteFile("xy.txt",
                  "Write(\"was \"); Write(x); x = x + y;\ny = y * 2;\nreturn x > 10;\n");
  ExpectRun({"script", "run", "--sig", "bool, int* x, int* y", m_dir.Join("xy.txt"), "7", "5"}, 0,
            "was 7\nresult: true\nx: 12\ny: 10\n");
  m_dir.WriteFile("v.txt", "p = p + \"!\"; ptSet(q, ptGetY(q), ptGetX(q)); return 2.5 * f;\n");
  ExpectRun({"script", "run", "--sig", "float, float f, str* p, TPoint* q, TRect r",
             m_dir.Join("v.txt"), "3", "hi", "-4,9", "1,2,3,4"},
            0, "result: 7.5\np: \"hi!\"\nq: {9, -4}\n");
}

TEST_F(TvkitScriptTest, RunReportsStopsAndLimits) {
  m_dir.WriteFile("loop.txt", "int i = 0;\nwhile (1) do i = i + 1;\n");
  ExpectRun({"script", "run", "--steps", "100", "--sig", "void", m_dir.Join("loop.txt")}, 1,
            "(2): script step limit reached\n", "error: step limit reached\n");
  m_dir.WriteFile("bad.txt", "return y;\n");
  ExpectRun({"script", "run", "--sig", "int", m_dir.Join("bad.txt")}, 1, "",
            "(1, 9): Left bracket expected for possible function name y\r\nerror: SYNTAX\n");
}

// From state 1 the generator draws 41, then 18467.
TEST_F(TvkitScriptTest, RunDrawsTheSeededSequence) {
  m_dir.WriteFile("one.txt", "return rand();\n");
  m_dir.WriteFile("two.txt", "int a;\na = rand();\nreturn rand();\n");
  const std::vector<std::string> one = {"script", "run", "--sig", "int", m_dir.Join("one.txt")};
  ExpectRun(one, 0, "result: 41\n", "", {{"TARVOLIN_SEED", "1"}});
  ExpectRun({"script", "run", "--sig", "int", m_dir.Join("two.txt")}, 0, "result: 18467\n", "",
            {{"TARVOLIN_SEED", "1"}});
  for (const char* bad : {"x", "-1", "4294967296", ""})
    ExpectRun(one, 1, "", "error: TARVOLIN_SEED must be a number from 0 to 4294967295\n",
              {{"TARVOLIN_SEED", bad}});
}

}  // namespace

TEST_F(TvkitScriptTest, NativesListsEverySlotWithItsState) {
  const SProcessResult run = Run({"script", "natives"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out.substr(0, 16), "0\tliteral int\tbu");
  EXPECT_NE(run.out.find("\n200\tvoid GoToView(str, int, int)\tbuilt\n"), std::string::npos);
  EXPECT_NE(run.out.find("\n313\tvoid SetFrame(int)\tbuilt\n"), std::string::npos);
  EXPECT_NE(run.out.find("\n210\tvoid InvShow()\tpending\n"),
            std::string::npos);
  EXPECT_NE(run.out.find("\n321\tbool ArrDef(str, str, int)\tbuilt\n"), std::string::npos);
  EXPECT_TRUE(run.out.ends_with("\n429\tstr Platform()\tbuilt\n"));
}
