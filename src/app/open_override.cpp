#include "app/open_override.h"

#include <strings.h>

#include "app/base/log.h"
#include "fs/file_service.h"

namespace {

struct SOverrideState {
  SOpenOverrideSettings settings;
  FsOpenFn previous = nullptr;
};

SOverrideState& State() {
  static SOverrideState state;
  return state;
}

bool IsRelative(const char* path) {
  return path[0] != '/' && path[1] != ':';
}

std::unique_ptr<CFile> OpenOrLog(const char* path, uint16_t mode,
                                 ErrCode* error, const char* caller_path) {
  std::unique_ptr<CFile> file = State().previous(path, mode, error);
  if (!file) LogMessage(kLogEngine, "File Not Found: %s\n", caller_path);
  return file;
}

std::unique_ptr<CFile> OverrideOpen(const char* path, uint16_t mode,
                                    ErrCode* error) {
  SOverrideState& state = State();
  if (!path || !*path || !state.previous) return nullptr;
  if (IsRelative(path)) {
    const char* name = strcasecmp(path, "shutup.wav") == 0 ? "silence.wav" : path;
    const std::string full = state.settings.executable_directory + name;
    return OpenOrLog(full.c_str(), mode, error, path);
  }
  return OpenOrLog(path, mode, error, path);
}

}  // namespace

void InstallOpenOverride(const SOpenOverrideSettings& settings) {
  SOverrideState& state = State();
  if (state.previous) return;
  state.settings = settings;
  state.previous = SetFsOpen(OverrideOpen);
}

void RemoveOpenOverride() {
  SOverrideState& state = State();
  if (!state.previous) return;
  SetFsOpen(state.previous);
  state.previous = nullptr;
}
