// Speed of INI loading, saving and lookups on a generated file of about
// 1 MB (1000 sections of 30 keys with random names), kept in a temporary directory and
// read through the native file system; beside it the yardstick: reading the
// same file and splitting it into lines, the least any loader does.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fs/file_service.h"
#include "fs/native_fs.h"
#include "store/hash_ini.h"

namespace {

constexpr int kSections = 1000;
constexpr int kKeysPerSection = 30;

// Names of 4 to 12 random letters. The INI hash is the same for names with
// the same letters in any order, so numbered names ("Key1", "Key2", ...)
// would pile into few buckets; real files name things by words.
std::vector<std::string> RandomNames(int count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    std::string name(4 + random() % 9, ' ');
    for (char& c : name) c = static_cast<char>((i % 2 ? 'A' : 'a') + random() % 26);
    names.push_back(name);
  }
  return names;
}

const std::vector<std::string> kSectionNames = RandomNames(kSections, 1);
const std::vector<std::string> kKeyNames = RandomNames(kSections * kKeysPerSection, 2);

const std::string& SectionName(int s) { return kSectionNames[s]; }
const std::string& KeyName(int s, int k) { return kKeyNames[s * kKeysPerSection + k]; }

std::string GenerateText() {
  std::string text;
  for (int s = 0; s < kSections; ++s) {
    text += '[';
    text += SectionName(s);
    text += ']';
    text += s % 3 == 0 ? " ; section comment\r\n" : "\r\n";
    for (int k = 0; k < kKeysPerSection; ++k) {
      text += KeyName(s, k);
      text += " = ";
      switch (k % 4) {
        case 0:
          text += std::to_string(s * 37 + k);
          break;
        case 1:
          text.append("10, 20, 100, ").append(std::to_string(k));
          break;
        case 2:
          text.append("/Game Interface/Cursors/c")
              .append(std::to_string(k))
              .append(".bmp");
          break;
        default:
          text += "HIDDEN, TRANSPARENT ; why";
          break;
      }
      text += "\r\n";
    }
    text += "\r\n";
  }
  return text;
}

// The generated file and a place to save, removed at exit.
class CBenchFiles {
 public:
  CBenchFiles() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tarvolin-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    m_dir = pattern;
    m_text = GenerateText();
    std::ofstream(In(), std::ios::binary) << m_text;
  }
  ~CBenchFiles() {
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
  }
  CBenchFiles(const CBenchFiles&) = delete;
  CBenchFiles& operator=(const CBenchFiles&) = delete;

  std::string In() const { return m_dir + "/in.ini"; }
  std::string Out() const { return m_dir + "/out.ini"; }
  const std::string& Text() const { return m_text; }

 private:
  std::string m_dir;
  std::string m_text;
};

CBenchFiles* g_files = nullptr;

void BM_Load(benchmark::State& state) {
  CHashIni ini(100, 1000);
  for (auto _ : state)
    if (ini.Load(g_files->In().c_str()) != err::kOk) state.SkipWithError("load failed");
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(g_files->Text().size()));
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

void BM_YardstickReadAndSplitLines(benchmark::State& state) {
  std::vector<std::string_view> lines;
  for (auto _ : state) {
    std::ifstream in(g_files->In(), std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    lines.clear();
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
      end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      lines.emplace_back(text.data() + start, end - start);
    }
    benchmark::DoNotOptimize(lines.data());
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(g_files->Text().size()));
}
BENCHMARK(BM_YardstickReadAndSplitLines)->Unit(benchmark::kMillisecond);

void BM_LoadText(benchmark::State& state) {
  CHashIni ini(100, 1000);
  for (auto _ : state) ini.LoadText(g_files->Text());
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(g_files->Text().size()));
}
BENCHMARK(BM_LoadText)->Unit(benchmark::kMillisecond);

void BM_Save(benchmark::State& state) {
  CHashIni ini(100, 1000);
  ini.Load(g_files->In().c_str());
  const auto size = static_cast<int64_t>(ini.Text().size());
  for (auto _ : state)
    if (ini.Save(g_files->Out().c_str()) != err::kOk) state.SkipWithError("save failed");
  state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

// Arguments: section buckets, key buckets.
void BM_GetString(benchmark::State& state) {
  CHashIni ini(static_cast<uint32_t>(state.range(0)),
               static_cast<uint32_t>(state.range(1)));
  ini.Load(g_files->In().c_str());
  std::vector<std::pair<std::string, std::string>> names;
  for (int s = 0; s < kSections; ++s)
    for (int k = 0; k < kKeysPerSection; ++k)
      names.emplace_back(SectionName(s), KeyName(s, k));
  std::shuffle(names.begin(), names.end(), std::mt19937(7));
  for (auto _ : state)
    for (const auto& [section, key] : names)
      benchmark::DoNotOptimize(ini.GetString(section.c_str(), key.c_str()));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}
BENCHMARK(BM_GetString)
    ->Args({100, 1000})
    ->Args({1024, 32768})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  MountNativeFileSystem();
  int result = 0;
  {
    CBenchFiles files;
    g_files = &files;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
      result = 1;
    } else {
      benchmark::RunSpecifiedBenchmarks();
      benchmark::Shutdown();
    }
    g_files = nullptr;
  }
  ShutdownFileService();
  return result;
}
