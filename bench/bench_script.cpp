// Script run speed against Lua 5.4 on three programs written in both
// languages (bench/script/<name>.txt and <name>.lua): an int while loop, a
// nested loop over a 10,000-element int array, and string building. Each
// block is compiled once; a benchmark iteration is one whole call. Reported
// per program: ns per loop iteration of each language and, for the script,
// the ratio of its time to Lua's measured just before in the same run. The
// per-loop figures use the thread's CPU time, which other work on the
// machine disturbs less than the wall clock.
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>

#include "world/bindings/bindings.h"
#include "script/script_call.h"
#include "script/script_machine.h"

#ifdef TV_BENCH_LUA
#include <lua.hpp>
#endif

namespace {

struct SProgram {
  const char* name;
  int64_t loops;         // loop iterations (appends for string building)
  int32_t script_value;  // what the script returns
  int64_t lua_value;     // what the Lua chunk returns
};

// The int loop's sum wraps to 32 bits in the script: 50000005000000 mod 2^32
// is 2290707264, which as a signed value is -2004260032. The script array
// is indexed from 0, Lua's table from 1: the last element after 100 passes
// of a[i] += i is 100 * 9999 and 100 * 10000. The string is 10,000 "ab",
// then 100 "x": the first "x" stands at 20000.
constexpr SProgram kPrograms[] = {
    {"int_loop", 10'000'000, -2004260032, 50'000'005'000'000},
    {"array_loop", 1'000'000, 999'900, 1'000'000},
    {"string_build", 10'100, 20'000, 20'000},
};

// The calling thread's CPU time.
struct SCpuClock {
  using duration = std::chrono::nanoseconds;
  using time_point = std::chrono::time_point<SCpuClock>;
  static time_point now() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
  }
};
using Clock = SCpuClock;

// The ns per loop iteration each case measured last, by case name.
std::map<std::string, double>& Measured() {
  static std::map<std::string, double> measured;
  return measured;
}

std::string ReadSource(const SProgram& program, const char* extension) {
  std::ifstream in(std::string(TV_BENCH_SCRIPT_DIR) + "/" + program.name + extension);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

double Record(benchmark::State& state, const std::string& key, const SProgram& program,
              Clock::duration elapsed) {
  const double ns = std::chrono::duration<double, std::nano>(elapsed).count() /
                    (static_cast<double>(state.iterations()) * program.loops);
  Measured()[key] = ns;
  state.counters["ns_per_loop"] = ns;
  return ns;
}

CScriptMachine& Machine() {
  static CScriptMachine* machine = [] {
    auto* created = new CScriptMachine;
    created->Init(kWorldModules);
    return created;
  }();
  return *machine;
}

void RunScript(benchmark::State& state, const SProgram& program) {
  const std::string text = ReadSource(program, ".txt");
  CScriptMachine& machine = Machine();
  SCodeBlock block;
  if (!machine.CompileText(text.c_str(), "int", &block)) {
    state.SkipWithError(machine.TakeErrorLog().c_str());
    return;
  }
  machine.TakeErrorLog();  // the warnings about dropped results
  machine.Calls().step_limit = std::numeric_limits<uint64_t>::max();
  int32_t result = 0;
  const SCallArg args[] = {SCallArg::Ref(&result)};
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    SRunOutcome outcome;
    CallBlock(machine, block.data, block.size, args, &outcome);
    if (!outcome.finished || result != program.script_value) {
      state.SkipWithError("wrong result");
      break;
    }
  }
  if (state.error_occurred()) return;
  const double ns = Record(state, std::string("script/") + program.name, program,
                           Clock::now() - start);
  const auto lua = Measured().find(std::string("lua/") + program.name);
  if (lua != Measured().end()) state.counters["ratio_to_lua"] = ns / lua->second;
}

#ifdef TV_BENCH_LUA
void RunLua(benchmark::State& state, const SProgram& program) {
  const std::string text = ReadSource(program, ".lua");
  lua_State* lua = luaL_newstate();
  luaL_openlibs(lua);
  if (luaL_loadstring(lua, text.c_str()) != LUA_OK) {
    state.SkipWithError(lua_tostring(lua, -1));
    lua_close(lua);
    return;
  }
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    lua_pushvalue(lua, -1);
    const bool ok = lua_pcall(lua, 0, 1, 0) == LUA_OK && lua_tointeger(lua, -1) == program.lua_value;
    lua_pop(lua, 1);
    if (!ok) {
      state.SkipWithError("wrong result");
      break;
    }
  }
  const Clock::duration elapsed = Clock::now() - start;
  lua_close(lua);
  if (!state.error_occurred()) Record(state, std::string("lua/") + program.name, program, elapsed);
}
#endif

void PrintSummary() {
  std::printf("\n%-14s %14s %14s %8s\n", "program", "script ns/it", "lua ns/it", "ratio");
  for (const SProgram& program : kPrograms) {
    const auto script = Measured().find(std::string("script/") + program.name);
    const auto lua = Measured().find(std::string("lua/") + program.name);
    if (script == Measured().end()) continue;
    if (lua == Measured().end()) {
      std::printf("%-14s %14.2f %14s %8s\n", program.name, script->second, "-", "-");
      continue;
    }
    std::printf("%-14s %14.2f %14.2f %8.2f\n", program.name, script->second, lua->second,
                script->second / lua->second);
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (const SProgram& program : kPrograms) {
#ifdef TV_BENCH_LUA
    benchmark::RegisterBenchmark((std::string("BM_Lua/") + program.name).c_str(),
                                 [&program](benchmark::State& state) { RunLua(state, program); })
        ->Unit(benchmark::kMillisecond);
#endif
    benchmark::RegisterBenchmark((std::string("BM_Script/") + program.name).c_str(),
                                 [&program](benchmark::State& state) { RunScript(state, program); })
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintSummary();
  return 0;
}
