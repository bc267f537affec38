// tvkit, run as authors run it.
#include <gtest/gtest.h>

#include "support/tvkit_fixture.h"

namespace {

class TvkitTest : public CTvkitTest {};

TEST_F(TvkitTest, IniGetAnswersAsTheEngineReadsIgnoringCaseAndFailsOnWhatIsMissing) {
  m_dir.WriteFile("tool.ini",
                  "[Main]\r\nSlow = 1 ; on\r\nX=first\r\nX=second\r\n[FS]\r\n/HDD/=Trans, ./\r\n");
  const std::string file = m_dir.Join("tool.ini");
  ExpectRun({"ini", "get", file, "MAIN", "slow"}, 0, "1\n");
  ExpectRun({"ini", "get", file, "main", "x"}, 0, "second\n");
  ExpectRun({"ini", "get", file, "fs", "/hdd/"}, 0, "Trans, ./\n");
  ExpectRun({"ini", "get", file, "Main", "Fast"}, 1, "", "error: NOTFOUND\n");
  ExpectRun({"ini", "get", m_dir.Join("none.ini"), "Main", "Slow"}, 1, "", "error: FILENOTFOUND\n");
}

TEST_F(TvkitTest, IniFmtWritesTheWritersForm) {
  m_dir.WriteFile("in.ini", "; lost\n[Main]\nSlow = 1 ; on\n\nBare\n");
  ExpectRun({"ini", "fmt", m_dir.Join("in.ini"), m_dir.Join("out.ini")}, 0, "");
  EXPECT_EQ(m_dir.ReadFile("out.ini"), "[Main]\r\nSlow=1 ; on\r\nBare=\r\n\r\n");
}

TEST_F(TvkitTest, HelpListsTheSubcommandsAndUnknownOnesFail) {
  SProcessResult run = Run({"--help"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.out.find("ini"), std::string::npos);
  EXPECT_EQ(Run({"frobnicate"}).exit_code, 1);
}

}  // namespace
