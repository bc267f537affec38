// Runs a program of the build as a child process with extra environment
// variables and collects what it wrote and how it ended.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

extern char** environ;

struct SProcessResult {
  int exit_code = -1;
  std::string out;
  std::string err;
  double cpu_seconds = 0;
};

class CChildProcess {
 public:
  // Starts `program` with `args`; `env` entries replace or add variables.
  CChildProcess(const std::string& program, const std::vector<std::string>& args,
                const std::map<std::string, std::string>& env,
                const std::string& capture_prefix)
      : m_out_path(capture_prefix + ".out"), m_err_path(capture_prefix + ".err") {
    std::vector<std::string> argv_text = {program};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::map<std::string, std::string> merged;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const size_t eq = entry.find('=');
      if (eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [key, value] : env) merged[key] = value;
    std::vector<std::string> env_text;
    for (const auto& [key, value] : merged) env_text.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (std::string& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, m_out_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, m_err_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(),
                    envp.data()) != 0)
      m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }

  SProcessResult Wait() {
    SProcessResult result;
    if (m_pid <= 0) return result;
    int status = 0;
    rusage usage{};
    wait4(m_pid, &status, 0, &usage);
    m_pid = -1;
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.cpu_seconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                         usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    result.out = ReadAll(m_out_path);
    result.err = ReadAll(m_err_path);
    return result;
  }

  // Whether the program has not ended yet.
  bool Running() const {
    if (m_pid <= 0) return false;
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
  }
  // SIGKILL ends the child at once, as a crash or a power cut would.
  void Signal(int signal) const {
    if (m_pid > 0) kill(m_pid, signal);
  }

  ~CChildProcess() {
    if (m_pid > 0) Wait();
  }

 private:
  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  pid_t m_pid = -1;
  std::string m_out_path, m_err_path;
};
