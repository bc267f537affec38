// tvkit's whole-file writers with each write, flush and rename failing in
// turn: the file they replace stays whole, the new one only once renamed,
// and no copy is left beside it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/tvkit_fault_fixture.h"

namespace {

class TvkitWritersTest : public CTvkitFaultTest {};

TEST_F(TvkitWritersTest, AFailingStepLeavesTheOldOutputWhole) {
  m_dir.WriteFile("in.ini", "[S]\nk = v ; note\n");
  m_dir.WriteFile("d/a.txt", "a");
  m_dir.WriteFile("data", std::string(5000, 'x') + "tail");
  m_dir.WriteFile("p.gpl", "GIMP Palette\n1 2 3\n");
  m_dir.WriteFile("in.xpm", "/* XPM */ static char* x[] = {\"1 1 1 1\", \"a c #010203\", \"a\"};");
  const std::string out = m_dir.Join("out");
  const struct {
    RunFn run;
    std::vector<std::string> args;
  } commands[] = {
      {RunIni, {"ini", "fmt", m_dir.Join("in.ini"), out}},
      {RunPack, {"pack", "build", out, m_dir.Join("d")}},
      {RunLz, {"lz", "pack", "--codec", "lzss", m_dir.Join("data"), out}},
      {RunBmp, {"bmp", "from-xpm", out, m_dir.Join("in.xpm"), "--palette", m_dir.Join("p.gpl")}},
  };
  for (const auto& c : commands) {
    const std::string what = c.args[0] + " " + c.args[1] + ": ";
    m_dir.WriteFile("out", "old");
    Tvkit(c.run, c.args);
    const std::string made = m_dir.ReadFile("out");
    ASSERT_NE(made, "old") << what;
    ForEachFailure(
        [&] {
          m_dir.WriteFile("out", "old");
          Tvkit(c.run, c.args);
        },
        [&](bool renamed, const std::string& at) {
          EXPECT_EQ(m_dir.ReadFile("out"), renamed ? made : "old") << what << at;
          EXPECT_FALSE(m_dir.Exists("out.new")) << what << at;
        });
  }
}

}  // namespace
