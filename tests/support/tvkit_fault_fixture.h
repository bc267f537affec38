// tvkit's subcommands run in the test's own process over the native file
// system seen through a fault layer (support/fault_file.h), so that a
// command can be failed or stopped at any one of its steps. The test
// program links the commands' library.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "support/fault_native_fs.h"

class CTvkitFaultTest : public CFaultNativeFsTest {
 protected:
  using RunFn = int (*)(int argc, char** argv);

  // Runs a subcommand (`args` start with its name); answers what it printed
  // on standard output, its errors dropped.
  static std::string Tvkit(RunFn run, std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    run(static_cast<int>(argv.size()), argv.data());
    std::fflush(stdout);
    std::fflush(stderr);
    testing::internal::GetCapturedStderr();
    return testing::internal::GetCapturedStdout();
  }

  // Runs `command` once whole to count its steps, then once for each write,
  // flush and rename failing in turn; after each run `check` is told
  // whether the rename had been done (only a failing flush of the folder,
  // the last flush, comes after it) and where the failure was.
  void ForEachFailure(const std::function<void()>& command,
                      const std::function<void(bool renamed, const std::string& at)>& check) {
    *m_plan = SFaultPlan{};
    command();
    const SFaultPlan counted = *m_plan;
    ASSERT_EQ(counted.renames, 1);
    ASSERT_GT(counted.writes, 0);
    const struct {
      const char* kind;
      int SFaultPlan::*strike;
      int count;
    } kinds[] = {{"write ", &SFaultPlan::fail_write, counted.writes},
                 {"flush ", &SFaultPlan::fail_flush, counted.flushes},
                 {"rename ", &SFaultPlan::fail_rename, counted.renames}};
    for (const auto& kind : kinds) {
      for (int n = 1; n <= kind.count; ++n) {
        *m_plan = SFaultPlan{};
        (*m_plan).*kind.strike = n;
        command();
        *m_plan = SFaultPlan{};
        const bool folder_flush = kind.strike == &SFaultPlan::fail_flush && n == kind.count;
        check(folder_flush, kind.kind + std::to_string(n));
      }
    }
  }
};
