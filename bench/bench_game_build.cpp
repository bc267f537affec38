// Building a game folder from its sources (games/demo, or the folder named by
// TV_BENCH_GAME) with tvkit game build: a clean build beside the time
// rsvg-convert alone takes on the same SVGs (the build's floor, run one after
// the other here while the build runs two recipes at a time), a rebuild with
// nothing changed, the size of the packs and the project, and the pictures'
// pixels compressed by our LZSS (with the game's parameter) beside zlib
// level 6 (the yardstick).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "fs/file_service.h"
#include "fs/lzss.h"
#include "fs/native_fs.h"
#include "game_plan.h"
#include "gfx/bmp.h"
#include "svg.h"

namespace {

namespace fs = std::filesystem;

std::string Source() {
  const char* chosen = std::getenv("TV_BENCH_GAME");
  return chosen ? chosen : TARVOLIN_DEMO_DIR;
}

std::string Out() { return (fs::temp_directory_path() / "tarvolin-bench-game").string(); }

bool BuildGame() {
  return RunChild({TVKIT_BINARY, "game", "build", Out(), Source()}, "/dev/null", "") == 0;
}

void RemoveBuild() {
  fs::remove_all(Out());
  fs::remove_all(Out() + ".cache");
}

std::vector<std::string> Svgs() {
  std::vector<std::string> svgs;
  for (const auto& entry : fs::recursive_directory_iterator(Source())) {
    const std::string relative = fs::relative(entry.path(), Source()).generic_string();
    if (entry.path().extension() == ".svg" && !relative.starts_with("world/"))
      svgs.push_back(entry.path().string());
  }
  return svgs;
}

void BM_CleanBuild(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    RemoveBuild();
    state.ResumeTiming();
    if (!BuildGame()) state.SkipWithError("the build failed");
  }
  uintmax_t bytes = 0;
  for (const auto& entry : fs::directory_iterator(Out()))
    if (entry.path().extension() == ".pak" || entry.path().extension() == ".prj")
      bytes += entry.file_size();
  state.counters["packs_and_project_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_CleanBuild)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_RsvgConvertAlone(benchmark::State& state) {
  const std::vector<std::string> svgs = Svgs();
  const std::string png = Out() + "-yardstick.png";
  for (auto _ : state)
    for (const std::string& svg : svgs) {
      std::string message;
      if (!RenderSvg(svg, png, &message)) state.SkipWithError(message.c_str());
    }
  fs::remove(png);
  state.counters["svgs"] = static_cast<double>(svgs.size());
}
BENCHMARK(BM_RsvgConvertAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_NoChangeRebuild(benchmark::State& state) {
  if (!BuildGame()) state.SkipWithError("the build failed");
  for (auto _ : state)
    if (!BuildGame()) state.SkipWithError("the build failed");
}
BENCHMARK(BM_NoChangeRebuild)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The pixels of every picture the last build made.
const std::vector<std::vector<uint8_t>>& Pictures() {
  static const std::vector<std::vector<uint8_t>> pictures = [] {
    std::vector<std::vector<uint8_t>> all;
    MountNativeFileSystem();
    SetBmpDecodeAtLoad(true);
    if (!fs::exists(Out() + ".cache")) BuildGame();
    for (const auto& entry : fs::directory_iterator(Out() + ".cache")) {
      if (entry.path().extension() != ".bmp") continue;
      ErrCode error = err::kOk;
      const std::unique_ptr<CBitmap> bitmap = LoadBmp(entry.path().c_str(), &error, false);
      if (!bitmap) continue;
      CBitmapLock lock(*bitmap);
      const uint8_t* first = bitmap->PixelAddress(0, bitmap->RowOrder() > 0 ? 0 : bitmap->Height() - 1);
      all.emplace_back(first, first + bitmap->ByteCount());
    }
    return all;
  }();
  return pictures;
}

void ReportSizes(benchmark::State& state, uintmax_t packed) {
  uintmax_t raw = 0;
  for (const auto& pixels : Pictures()) raw += pixels.size();
  state.counters["pixel_bytes"] = static_cast<double>(raw);
  state.counters["packed_bytes"] = static_cast<double>(packed);
}

void BM_PicturesLzss(benchmark::State& state) {
  uintmax_t packed = 0;
  for (auto _ : state) {
    packed = 0;
    for (const auto& pixels : Pictures()) {
      std::vector<uint8_t> out(pixels.size());
      auto length = static_cast<uint32_t>(out.size());
      const auto parameter = static_cast<uint8_t>(std::strtoul(kGameLzss, nullptr, 0));
      const bool fits = LzssEncode(parameter, pixels.data(), static_cast<uint32_t>(pixels.size()),
                                   out.data(), &length, nullptr) == err::kOk;
      packed += fits ? length : pixels.size();  // the writer stores such pixels plain
    }
  }
  ReportSizes(state, packed);
}
BENCHMARK(BM_PicturesLzss)->Unit(benchmark::kMillisecond);

void BM_PicturesZlib6(benchmark::State& state) {
  uintmax_t packed = 0;
  for (auto _ : state) {
    packed = 0;
    for (const auto& pixels : Pictures()) {
      uLongf length = compressBound(pixels.size());
      std::vector<Bytef> out(length);
      compress2(out.data(), &length, pixels.data(), pixels.size(), 6);
      packed += length;
    }
  }
  ReportSizes(state, packed);
}
BENCHMARK(BM_PicturesZlib6)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
