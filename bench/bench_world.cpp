// The handler call of the world against its yardsticks: a warm call of an
// empty "void, int, int, str" handler beside a plain CallBlock of the same
// block (which decodes it every time) and, when Lua 5.4 is installed, a
// pcall of an empty three-argument Lua function; and the call of a handler
// the object does not have.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#ifdef TV_BENCH_LUA
#include <lua.hpp>
#endif

#include "fs/memory_file.h"
#include "world/bindings/bindings.h"
#include "script/script_machine.h"
#include "store/hash_ini.h"
#include "store/object_cache.h"
#include "store/vb_ini.h"
#include "ui/event_queue.h"
#include "world/world.h"
#include "world/world_object.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kSignature[] = "void, int, int, str";

const char kTree[] = R"([/]
Templates=container
View=container
[/Templates/]
Door=container
[/Templates/Door/]
Type=str:Thing
OnClick=script
[/Templates/Door/OnClick]
Size=12
Type=34
TextSize=1
[/View/]
Door=container
[/View/Door/]
Template=str:Door
)";

std::unique_ptr<CWObject> LoadThing(CWorld* world, StoreHandle own, StoreHandle templ, ErrCode*) {
  return std::make_unique<CWObject>(world, own, templ);
}
const SLoaderRow kThings[] = {{"Thing", LoadThing}};

// A world in the tool with the door made and its handler compiled.
struct SScene {
  CMemoryFile file;
  CBFHP store;
  CObjectCache cache{100000, 1 << 30};
  std::unique_ptr<CValueBase> base;
  CScriptMachine machine;
  CEventQueue queue{100, 10};
  std::unique_ptr<CWorld> world;
  std::unique_ptr<CWObject> door;
  std::vector<uint8_t> block;  // the handler's compiled block
  bool ready = false;

  SScene() {
    if (store.Create(&file, 256, CBFHP::kNoLimit) != err::kOk) return;
    base = std::make_unique<CValueBase>(&store, &cache);
    CHashIni ini(100, 1000);
    if (base->Init() || ini.LoadText(kTree) || machine.Init(kWorldModules)) return;
    COpenContainer root(base.get(), base->Root());
    if (ImportIni(base.get(), root.get(), &ini)) return;
    world = std::make_unique<CWorld>(base.get(), &machine, &queue, true);
    ErrCode error = err::kOk;
    door = world->CreateObject("Door", base->FindPath("/View/Door/", base->Root()), kThings, &error);
    if (!door || door->Call("OnClick", kSignature, Args()) != err::kOk) return;
    const StoreHandle code = ValueWord(door->Template()->GetValue("OnClick", kValueScript), 1);
    const std::vector<uint8_t>* data = base->GetData(code);
    if (!data) return;
    block = *data;
    base->ReleaseData(code);
    ready = true;
  }
  static std::span<const SCallArg> Args() {
    static const SCallArg args[] = {SCallArg::Int(15), SCallArg::Int(15), SCallArg::Text("Door")};
    return args;
  }
};

SScene& Scene() {
  static SScene* scene = new SScene;
  return *scene;
}

std::map<std::string, double>& Measured() {
  static std::map<std::string, double> measured;
  return measured;
}

// Runs `call` for the state's iterations and records ns per call.
template <class F>
void Measure(benchmark::State& state, const char* key, F call) {
  if (!Scene().ready) {
    state.SkipWithError("the scene could not be built");
    return;
  }
  const Clock::time_point start = Clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(call());
  Measured()[key] =
      std::chrono::duration<double, std::nano>(Clock::now() - start).count() /
      static_cast<double>(state.iterations());
}

void BM_CallBlock(benchmark::State& state) {
  SScene& scene = Scene();
  Measure(state, "CallBlock", [&] {
    return CallBlock(scene.machine, scene.block.data(), scene.block.size(), SScene::Args());
  });
}

void BM_CallHandler(benchmark::State& state) {
  Measure(state, "CallHandler", [] { return Scene().door->Call("OnClick", kSignature, SScene::Args()); });
}

void BM_MissingHandler(benchmark::State& state) {
  Measure(state, "missing", [] { return Scene().door->Call("OnNothing", kSignature, SScene::Args()); });
}

#ifdef TV_BENCH_LUA
void BM_LuaPcall(benchmark::State& state) {
  lua_State* lua = luaL_newstate();
  if (luaL_dostring(lua, "function OnClick(x, y, name) end") != LUA_OK) {
    state.SkipWithError(lua_tostring(lua, -1));
    lua_close(lua);
    return;
  }
  Measure(state, "lua pcall", [lua] {
    lua_getglobal(lua, "OnClick");
    lua_pushinteger(lua, 15);
    lua_pushinteger(lua, 15);
    lua_pushstring(lua, "Door");
    return lua_pcall(lua, 3, 0, 0);
  });
  lua_close(lua);
}
BENCHMARK(BM_LuaPcall);
#endif

BENCHMARK(BM_CallBlock);
BENCHMARK(BM_CallHandler);
BENCHMARK(BM_MissingHandler);

void PrintSummary() {
  const auto ns = [](const char* key) {
    const auto found = Measured().find(key);
    return found == Measured().end() ? 0.0 : found->second;
  };
  std::printf("\n%-12s %10s %14s %14s\n", "case", "ns/call", "x CallBlock", "x lua pcall");
  for (const char* key : {"CallHandler", "CallBlock", "lua pcall", "missing"}) {
    if (ns(key) == 0) continue;
    const auto ratio = [&](const char* base) { return ns(base) == 0 ? 0.0 : ns(key) / ns(base); };
    std::printf("%-12s %10.1f %14.2f %14.2f\n", key, ns(key), ratio("CallBlock"), ratio("lua pcall"));
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintSummary();
  return 0;
}
