// Kills runs of a program at random moments, for tests of writes that must
// leave the old file or the new one whatever moment a kill comes at.
#pragma once

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <thread>

#include "support/process.h"

// Times three whole runs of `start(0)`, then kills `kills` runs of
// `start(n)` (n from 1) at random moments within the shortest of them,
// calling `after(n)` once each is gone. The moments come from a fixed seed;
// what `after` checks must hold at any moment.
inline void KillRunsAtRandomMoments(const std::function<std::unique_ptr<CChildProcess>(int)>& start,
                                    int kills, const std::function<void(int)>& after) {
  // The shortest whole run: a slow first run must not stretch the kills
  // past the end of the later ones.
  auto full = std::chrono::steady_clock::duration::max();
  for (int i = 0; i < 3; ++i) {
    const auto started = std::chrono::steady_clock::now();
    start(0)->Wait();
    full = std::min(full, std::chrono::steady_clock::now() - started);
  }
  std::mt19937 random(11);
  for (int kill_number = 1; kill_number <= kills; ++kill_number) {
    const std::unique_ptr<CChildProcess> run = start(kill_number);
    std::this_thread::sleep_for(full * (random() % 1000) / 1000);
    run->Signal(SIGKILL);
    run->Wait();
    after(kill_number);
  }
}
