// Speed of the window system on the headless platform.
//
// Click to screen: a raw left-down message through the top-level window's
// procedure to a 100 x 100 window that changes colour, and the present that
// puts it into the shown frame, as one pump pass does. Budget: 50 µs; the
// frame's memcpy and palette conversion run beside it.
//
// Idle: the engine on the demo folder, headless in real time, left alone for
// 10 s; and the gallery shown by tvkit the same way, its name edit's caret
// blinking. Budget: 0.05 s of CPU each, the counter cpu_s; `sleep 10`
// measured the same way is the floor.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "frame_yardsticks.h"
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
// time, user and system, goes into the counter cpu_s.
bool RunMeasured(benchmark::State& state, std::vector<std::string> args,
                 std::vector<std::string> env) {
  std::vector<char*> argv, envp;
  for (std::string& arg : args) argv.push_back(arg.data());
  for (std::string& entry : env) envp.push_back(entry.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return false;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return false;
  const auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
  state.counters["cpu_s"] = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  return true;
}

void BM_HeadlessIdle10s(benchmark::State& state) {
  const std::filesystem::path work =
      std::filesystem::temp_directory_path() / "tarvolin-bench-idle";
  std::filesystem::create_directories(work);
  std::ofstream(work / "quit.txt") << "10000 quit\n";
  for (auto _ : state)
    if (!RunMeasured(state, {TARVOLIN_BINARY},
                     {"TARVOLIN_PLATFORM=headless", "TARVOLIN_HEADLESS_REALTIME=1",
                      "TARVOLIN_DIR=" TARVOLIN_DEMO_DIR,
                      "TARVOLIN_INPUT=" + (work / "quit.txt").string(),
                      "XDG_RUNTIME_DIR=" + work.string()}))
      state.SkipWithError("the engine did not run cleanly");
  std::filesystem::remove_all(work);
}
BENCHMARK(BM_HeadlessIdle10s)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_GalleryCaretIdle10s(benchmark::State& state) {
  const std::filesystem::path work =
      std::filesystem::temp_directory_path() / "tarvolin-bench-caret";
  std::filesystem::create_directories(work);
  std::ofstream(work / "quit.txt") << "10000 quit\n";
  for (auto _ : state)
    if (!RunMeasured(state,
                     {TVKIT_BINARY, "ui", "show", "/Tool Interface/Gallery/Gallery.ini"},
                     {"TARVOLIN_PLATFORM=headless", "TARVOLIN_HEADLESS_REALTIME=1",
                      "TARVOLIN_INPUT=" + (work / "quit.txt").string()}))
      state.SkipWithError("tvkit did not run cleanly");
  std::filesystem::remove_all(work);
}
BENCHMARK(BM_GalleryCaretIdle10s)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_YardstickSleep10s(benchmark::State& state) {
  for (auto _ : state)
    if (!RunMeasured(state, {"/bin/sleep", "10"}, {}))
      state.SkipWithError("sleep did not run");
}
BENCHMARK(BM_YardstickSleep10s)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
