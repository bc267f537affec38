#include "app/open_override.h"

#include <strings.h>

#include "base/log.h"
#include "fs/file_service.h"
#include "fs/pack_fs.h"
#include "fs/trans_fs.h"

namespace {

// Process-wide because the file service's open slot, which this state serves,
// is a plain function with nowhere to carry an object.
struct SOverrideState {
  SOpenOverrideSettings settings;
  FsOpenFn previous = nullptr;
  // The file system of "/HDD/", looked up on the first virtual path.
  bool hdd_known = false;
  CFileService* hdd = nullptr;
};

// Full paths stay below this length.
constexpr size_t kPathLimit = 256;

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

CFileService* HddFileSystem(SOverrideState& state) {
  if (!state.hdd_known) {
    const char* path = "/HDD/";
    state.hdd = ResolvePath(&path);
    state.hdd_known = true;
  }
  return state.hdd;
}

const char* MountPrefixOf(const CFileService* fs) {
  for (const MountEntry& entry : Mounts())
    if (entry.fs.get() == fs) return entry.prefix.c_str();
  return nullptr;
}

// The loose files that stand in for a file of a pack: the path followed
// through translators to its owner; null when that is no pack or none of
// them opens.
std::unique_ptr<CFile> OpenOutsidePack(SOverrideState& state, const char* path,
                                       uint16_t mode, ErrCode* error) {
  CFileService* hdd = HddFileSystem(state);
  const char* rest = path;
  CFileService* fs = ResolvePath(&rest);
  std::string translated;
  while (fs && fs != hdd) {
    CTransFS* trans = KindOf<CTransFS>(fs);
    if (!trans) break;
    translated = trans->Translate(rest);
    rest = translated.c_str();
    fs = trans->Target();
  }
  if (!KindOf<CPackFS>(fs)) return nullptr;
  const char* prefix = MountPrefixOf(fs);
  if (!prefix) return nullptr;
  const char* const roots[] = {state.settings.outside_pack_first ? "/Current" : nullptr,
                               "/HDD1"};
  for (const char* root : roots) {
    if (!root) continue;
    const std::string loose = std::string(root) + prefix + rest;
    if (loose.size() >= kPathLimit) continue;
    if (std::unique_ptr<CFile> file = state.previous(loose.c_str(), mode, error))
      return file;
    if (error) *error = err::kOk;
  }
  return nullptr;
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
  if (std::unique_ptr<CFile> file = OpenOutsidePack(state, path, mode, error))
    return file;
  return OpenOrLog(path, mode, error, path);
}

}  // namespace

void InstallOpenOverride(const SOpenOverrideSettings& settings) {
  SOverrideState& state = State();
  if (state.previous) return;
  state.settings = settings;
  state.hdd_known = false;
  state.hdd = nullptr;
  state.previous = SetFsOpen(OverrideOpen);
}

void RemoveOpenOverride() {
  SOverrideState& state = State();
  if (!state.previous) return;
  SetFsOpen(state.previous);
  state.previous = nullptr;
}
