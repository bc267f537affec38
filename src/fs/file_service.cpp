#include "fs/file_service.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace {

struct SFileService {
  std::vector<MountEntry> mounts;
  FsOpenFn open = FsOpenDirect;
};

SFileService& Service() {
  static SFileService service;
  return service;
}

// Case-insensitive order of prefixes, ASCII letters compared as lower case.
int ComparePrefixes(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str());
}

}  // namespace

void InitFileService(uint16_t capacity) {
  SFileService& service = Service();
  service.mounts.clear();
  service.mounts.reserve(capacity);
  service.open = FsOpenDirect;
}

void ShutdownFileService() {
  // Later mounts may lean on earlier ones (a translator on its target), so
  // they go first.
  std::vector<MountEntry>& mounts = Service().mounts;
  while (!mounts.empty()) mounts.pop_back();
}

void RegisterMount(const char* prefix, std::unique_ptr<CFileService> fs,
                   uint32_t flags) {
  std::vector<MountEntry>& mounts = Service().mounts;
  MountEntry entry{flags, prefix, std::move(fs)};
  auto place = std::find_if(mounts.begin(), mounts.end(), [&](const MountEntry& e) {
    return ComparePrefixes(e.prefix, entry.prefix) > 0;
  });
  mounts.insert(place, std::move(entry));
}

CFileService* ResolvePath(const char** path, uint16_t* limit, uint16_t* start) {
  const std::vector<MountEntry>& mounts = Service().mounts;
  const MountEntry* kept = nullptr;
  uint16_t kept_index = 0;
  for (size_t i = *start; i < mounts.size(); ++i) {
    const std::string& prefix = mounts[i].prefix;
    if (strncasecmp(*path, prefix.c_str(), prefix.size()) != 0) continue;
    if (prefix.size() > *limit) break;
    if (!kept || prefix.size() > kept->prefix.size()) {
      kept = &mounts[i];
      kept_index = static_cast<uint16_t>(i);
    }
  }
  if (!kept) return nullptr;
  *start = kept_index;
  *limit = static_cast<uint16_t>(kept->prefix.size());
  *path += kept->prefix.size();
  return kept->fs.get();
}

CFileService* ResolvePath(const char** path) {
  uint16_t limit = 0xFFFF;
  uint16_t start = 0;
  return ResolvePath(path, &limit, &start);
}

std::unique_ptr<CFileService> UnregisterMount(const char* prefix) {
  const char* rest = prefix;
  uint16_t limit = 0xFFFF;
  uint16_t start = 0;
  if (!ResolvePath(&rest, &limit, &start) || *rest != '\0') return nullptr;
  std::vector<MountEntry>& mounts = Service().mounts;
  std::unique_ptr<CFileService> fs = std::move(mounts[start].fs);
  mounts.erase(mounts.begin() + start);
  return fs;
}

std::span<const MountEntry> Mounts() { return Service().mounts; }

FsOpenFn SetFsOpen(FsOpenFn open) {
  return std::exchange(Service().open, open);
}

std::unique_ptr<CFile> FsOpenDirect(const char* path, uint16_t mode,
                                    ErrCode* error) {
  CFileService* fs = ResolvePath(&path);
  return fs ? fs->Open(path, mode, error) : nullptr;
}

std::unique_ptr<CFile> FsOpen(const char* path, uint16_t mode, ErrCode* error) {
  return Service().open(path, mode, error);
}

ErrCode FsDelete(const char* path) {
  CFileService* fs = ResolvePath(&path);
  return fs ? fs->Delete(path) : err::kFile;
}

namespace {

// Calls `rename` on the one file system both paths resolve to.
template <class Rename>
ErrCode RenameWithin(const char* old_path, const char* new_path, Rename rename) {
  CFileService* old_fs = ResolvePath(&old_path);
  CFileService* new_fs = ResolvePath(&new_path);
  if (!old_fs || old_fs != new_fs) return err::kNotImplementedYet;
  return rename(old_fs, old_path, new_path);
}

}  // namespace

ErrCode FsRename(const char* old_path, const char* new_path) {
  return RenameWithin(old_path, new_path, [](CFileService* fs, const char* from, const char* to) {
    return fs->Rename(from, to);
  });
}

ErrCode FsRenameOver(const char* old_path, const char* new_path) {
  return RenameWithin(old_path, new_path, [](CFileService* fs, const char* from, const char* to) {
    return fs->RenameOver(from, to);
  });
}

ErrCode FsFlushDir(const char* directory) {
  CFileService* fs = ResolvePath(&directory);
  return fs ? fs->FlushDir(directory) : err::kFile;
}

ErrCode FsFindFirst(FindContext* context, const char* directory) {
  context->owner = nullptr;
  CFileService* fs = ResolvePath(&directory);
  return fs ? fs->FindFirst(context, directory) : err::kFile;
}

ErrCode FsFindNext(FindContext* context) {
  return context->owner ? context->owner->FindNext(context) : err::kFile;
}

ErrCode FsFindClose(FindContext* context) {
  return context->owner ? context->owner->FindClose(context) : err::kFile;
}

ErrCode FsMakeDir(const char* parent, const char* name) {
  CFileService* fs = ResolvePath(&parent);
  return fs ? fs->MakeDir(parent, name) : err::kFile;
}

ErrCode FsRemoveDir(const char* parent, const char* name) {
  CFileService* fs = ResolvePath(&parent);
  return fs ? fs->RemoveDir(parent, name) : err::kFile;
}

bool FsExists(const char* path) {
  CFileService* fs = ResolvePath(&path);
  return fs && fs->Exists(path);
}

ErrCode FsQuery(const char* path, uint32_t id, char* buffer) {
  CFileService* fs = ResolvePath(&path);
  return fs ? fs->Query(path, id, buffer) : err::kFile;
}

ErrCode FsQuery2(const char* path, uint32_t a, uint32_t b) {
  CFileService* fs = ResolvePath(&path);
  return fs ? fs->Query2(path, a, b) : err::kFile;
}
