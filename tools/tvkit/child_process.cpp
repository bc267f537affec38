#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

extern char** environ;

namespace {

// Owns a spawn's file actions.
class CSpawnActions {
 public:
  CSpawnActions() { posix_spawn_file_actions_init(&m_actions); }
  ~CSpawnActions() { posix_spawn_file_actions_destroy(&m_actions); }
  CSpawnActions(const CSpawnActions&) = delete;
  CSpawnActions& operator=(const CSpawnActions&) = delete;
  void Redirect(int fd, const std::string& path) {
    if (!path.empty())
      posix_spawn_file_actions_addopen(&m_actions, fd, path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  const posix_spawn_file_actions_t* Get() const { return &m_actions; }

 private:
  posix_spawn_file_actions_t m_actions;
};

}  // namespace

std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "";
  while (!rest.empty()) {
    const size_t colon = std::min(rest.find(':'), rest.size());
    const std::string candidate = std::string(rest.substr(0, colon)) + "/" + program;
    if (colon > 0 && access(candidate.c_str(), X_OK) == 0) return candidate;
    rest.remove_prefix(std::min(colon + 1, rest.size()));
  }
  return {};
}

int RunChild(const std::vector<std::string>& argv, const std::string& out_path,
             const std::string& err_path) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  CSpawnActions actions;
  actions.Redirect(1, out_path);
  actions.Redirect(2, err_path);
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], actions.Get(), nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string SelfPath() {
  std::error_code error_code;
  return std::filesystem::read_symlink("/proc/self/exe", error_code).string();
}
