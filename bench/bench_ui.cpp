// Speed of the window system on the headless platform.
//
// Click to screen: a raw left-down message through the top-level window's
// procedure to a 100 x 100 window that changes colour, and the present that
// puts it into the shown frame, as one pump pass does. Budget: 50 µs; the
// frame's memcpy and palette conversion run beside it.
//
// Real time, 10 s of the wall clock each, CPU time (user and system) in the
// counter cpu_ms; `sleep 10` measured the same way is the floor:
// - the engine on the built demo game left alone, the intro playing, and the
//   gallery shown by tvkit, its name edit's caret blinking. Budget: 50 ms
//   each;
// - the demo played to the Square (the intro skipped with clicks, the
//   House's door clicked) and left there for 10 s, its fountain and clock
//   running. Budget: 5 % of one core, 500 ms; the engine's own count of
//   presented frames and of its CPU time, from its exit statistics, beside.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "frame_yardsticks.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "ui/ui_rig.h"

namespace {

constexpr TRect kTarget{270, 190, 369, 289};

// Fills its rectangle, in the other of two colours after each left down.
class CClickWindow : public CWindow {
  TV_CLASS(CClickWindow, CWindow)

 public:
  explicit CClickWindow(CDesktop* desktop)
      : CWindow(desktop, desktop, kTarget, kStyleVisible) {}
  void Draw(const SDrawContext& context, const TRect&) override {
    context.Fill(GetRect(), m_colour);
  }
  bool OnMouse(uint32_t code, TPoint, int32_t) override {
    if (code != kEvLeftDown) return false;
    m_colour = m_colour == 10 ? 20 : 10;
    Invalidate();
    return true;
  }
  uint8_t Colour() const { return m_colour; }

 private:
  uint8_t m_colour = 10;
};

void BM_HeadlessClickToScreen(benchmark::State& state) {
  CUiRig rig;
  // The rig traces into a file; a click must not pay for that here.
  Tracer().Configure("", nullptr);
  CDesktop& desktop = rig.Desktop();
  auto* window = new CClickWindow(&desktop);
  desktop.Invalidate(desktop.GetRect(), nullptr, false);
  desktop.Present();
  SPlatformMessage click;
  click.kind = EPlatformMessage::kLeftDown;
  click.window = rig.Top().PlatformWindow();
  click.x = 320;
  click.y = 240;
  for (auto _ : state) {
    rig.Top().WindowProc(click);
    desktop.Present();
  }
  const SPresentedFrame shown = rig.Top().PlatformWindow()->Presented();
  for (int y = kTarget.top; y <= kTarget.bottom; ++y)
    for (int x = kTarget.left; x <= kTarget.right; ++x)
      if (shown.pixels[y * shown.width + x] != window->Colour())
        return state.SkipWithError("the click did not reach the screen");
}
BENCHMARK(BM_HeadlessClickToScreen)->Unit(benchmark::kMicrosecond);
BENCHMARK(FrameMemcpyYardstick)->Name("BM_YardstickFrameMemcpy")->Unit(benchmark::kMicrosecond);
BENCHMARK(FramePaletteTo32BitYardstick)
    ->Name("BM_YardstickFramePaletteTo32Bit")
    ->Unit(benchmark::kMicrosecond);

// Runs the program to its end; false when it cannot start or fails. Its CPU
// time, user and system, goes into the counter cpu_ms.
bool RunMeasured(benchmark::State& state, const std::string& program,
                 const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env, const CTempDir& work) {
  const SProcessResult run = CChildProcess(program, args, env, work.Join("child")).Wait();
  state.counters["cpu_ms"] = run.cpu_seconds * 1000;
  return run.exit_code == 0;
}

// The engine on the built demo, headless in real time, playing the folder's
// input.txt.
std::map<std::string, std::string> DemoInRealTime(const CTempDir& dir) {
  return {{"TARVOLIN_PLATFORM", "headless"},
          {"TARVOLIN_HEADLESS_REALTIME", "1"},
          {"TARVOLIN_DIR", TARVOLIN_DEMO_DIR},
          {"TARVOLIN_INPUT", dir.Join("input.txt")},
          {"XDG_RUNTIME_DIR", dir.Path()}};
}

void BM_HeadlessIdle10s(benchmark::State& state) {
  const CTempDir dir;
  dir.WriteFile("input.txt", "10000 quit\n");
  for (auto _ : state)
    if (!RunMeasured(state, TARVOLIN_BINARY, {}, DemoInRealTime(dir), dir))
      state.SkipWithError("the engine did not run cleanly");
}
BENCHMARK(BM_HeadlessIdle10s)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_GalleryCaretIdle10s(benchmark::State& state) {
  const CTempDir dir;
  dir.WriteFile("input.txt", "10000 quit\n");
  for (auto _ : state)
    if (!RunMeasured(state, TVKIT_BINARY, {"ui", "show", "/Tool Interface/Gallery/Gallery.ini"},
                     {{"TARVOLIN_PLATFORM", "headless"},
                      {"TARVOLIN_HEADLESS_REALTIME", "1"},
                      {"TARVOLIN_INPUT", dir.Join("input.txt")}},
                     dir))
      state.SkipWithError("tvkit did not run cleanly");
}
BENCHMARK(BM_GalleryCaretIdle10s)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Three clicks skip the intro into the House; the door leads to the Square,
// entered at about 520 ms, and the run ends 10 s later.
constexpr char kToTheSquare[] =
    "100 move 320 240\n100 ldown 320 240\n120 lup 320 240\n"
    "200 ldown 320 240\n220 lup 320 240\n300 ldown 320 240\n320 lup 320 240\n"
    "400 move 575 230\n500 ldown 575 230\n520 lup 575 230\n10520 quit\n";

// The value of `key` in the stats line of the trace, or -1.
double StatsField(const std::string& trace, const std::string& key) {
  const size_t line = trace.rfind("\tstats\t");
  const size_t at = line == std::string::npos ? line : trace.find(key + "=", line);
  return at == std::string::npos ? -1 : std::atof(trace.c_str() + at + key.size() + 1);
}

void BM_DemoSquareRealTime10s(benchmark::State& state) {
  const CTempDir dir;
  dir.WriteFile("input.txt", kToTheSquare);
  std::map<std::string, std::string> env = DemoInRealTime(dir);
  env.insert({{"TARVOLIN_TRACE", "views,stats"}, {"TARVOLIN_TRACE_FILE", dir.Join("trace.txt")}});
  for (auto _ : state)
    if (!RunMeasured(state, TARVOLIN_BINARY, {}, env, dir))
      state.SkipWithError("the engine did not run cleanly");
  const std::string text = dir.ReadFile("trace.txt");
  if (text.find("\tviews\tcurrent\tVillage/Square\t") == std::string::npos)
    return state.SkipWithError("the Square was not reached");
  state.counters["frames"] = StatsField(text, "frames");
  state.counters["stats_cpu_ms"] = StatsField(text, "cpu_ms");
}
BENCHMARK(BM_DemoSquareRealTime10s)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_YardstickSleep10s(benchmark::State& state) {
  const CTempDir dir;
  for (auto _ : state)
    if (!RunMeasured(state, "/bin/sleep", {"10"}, {}, dir))
      state.SkipWithError("sleep did not run");
}
BENCHMARK(BM_YardstickSleep10s)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
