// tvkit, run as authors run it.
#include <gtest/gtest.h>

#include "support/tvkit_fixture.h"

namespace {

class TvkitTest : public CTvkitTest {};

const char kIni[] =
    "[Main]\r\nSlow = 1 ; on\r\nX=first\r\nX=second\r\n[FS]\r\n/HDD/=Trans, ./\r\n";

}  // namespace

TEST_F(TvkitTest, IniGetAnswersAsTheEngineReadsIgnoringCase) {
  m_dir.WriteFile("tool.ini", kIni);
  const std::string file = m_dir.Join("tool.ini");
  SProcessResult run = Run({"ini", "get", file, "MAIN", "slow"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "1\n");
  run = Run({"ini", "get", file, "main", "x"});
  EXPECT_EQ(run.out, "second\n");
  run = Run({"ini", "get", file, "fs", "/hdd/"});
  EXPECT_EQ(run.out, "Trans, ./\n");
}

TEST_F(TvkitTest, IniGetOfAMissingKeyOrFileFails) {
  m_dir.WriteFile("tool.ini", kIni);
  SProcessResult run = Run({"ini", "get", m_dir.Join("tool.ini"), "Main", "Fast"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "error: NOTFOUND\n");
  run = Run({"ini", "get", m_dir.Join("none.ini"), "Main", "Slow"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "error: FILENOTFOUND\n");
}

TEST_F(TvkitTest, IniFmtWritesTheWritersForm) {
  m_dir.WriteFile("in.ini", "; lost\n[Main]\nSlow = 1 ; on\n\nBare\n");
  const SProcessResult run =
      Run({"ini", "fmt", m_dir.Join("in.ini"), m_dir.Join("out.ini")});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(m_dir.ReadFile("out.ini"), "[Main]\r\nSlow=1 ; on\r\nBare=\r\n\r\n");
}

TEST_F(TvkitTest, HelpListsTheSubcommandsAndUnknownOnesFail) {
  SProcessResult run = Run({"--help"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.out.find("ini"), std::string::npos);
  run = Run({"frobnicate"});
  EXPECT_EQ(run.exit_code, 1);
}
