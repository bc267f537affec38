// The native file system: POSIX files under the empty mount prefix.
//
// Paths are native paths; "\\" is accepted as a separator. Game data is
// authored on systems whose file names ignore case, so a path that does not
// exist as written is resolved component by component ignoring ASCII case
// before an operation fails; opens that create resolve the same way first, so
// an existing file whose name differs only in case is the file opened.
//
// The sharing bits of the open mode are honoured between opens with advisory
// locks (flock): a file opened with shared writing, or for reading only with
// shared reading, holds a shared lock; every other open holds an exclusive
// lock. An open whose lock cannot be had fails with SHARING.
#pragma once

#include <string>

#include "fs/file.h"

inline constexpr uint32_t kPropertyNativeHandle = 0x10000001;

class CWinFile : public CFile {
  TV_CLASS(CWinFile, CFile)

 public:
  CWinFile(int fd, uint16_t mode);
  ~CWinFile() override;

  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override;
  ErrCode Write(const void* buffer, uint32_t length, uint32_t* count) override;
  ErrCode Seek(int32_t offset, int origin) override;
  uint32_t GetSize() override;
  uint32_t Tell() override;
  ErrCode Flush() override;
  ErrCode Truncate() override;
  ErrCode GetProperty(uint32_t id, uint32_t* value, uint32_t argument) override;

 private:
  int m_fd;
};

class CWinFileService : public CFileService {
  TV_CLASS(CWinFileService, CFileService)

 public:
  std::unique_ptr<CFile> Open(const char* path, uint16_t mode,
                              ErrCode* error) override;
  bool Exists(const char* path) override;
  ErrCode Delete(const char* path) override;
  ErrCode Rename(const char* old_path, const char* new_path) override;
  // The new name is resolved like every other, so an existing file whose
  // name differs only in case is the one replaced.
  ErrCode RenameOver(const char* old_path, const char* new_path) override;
  ErrCode FlushDir(const char* directory) override;
  ErrCode MakeDir(const char* parent, const char* name) override;
  ErrCode RemoveDir(const char* parent, const char* name) override;
  ErrCode FindFirst(FindContext* context, const char* directory) override;
  ErrCode FindNext(FindContext* context) override;
  ErrCode FindClose(FindContext* context) override;
  ErrCode Query(const char* path, uint32_t id, char* buffer) override;
};

// The native path with "\\" turned into "/" and, where the path does not exist
// as written, each component replaced by an existing entry of its directory
// whose name equals it ignoring ASCII case. Components that match nothing are
// kept as written.
std::string ResolveNativePath(const char* path);

// Whether the native path, or any directory on the way to it, is a symbolic
// link (components that do not exist are none).
bool NativePathHasLink(const std::string& path);

// The FILE code for an errno value; `fallback` for values without one.
ErrCode ErrFromErrno(int error_number, ErrCode fallback);

// Starts the file service with the native file system under the empty prefix
// (tools and tests; the engine mounts it as part of its start-up).
void MountNativeFileSystem();
