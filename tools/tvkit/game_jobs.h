// Running a game's recipes: each one a run of tvkit itself (after
// rsvg-convert for pictures) that writes its output into the cache.
#pragma once

#include <string>
#include <vector>

#include "game_plan.h"

struct SJobTools {
  std::string self;     // tvkit
  std::string source;   // the source folder
  std::string palette;  // the game's palette file
  std::string renders;  // the folder of the SVGs' renderings
};

// Runs the jobs whose outputs do not exist yet (every job when `fresh`), at
// most `parallel` at a time, and starts no more after one fails. False with
// the messages of the failures, placed at their source files.
bool RunGameJobs(const std::vector<SGameJob>& jobs, const SJobTools& tools, int parallel,
                 bool fresh, size_t* ran, std::vector<std::string>* errors);
