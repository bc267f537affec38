// Pack lookups on a pack of 100,000 names (10 folders of 100 rooms of 100
// files), kept in a temporary file and read through the native file system:
// loading its directory, exact lookups of normalised names, and opens of
// virtual paths in any case through the mount table. The yardstick is a
// std::unordered_map of the same names to (offset, size), filled and asked
// the same way.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "fs/file_service.h"
#include "fs/native_fs.h"
#include "fs/pack_fs.h"
#include "fs/pack_writer.h"

namespace {

constexpr int kNames = 100000;

struct SSamplePack {
  std::string path;
  std::vector<std::string> names;
};

const SSamplePack& Sample() {
  static const SSamplePack sample = [] {
    SSamplePack pack;
    pack.path = (std::filesystem::temp_directory_path() / "tarvolin-bench.pak").string();
    std::vector<SPackItem> items;
    for (int i = 0; i < kNames; ++i) {
      pack.names.push_back("WORLD" + std::to_string(i / 10000) + "\\ROOM" +
                           std::to_string(i / 100 % 100) + "\\OBJECT" +
                           std::to_string(i % 100) + ".BMP");
      items.push_back({pack.names.back(), 0, static_cast<size_t>(i)});
    }
    MountNativeFileSystem();
    std::unique_ptr<CFile> out = FsOpen(
        pack.path.c_str(), kOpenWrite | kOpenCreate | kOpenTruncate, nullptr);
    WritePack(*out, items, [](size_t, CFile&) { return err::kOk; });
    return pack;
  }();
  return sample;
}

std::unique_ptr<CPackFS> LoadSample() {
  std::unique_ptr<CFile> file =
      FsOpen(Sample().path.c_str(), kOpenRead | kOpenShareRead, nullptr);
  auto pack = std::make_unique<CPackFS>(std::move(file));
  if (pack->Load() != err::kOk) return nullptr;
  return pack;
}

void BM_PackLoad(benchmark::State& state) {
  Sample();
  for (auto _ : state) benchmark::DoNotOptimize(LoadSample());
}
BENCHMARK(BM_PackLoad)->Unit(benchmark::kMillisecond);

// Looks up names of the sample in a random order with `find`.
template <class Find>
void FindRandomNames(benchmark::State& state, Find find) {
  std::mt19937 random(1);
  const std::vector<std::string>& names = Sample().names;
  for (auto _ : state) benchmark::DoNotOptimize(find(names[random() % kNames]));
  state.SetItemsProcessed(state.iterations());
}

void BM_PackFind(benchmark::State& state) {
  const std::unique_ptr<CPackFS> pack = LoadSample();
  SPackData data;
  FindRandomNames(state, [&](const std::string& name) {
    return pack->Directory().Find(name, &data);
  });
}
BENCHMARK(BM_PackFind);

using NameMap = std::unordered_map<std::string, std::pair<uint32_t, uint32_t>>;

NameMap FillMap() {
  NameMap map;
  uint32_t offset = 0;
  for (const std::string& name : Sample().names) map.emplace(name, std::pair{offset++, 0u});
  return map;
}

void BM_YardstickMapFill(benchmark::State& state) {
  Sample();
  for (auto _ : state) benchmark::DoNotOptimize(FillMap());
}
BENCHMARK(BM_YardstickMapFill)->Unit(benchmark::kMillisecond);

void BM_YardstickMapFind(benchmark::State& state) {
  const NameMap map = FillMap();
  FindRandomNames(state, [&](const std::string& name) { return map.find(name); });
}
BENCHMARK(BM_YardstickMapFind);

void BM_PackOpen(benchmark::State& state) {
  MountPack(LoadSample() ? FsOpen(Sample().path.c_str(), kOpenRead | kOpenShareRead,
                                  nullptr)
                         : nullptr,
            "/World/");
  std::vector<std::string> paths;
  for (const std::string& name : Sample().names) {
    std::string path = "/world/" + name;
    for (char& c : path) c = c == '\\' ? '/' : static_cast<char>(std::tolower(c));
    paths.push_back(path);
  }
  std::mt19937 random(2);
  for (auto _ : state)
    benchmark::DoNotOptimize(FsOpen(paths[random() % kNames].c_str(), kOpenRead, nullptr));
  state.SetItemsProcessed(state.iterations());
  UnmountPack("/World/");
}
BENCHMARK(BM_PackOpen);

}  // namespace

BENCHMARK_MAIN();
