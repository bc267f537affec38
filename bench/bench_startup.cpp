// Start-up of the engine on the built demo game.
//
// Whole run: headless start-up to the main loop, a quit at once, and
// shutdown. Budget: 20 ms; a process doing nothing, started the same way, is
// the floor.
//
// Exec to the first intro frame, median of 20 runs: from the spawn until the
// engine has presented the first frame of the intro (the first present after
// the intro window's first tick, read from the trace as it is written); the
// run is then ended with SIGTERM. Budgets: headless 25 ms; SDL on an Xvfb
// server 60 ms, beside a bare SDL program that opens a window and presents
// one 640 x 480 frame, on a server of its own started the same way.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/intro_window.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace {

using CClock = std::chrono::steady_clock;

constexpr int kFrameRuns = 20;
constexpr auto kPatience = std::chrono::seconds(10);

// A FIFO a child writes lines into, read here as they come. Opened for
// reading and writing, so that opening waits for no one and a child that
// never opens it shows as a timeout.
class CLineFifo {
 public:
  explicit CLineFifo(std::string path) : m_path(std::move(path)) {
    if (mkfifo(m_path.c_str(), 0600) == 0)
      m_fd = open(m_path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  }
  ~CLineFifo() {
    if (m_fd >= 0) close(m_fd);
    unlink(m_path.c_str());
  }
  CLineFifo(const CLineFifo&) = delete;
  CLineFifo& operator=(const CLineFifo&) = delete;

  const std::string& Path() const { return m_path; }
  bool Usable() const { return m_fd >= 0; }

  // The next whole line; false when none came before the deadline.
  bool NextLine(CClock::time_point deadline, std::string* line) {
    for (;;) {
      const size_t end = m_buffer.find('\n');
      if (end != std::string::npos) {
        line->assign(m_buffer, 0, end);
        m_buffer.erase(0, end + 1);
        return true;
      }
      if (!ReadSome(deadline)) return false;
    }
  }

  // Drops what the child still writes until it has ended, so that it never
  // waits on a full pipe.
  void DropUntilEnded(const CChildProcess& child) {
    while (child.Running()) ReadSome(CClock::now() + std::chrono::milliseconds(10));
    m_buffer.clear();
  }

 private:
  bool ReadSome(CClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - CClock::now());
    pollfd poller{m_fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&poller, 1, static_cast<int>(left.count())) <= 0) return false;
    char chunk[4096];
    const ssize_t got = read(m_fd, chunk, sizeof chunk);
    if (got > 0) m_buffer.append(chunk, static_cast<size_t>(got));
    return true;
  }

  std::string m_path;
  int m_fd = -1;
  std::string m_buffer;
};

// An X server of the frame's size for SDL to show its window on. Xvfb
// chooses a free display itself and names it, once it accepts clients, in a
// line on a pipe, which stays open while it runs: a closed pipe would be a
// fatal error to it.
class CXvfb {
 public:
  explicit CXvfb(const CTempDir& work) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return;
    m_ready = ready[0];
    // The server's end alone is handed down.
    fcntl(ready[1], F_SETFD, 0);
    m_server.emplace("/usr/bin/Xvfb",
                     std::vector<std::string>{"-displayfd", std::to_string(ready[1]), "-screen",
                                              "0", "640x480x24", "-nolisten", "tcp", "-noreset"},
                     std::map<std::string, std::string>{}, work.Join("xvfb"));
    close(ready[1]);
    std::string number;
    char c = 0;
    pollfd poller{m_ready, POLLIN, 0};
    while (poll(&poller, 1, 10000) == 1 && read(m_ready, &c, 1) == 1 && c != '\n') number += c;
    if (c == '\n') m_display = ":" + number;
  }
  ~CXvfb() {
    if (m_server) m_server->Signal(SIGTERM);
    m_server.reset();
    if (m_ready >= 0) close(m_ready);
  }
  CXvfb(const CXvfb&) = delete;
  CXvfb& operator=(const CXvfb&) = delete;

  // Empty when no server could be started.
  const std::string& Display() const { return m_display; }

 private:
  int m_ready = -1;
  std::optional<CChildProcess> m_server;
  std::string m_display;
};

// One program to time to its first frame, and how to tell that line in what
// it writes: the frame is the first line holding `frame` after one holding
// `after`.
struct SFrameRun {
  std::string program;
  std::vector<std::string> args;
  std::map<std::string, std::string> env;
  std::string after;
  std::string frame;
};

// Seconds from the spawn to the first frame; nothing when the frame did not
// come or the program did not end cleanly.
std::optional<double> TimeToFirstFrame(const SFrameRun& run, const CTempDir& work,
                                       CLineFifo& lines) {
  const CClock::time_point start = CClock::now();
  CChildProcess child(run.program, run.args, run.env, work.Join("child"));
  bool after_seen = run.after.empty();
  std::optional<double> seconds;
  std::string line;
  while (!seconds && lines.NextLine(start + kPatience, &line)) {
    if (after_seen && line.find(run.frame) != std::string::npos)
      seconds = std::chrono::duration<double>(CClock::now() - start).count();
    after_seen = after_seen || line.find(run.after) != std::string::npos;
  }
  child.Signal(SIGTERM);
  lines.DropUntilEnded(child);
  if (child.Wait().exit_code != 0) return std::nullopt;
  return seconds;
}

// Runs it kFrameRuns times; the iteration's time is the median. A first run,
// not counted, fills the file caches.
void MedianTimeToFirstFrame(benchmark::State& state, const SFrameRun& run, const CTempDir& work,
                            CLineFifo& lines) {
  if (!lines.Usable()) return state.SkipWithError("cannot make a FIFO");
  TimeToFirstFrame(run, work, lines);
  for (auto _ : state) {
    std::vector<double> times;
    for (int i = 0; i < kFrameRuns; ++i) {
      const std::optional<double> seconds = TimeToFirstFrame(run, work, lines);
      if (!seconds) return state.SkipWithError("no first frame, or no clean end");
      times.push_back(*seconds);
    }
    std::nth_element(times.begin(), times.begin() + kFrameRuns / 2, times.end());
    state.SetIterationTime(times[kFrameRuns / 2]);
  }
}

std::string IntroTickTrace() {
  char code[16];
  std::snprintf(code, sizeof code, "\t0x%X\t", CIntroWindow::kTick);
  return code;
}

// The engine on the demo, tracing the intro's ticks and the presents into
// the FIFO; `platform` adds what chooses the back end.
SFrameRun EngineRun(const CTempDir& work, const CLineFifo& lines,
                    std::map<std::string, std::string> platform) {
  platform.insert({{"TARVOLIN_DIR", TARVOLIN_DEMO_DIR},
                   {"XDG_RUNTIME_DIR", work.Path()},
                   {"TARVOLIN_TRACE", "event,present"},
                   {"TARVOLIN_TRACE_FILE", lines.Path()}});
  return {TARVOLIN_BINARY, {}, std::move(platform), IntroTickTrace(), "\tpresent\t"};
}

void BM_HeadlessExecToFirstIntroFrame(benchmark::State& state) {
  const CTempDir work;
  CLineFifo lines(work.Join("trace"));
  MedianTimeToFirstFrame(state, EngineRun(work, lines, {{"TARVOLIN_PLATFORM", "headless"}}),
                         work, lines);
}

// Runs `run_for(display)` on a fresh Xvfb; skips when none starts.
void OnXvfb(benchmark::State& state, const char* name,
            const std::function<SFrameRun(const CTempDir&, const CLineFifo&,
                                          const std::string&)>& run_for) {
  const CTempDir work;
  const CXvfb server(work);
  if (server.Display().empty()) {
    std::fprintf(stderr, "%s: no X server could be started (Xvfb); skipped\n", name);
    return state.SkipWithError("no X server");
  }
  CLineFifo lines(work.Join("trace"));
  MedianTimeToFirstFrame(state, run_for(work, lines, server.Display()), work, lines);
}

// SDL on that server's display, whatever else the environment offers.
std::map<std::string, std::string> OnDisplay(const std::string& display) {
  return {{"DISPLAY", display}, {"SDL_VIDEODRIVER", "x11"}};
}

// SDL's dummy audio driver stands in for a sound card.
void BM_SdlXvfbExecToFirstIntroFrame(benchmark::State& state) {
  OnXvfb(state, "BM_SdlXvfbExecToFirstIntroFrame",
         [](const CTempDir& work, const CLineFifo& lines, const std::string& display) {
           std::map<std::string, std::string> env = OnDisplay(display);
           env.insert({{"TARVOLIN_PLATFORM", "sdl"}, {"SDL_AUDIODRIVER", "dummy"}});
           return EngineRun(work, lines, std::move(env));
         });
}

void BM_YardstickBareSdlXvfbExecToFirstFrame(benchmark::State& state) {
  OnXvfb(state, "BM_YardstickBareSdlXvfbExecToFirstFrame",
         [](const CTempDir&, const CLineFifo& lines, const std::string& display) {
           return SFrameRun{SDL_FIRST_FRAME_BINARY, {lines.Path()}, OnDisplay(display), "",
                            "present"};
         });
}

// Runs the program to its end; false when it cannot start or fails.
bool RunToEnd(const std::string& program, const std::map<std::string, std::string>& env,
              const CTempDir& work) {
  return CChildProcess(program, {}, env, work.Join("child")).Wait().exit_code == 0;
}

void BM_HeadlessStartupAndShutdown(benchmark::State& state) {
  const CTempDir work;
  work.WriteFile("quit.txt", "0 quit\n");
  const std::map<std::string, std::string> env = {
      {"TARVOLIN_PLATFORM", "headless"},
      {"TARVOLIN_DIR", TARVOLIN_DEMO_DIR},
      {"TARVOLIN_INPUT", work.Join("quit.txt")},
      {"XDG_RUNTIME_DIR", work.Path()},
  };
  for (auto _ : state)
    if (!RunToEnd(TARVOLIN_BINARY, env, work))
      return state.SkipWithError("the engine did not end cleanly");
}

void BM_YardstickSpawnTrue(benchmark::State& state) {
  const CTempDir work;
  for (auto _ : state)
    if (!RunToEnd("/bin/true", {}, work)) return state.SkipWithError("/bin/true failed");
}

}  // namespace

BENCHMARK(BM_HeadlessStartupAndShutdown)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_YardstickSpawnTrue)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HeadlessExecToFirstIntroFrame)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SdlXvfbExecToFirstIntroFrame)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_YardstickBareSdlXvfbExecToFirstFrame)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
