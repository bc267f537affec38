// The process-wide file service: the mount table and the entries through
// which every file of the engine is opened.
//
// A virtual path is resolved by the longest mount prefix it begins with,
// compared without regard to ASCII case; on equal prefixes the entry mounted
// first wins. The native file system is mounted under the empty prefix and
// takes every path no other prefix matches. The open entry is a replaceable
// pointer so that hooks (the decompressing hook while mounting, the
// application's file-open override) can stand in front of it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "fs/file.h"

struct MountEntry {
  uint32_t flags = 0;
  std::string prefix;
  std::unique_ptr<CFileService> fs;
};

void InitFileService(uint16_t capacity);
// Deletes every file system still mounted.
void ShutdownFileService();

// Inserts before the first entry whose prefix compares greater; equal prefixes
// keep their order. The caller must not mount more than the capacity.
void RegisterMount(const char* prefix, std::unique_ptr<CFileService> fs,
                   uint32_t flags);
// Advances `*path` past the longest matching prefix and answers its file
// system, or null with the path unchanged. `limit` and `start` are in/out.
CFileService* ResolvePath(const char** path, uint16_t* limit, uint16_t* start);
CFileService* ResolvePath(const char** path);
// Removes the entry whose prefix matches `prefix` exactly.
std::unique_ptr<CFileService> UnregisterMount(const char* prefix);
std::span<const MountEntry> Mounts();

using FsOpenFn = std::unique_ptr<CFile> (*)(const char* path, uint16_t mode,
                                            ErrCode* error);
// Replaces the open entry; answers the previous one.
FsOpenFn SetFsOpen(FsOpenFn open);
// The plain open through the mount table (the entry's initial value).
std::unique_ptr<CFile> FsOpenDirect(const char* path, uint16_t mode,
                                    ErrCode* error);

std::unique_ptr<CFile> FsOpen(const char* path, uint16_t mode, ErrCode* error);
ErrCode FsDelete(const char* path);
ErrCode FsRename(const char* old_path, const char* new_path);
// Both paths must resolve to the same file system, as for FsRename.
ErrCode FsRenameOver(const char* old_path, const char* new_path);
ErrCode FsFlushDir(const char* directory);
ErrCode FsFindFirst(FindContext* context, const char* directory);
ErrCode FsFindNext(FindContext* context);
ErrCode FsFindClose(FindContext* context);
ErrCode FsMakeDir(const char* parent, const char* name);
ErrCode FsRemoveDir(const char* parent, const char* name);
bool FsExists(const char* path);
ErrCode FsQuery(const char* path, uint32_t id, char* buffer);
ErrCode FsQuery2(const char* path, uint32_t a, uint32_t b);
