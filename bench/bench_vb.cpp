// Speed of the value base on a project of 10,110 containers and 100,000
// values, four container levels deep (fan-out 10, 10, 10, 9), kept in a
// temporary file and read through the native file system.
//
// Yardsticks measured in the same run: the same lookups as primary-key
// queries of SQLite on a table of whole paths, and as std::unordered_map
// lookups of the whole path (the practical limit).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "fs/file_service.h"
#include "fs/native_fs.h"
#include "store/value_base.h"
#include "store/vb_walker.h"

namespace {

constexpr int kFanOut[] = {10, 10, 10, 9};
constexpr int kValuesPerContainer = 10;
constexpr int kLookupPaths = 4096;

std::vector<std::string> RandomNames(int count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    std::string name(5 + random() % 8, ' ');
    for (char& c : name) c = static_cast<char>((i % 2 ? 'A' : 'a') + random() % 26);
    names.push_back(name);
  }
  return names;
}

struct SLookup {
  std::string folder;  // a container path, four levels deep
  std::string name;    // a value in it
};

class CProjectFixture {
 public:
  CProjectFixture() {
    MountNativeFileSystem();
    m_path = (std::filesystem::temp_directory_path() / "tarvolin-bench-vb.prj").string();
    for (int level = 0; level < 4; ++level) m_level_names.push_back(RandomNames(10, level + 1));
    m_value_names = RandomNames(kValuesPerContainer, 99);
    Build();
    BuildYardsticks();
  }
  ~CProjectFixture() {
    sqlite3_close(m_db);
    std::filesystem::remove(m_path);
    std::filesystem::remove(m_path + ".db");
    ShutdownFileService();
  }

  const std::string& Path() const { return m_path; }
  const std::vector<SLookup>& Lookups() const { return m_lookups; }
  const std::unordered_map<std::string, std::vector<uint8_t>>& Map() const { return m_map; }
  sqlite3* Db() const { return m_db; }

 private:
  void AddValues(CValueBase* vb, StoreHandle handle, const std::string& path, int seed) {
    COpenContainer container(vb, handle);
    for (int v = 0; v < kValuesPerContainer; ++v) {
      const int32_t number = seed * 16 + v;
      const std::vector<uint8_t> value = MakeValue(kValueLong, &number, 4);
      container->SetValue(m_value_names[v], value.data());
      m_map[path + m_value_names[v]] = value;
    }
  }

  void Fill(CValueBase* vb, StoreHandle handle, const std::string& path, int level, int* seed) {
    if (level == 4) {
      AddValues(vb, handle, path, ++*seed);
      if (m_lookups.size() < kLookupPaths)
        m_lookups.push_back({path, m_value_names[*seed % kValuesPerContainer]});
      return;
    }
    if (level == 3) AddValues(vb, handle, path, ++*seed);
    for (int i = 0; i < kFanOut[level]; ++i) {
      const std::string& name = m_level_names[level][i];
      const StoreHandle child = vb->LinkContainer(vb->CreateContainer(), handle, name);
      Fill(vb, child, path + name + "/", level + 1, seed);
    }
  }

  void Build() {
    std::unique_ptr<CFile> file = FsOpen(m_path.c_str(), 0xCF, nullptr);
    CBFHP store;
    store.Create(file.get(), 256, CBFHP::kNoLimit);
    CObjectCache cache;
    CValueBase vb(&store, &cache);
    vb.Init();
    int seed = 0;
    Fill(&vb, vb.Root(), "/", 0, &seed);
    vb.Flush();
    std::shuffle(m_lookups.begin(), m_lookups.end(), std::mt19937(5));
  }

  void BuildYardsticks() {
    sqlite3_open((m_path + ".db").c_str(), &m_db);
    sqlite3_exec(m_db,
                 "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-262144;"
                 "PRAGMA locking_mode=EXCLUSIVE;"
                 "CREATE TABLE IF NOT EXISTS v(path TEXT PRIMARY KEY, value BLOB) WITHOUT ROWID;"
                 "DELETE FROM v; BEGIN;",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(m_db, "INSERT INTO v VALUES(?, ?)", -1, &insert, nullptr);
    for (const auto& [path, value] : m_map) {
      sqlite3_bind_text(insert, 1, path.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_blob(insert, 2, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(m_db, "COMMIT;", nullptr, nullptr, nullptr);
  }

  std::string m_path;
  std::vector<std::vector<std::string>> m_level_names;
  std::vector<std::string> m_value_names;
  std::vector<SLookup> m_lookups;
  std::unordered_map<std::string, std::vector<uint8_t>> m_map;
  sqlite3* m_db = nullptr;
};

CProjectFixture& Fixture() {
  static CProjectFixture fixture;
  return fixture;
}

// An open project with every container in the cache.
struct SOpenProject {
  explicit SOpenProject(const std::string& path, uint16_t mode = 0x41)
      : file(FsOpen(path.c_str(), mode, nullptr)), cache(100000, 256 << 20) {
    store.Open(file.get());
    vb = std::make_unique<CValueBase>(&store, &cache);
    vb->Init();
  }
  ~SOpenProject() { vb.reset(); }
  std::unique_ptr<CFile> file;
  CBFHP store;
  CObjectCache cache;
  std::unique_ptr<CValueBase> vb;
};

int64_t WalkAll(CValueBase* vb) {
  CVBWalker walker(vb);
  int64_t values = 0;
  walker.Walk([&](CVBContainer*, const std::string&, const uint8_t*) {
    ++values;
    return 0;
  });
  return values;
}

void BM_FindPathAndGetValue(benchmark::State& state) {
  SOpenProject project(Fixture().Path());
  WalkAll(project.vb.get());
  const std::vector<SLookup>& lookups = Fixture().Lookups();
  size_t i = 0;
  for (auto _ : state) {
    const SLookup& lookup = lookups[i++ % lookups.size()];
    CVBContainer* container = project.vb->OpenContainer(project.vb->FindPath(lookup.folder, 0));
    benchmark::DoNotOptimize(container->GetValue(lookup.name, 0));
    project.vb->CloseContainer(container);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindPathAndGetValue);

void BM_SqlitePrimaryKeyLookup(benchmark::State& state) {
  sqlite3* db = Fixture().Db();
  sqlite3_stmt* select = nullptr;
  sqlite3_prepare_v2(db, "SELECT value FROM v WHERE path = ?", -1, &select, nullptr);
  std::vector<std::string> paths;
  for (const SLookup& lookup : Fixture().Lookups()) paths.push_back(lookup.folder + lookup.name);
  size_t i = 0;
  for (auto _ : state) {
    const std::string& path = paths[i++ % paths.size()];
    sqlite3_bind_text(select, 1, path.c_str(), static_cast<int>(path.size()), SQLITE_STATIC);
    if (sqlite3_step(select) == SQLITE_ROW) benchmark::DoNotOptimize(sqlite3_column_blob(select, 0));
    sqlite3_reset(select);
  }
  sqlite3_finalize(select);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SqlitePrimaryKeyLookup);

void BM_UnorderedMapLookup(benchmark::State& state) {
  const auto& map = Fixture().Map();
  std::vector<std::string> paths;
  for (const SLookup& lookup : Fixture().Lookups()) paths.push_back(lookup.folder + lookup.name);
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(map.find(paths[i++ % paths.size()]));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UnorderedMapLookup);

void BM_OpenAndWalkEveryValue(benchmark::State& state) {
  int64_t values = 0;
  for (auto _ : state) {
    SOpenProject project(Fixture().Path());
    values = WalkAll(project.vb.get());
  }
  state.counters["values"] = static_cast<double>(values);
}
BENCHMARK(BM_OpenAndWalkEveryValue)->Unit(benchmark::kMillisecond);

// Every long value rewritten with one of equal size, then a flush.
void BM_UpdateInPlaceAndFlush(benchmark::State& state) {
  SOpenProject project(Fixture().Path(), 0xC3);
  const uint32_t size_before = project.file->GetSize();
  int32_t round = 0;
  int64_t updated = 0;
  for (auto _ : state) {
    ++round;
    updated = 0;
    CVBWalker walker(project.vb.get());
    walker.Walk([&](CVBContainer* container, const std::string& name, const uint8_t* value) {
      if (ValueType(value) != kValueLong) return 0;
      const int32_t number = static_cast<int32_t>(ValueWord(value, 0)) + round;
      container->SetValue(name, MakeValue(kValueLong, &number, 4).data());
      ++updated;
      return 0;
    });
    project.vb->Flush();
  }
  state.counters["values"] = static_cast<double>(updated);
  state.counters["file_growth"] = static_cast<double>(project.file->GetSize()) - size_before;
}
BENCHMARK(BM_UpdateInPlaceAndFlush)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
