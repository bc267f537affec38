// A test that runs tvkit as authors run it, in a temporary directory of its
// own. The test program defines TVKIT_BINARY.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"

class CTvkitTest : public ::testing::Test {
 protected:
  // Each run keeps its output in files of its own in the test's directory.
  SProcessResult Run(const std::vector<std::string>& args) {
    CChildProcess child(TVKIT_BINARY, args, {},
                        m_dir.Join("child" + std::to_string(m_runs++)));
    return child.Wait();
  }

  CTempDir m_dir;
  int m_runs = 0;
};
