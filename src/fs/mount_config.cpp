#include "fs/mount_config.h"

#include <strings.h>

#include <cstring>

#include "base/log.h"
#include "fs/drives.h"
#include "fs/file_service.h"
#include "fs/hpfs.h"
#include "fs/pack_fs.h"
#include "fs/trans_fs.h"
#include "platform/platform.h"

namespace {

struct SMountValue {
  const char* kind;
  std::string argument;
};

ErrCode MountTransEntry(const std::string& prefix, const std::string& argument) {
  std::string target = argument;
  if (!target.empty() && target[0] != '/')
    target = ExecutableDirectoryRecord().path + target;
  return MountTrans(prefix.c_str(), target.c_str());
}

// The pack is opened through the open entry, so a pack stored compressed is
// read through the decompressing hook installed around mounting.
ErrCode MountPackEntry(const std::string& prefix, const std::string& argument) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> file =
      FsOpen(argument.c_str(), kOpenRead | kOpenShareRead, &error);
  if (!file) return error ? error : err::kFileNotFound;
  return MountPack(std::move(file), prefix.c_str());
}

ErrCode UnmountPackEntry(const std::string& prefix) {
  return UnmountPack(prefix.c_str());
}

ErrCode UnmountExact(const std::string& prefix) {
  std::unique_ptr<CFileService> fs = UnregisterMount(prefix.c_str());
  return fs ? err::kOk : err::kNotFound;
}

struct SMountKind {
  const char* name;
  ErrCode (*mount)(const std::string& prefix, const std::string& argument);
  ErrCode (*unmount)(const std::string& prefix);
};

constexpr SMountKind kMountKinds[] = {
    {"Pack", MountPackEntry, UnmountPackEntry},
    {"HPFS", MountHpfs, UnmountHpfs},
    {"Trans", MountTransEntry, UnmountExact},
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The kind of a value and its argument: blanks, one optional comma and
// blanks separate them.
const SMountKind* ParseValue(const std::string& value, std::string* argument) {
  for (const SMountKind& kind : kMountKinds) {
    const size_t length = std::strlen(kind.name);
    if (strncasecmp(value.c_str(), kind.name, length) != 0) continue;
    size_t position = length;
    while (position < value.size() && IsBlank(value[position])) ++position;
    if (position < value.size() && value[position] == ',') ++position;
    while (position < value.size() && IsBlank(value[position])) ++position;
    *argument = value.substr(position);
    return &kind;
  }
  return nullptr;
}

// Calls `action` (key, kind or null, argument) for every entry with a key and
// answers the last error it met.
template <class Action>
ErrCode ForEachEntry(const ConfigEntries& entries, Action action) {
  ErrCode result = err::kOk;
  for (const auto& [key, value] : entries) {
    if (key.empty()) continue;
    std::string argument;
    const SMountKind* kind = ParseValue(value, &argument);
    if (ErrCode error = action(key, kind, argument)) result = error;
  }
  return result;
}

}  // namespace

ErrCode MountFromConfig(const ConfigEntries& entries) {
  return ForEachEntry(entries, [](const std::string& key, const SMountKind* kind,
                                  const std::string& argument) {
    if (!kind) return err::kOk;
    const ErrCode error = kind->mount(key, argument);
    if (error)
      LogMessage(kLogEngine, "FS: cannot mount %s (%s)\n", key.c_str(),
                 ErrName(error));
    return error;
  });
}

ErrCode UnmountFromConfig(const ConfigEntries& entries) {
  return ForEachEntry(entries, [](const std::string& key, const SMountKind* kind,
                                  const std::string&) {
    return kind ? kind->unmount(key) : UnmountExact(key);
  });
}

ConfigEntries ShippedToolInterface(const ConfigEntries& entries) {
  for (const auto& entry : entries)
    if (strcasecmp(entry.first.c_str(), kToolInterfacePrefix) == 0) return {};
  return {{kToolInterfacePrefix,
           "Trans, " + CPlatform::InstallationDirectory() + "Tool Interface/"}};
}
