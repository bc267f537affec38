// A test that runs tvkit as authors run it, in a temporary directory of its
// own. The test program defines TVKIT_BINARY.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"

class CTvkitTest : public ::testing::Test {
 protected:
  // Each run keeps its output in files of its own in the test's directory;
  // `env` adds to the test's environment.
  SProcessResult Run(const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& env = {}) {
    CChildProcess child(TVKIT_BINARY, args, env, m_dir.Join("child" + std::to_string(m_runs++)));
    return child.Wait();
  }

  // Runs tvkit and expects how it ends: its exit code, all it wrote to
  // standard output and all it wrote to standard error.
  void ExpectRun(const std::vector<std::string>& args, int exit_code, const std::string& out,
                 const std::string& err = "", const std::map<std::string, std::string>& env = {}) {
    std::string command;
    for (const std::string& arg : args) command += arg + " ";
    SCOPED_TRACE(command);
    const SProcessResult run = Run(args, env);
    EXPECT_EQ(run.exit_code, exit_code);
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(run.err, err);
  }

  CTempDir m_dir;
  int m_runs = 0;
};
