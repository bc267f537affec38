// Presents of the two back ends: a 64 x 64 present against the full frame's
// as yardstick (aim: under 3 % of it), headless and with SDL's offscreen
// driver and software renderer; and SDL from start to the first frame shown,
// beside a bare SDL program doing the same (init, window, renderer,
// streaming texture, one present). The start needs a display: run it under
// Xvfb (xvfb-run bench_present); without DISPLAY it takes the offscreen
// driver.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/headless_platform.h"
#include "platform/sdl_api.h"
#include "platform/sdl_platform.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// Two pictures presented in turn, so that every present changes pixels.
struct SFrames {
  static constexpr size_t kSize = size_t{kWidth} * kHeight;
  std::vector<uint8_t> pictures[2] = {std::vector<uint8_t>(kSize, 1),
                                      std::vector<uint8_t>(kSize, 2)};
  std::vector<SRgb> palette = std::vector<SRgb>(256, SRgb{40, 80, 120});
};

// range(0): the side of the presented square; 0 for the whole frame.
void PresentLoop(benchmark::State& state, CPlatformWindow& window) {
  SFrames frames;
  window.SetPalette(frames.palette);
  const int side = static_cast<int>(state.range(0));
  const TRect square[] = {{100, 100, static_cast<int16_t>(100 + side - 1),
                           static_cast<int16_t>(100 + side - 1)}};
  const std::span<const TRect> rects =
      side ? std::span<const TRect>(square) : std::span<const TRect>();
  window.Present(frames.pictures[0].data(), kWidth, kHeight, kWidth, {});
  int turn = 0;
  for (auto _ : state) {
    turn ^= 1;
    window.Present(frames.pictures[turn].data(), kWidth, kHeight, kWidth,
                   rects);
  }
}

void BM_HeadlessPresent(benchmark::State& state) {
  CHeadlessPlatform platform{SHeadlessOptions{}};
  ErrCode error = err::kOk;
  auto window = platform.CreateWindow(kWidth, kHeight, &error);
  PresentLoop(state, *window);
}
BENCHMARK(BM_HeadlessPresent)->Arg(0)->Arg(64);

void BM_SdlOffscreenPresent(benchmark::State& state) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_RENDER_DRIVER", "software", 1);
  setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
  ErrCode error = err::kOk;
  auto platform = CSdlPlatform::Create(&error);
  unsetenv("SDL_VIDEODRIVER");
  if (!platform) return state.SkipWithError("SDL cannot start");
  auto window = platform->CreateWindow(kWidth, kHeight, &error);
  PresentLoop(state, *window);
  window.reset();
  unsetenv("SDL_RENDER_DRIVER");
  unsetenv("SDL_FRAMEBUFFER_ACCELERATION");
}
BENCHMARK(BM_SdlOffscreenPresent)->Arg(0)->Arg(64);

// Start-up without a display goes to the offscreen driver.
void ChooseStartDriver() {
  if (!std::getenv("DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 1);
}

void BM_SdlStartToFirstFrame(benchmark::State& state) {
  ChooseStartDriver();
  SFrames frames;
  for (auto _ : state) {
    ErrCode error = err::kOk;
    auto platform = CSdlPlatform::Create(&error);
    if (!platform) return state.SkipWithError("SDL cannot start");
    auto window = platform->CreateWindow(kWidth, kHeight, &error);
    window->SetPalette(frames.palette);
    window->Present(frames.pictures[0].data(), kWidth, kHeight, kWidth, {});
    window->Show();
    if (state.iterations() == 0)
      state.SetLabel(Sdl().SDL_GetCurrentVideoDriver());
    window.reset();
  }
}
BENCHMARK(BM_SdlStartToFirstFrame)->Unit(benchmark::kMillisecond);

// The same with SDL's calls alone.
void BM_BareSdlStartToFirstFrame(benchmark::State& state) {
  ChooseStartDriver();
  if (!LoadSdlApi()) return state.SkipWithError("no SDL");
  const SSdlApi& sdl = Sdl();
  std::vector<uint32_t> pixels(kWidth * kHeight, 0xFF285078);
  for (auto _ : state) {
    if (sdl.SDL_Init(SDL_INIT_VIDEO) != 0)
      return state.SkipWithError("SDL cannot start");
    SDL_Window* window =
        sdl.SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                             kWidth, kHeight, SDL_WINDOW_HIDDEN);
    SDL_Renderer* renderer = sdl.SDL_CreateRenderer(window, -1, 0);
    SDL_Texture* texture =
        sdl.SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888,
                              SDL_TEXTUREACCESS_STREAMING, kWidth, kHeight);
    void* target = nullptr;
    int pitch = 0;
    if (sdl.SDL_LockTexture(texture, nullptr, &target, &pitch) == 0) {
      for (int y = 0; y < kHeight; ++y)
        std::copy_n(pixels.data() + y * kWidth, kWidth,
                    reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(target) +
                                                y * pitch));
      sdl.SDL_UnlockTexture(texture);
    }
    sdl.SDL_RenderCopy(renderer, texture, nullptr, nullptr);
    sdl.SDL_RenderPresent(renderer);
    sdl.SDL_ShowWindow(window);
    sdl.SDL_DestroyTexture(texture);
    sdl.SDL_DestroyRenderer(renderer);
    sdl.SDL_DestroyWindow(window);
    sdl.SDL_Quit();
  }
}
BENCHMARK(BM_BareSdlStartToFirstFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
