// Wall time of a whole headless run of the engine on the demo folder: start-up
// to the main loop, a quit at once, and shutdown. Budget: 20 ms.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

void BM_HeadlessStartupAndShutdown(benchmark::State& state) {
  const std::filesystem::path work =
      std::filesystem::temp_directory_path() / "tarvolin-bench-startup";
  std::filesystem::create_directories(work);
  std::ofstream(work / "quit.txt") << "0 quit\n";

  std::vector<std::string> env_text = {
      "TARVOLIN_PLATFORM=headless",
      "TARVOLIN_DIR=" TARVOLIN_DEMO_DIR,
      "TARVOLIN_INPUT=" + (work / "quit.txt").string(),
      "XDG_RUNTIME_DIR=" + work.string(),
  };
  std::vector<char*> envp;
  for (std::string& entry : env_text) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string program = TARVOLIN_BINARY;
  char* argv[] = {program.data(), nullptr};

  for (auto _ : state) {
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
      state.SkipWithError("cannot start the engine");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("the engine did not end cleanly");
      break;
    }
  }
  std::filesystem::remove_all(work);
}

// A process that does nothing, started the same way: the floor under the
// engine's figure.
void BM_SpawnTrue(benchmark::State& state) {
  char program[] = "/bin/true";
  char* argv[] = {program, nullptr};
  char* envp[] = {nullptr};
  for (auto _ : state) {
    pid_t pid = 0;
    posix_spawn(&pid, program, nullptr, nullptr, argv, envp);
    int status = 0;
    waitpid(pid, &status, 0);
  }
}

}  // namespace

BENCHMARK(BM_HeadlessStartupAndShutdown)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SpawnTrue)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
