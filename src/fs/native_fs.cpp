#include "fs/native_fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "fs/file_service.h"

namespace {

struct SErrnoCode {
  int error_number;
  ErrCode code;
};

constexpr SErrnoCode kErrnoCodes[] = {
    {ENOENT, err::kFileNotFound},     {ENOTDIR, err::kPathNotFound},
    {EMFILE, err::kTooManyOpenFiles}, {ENFILE, err::kTooManyOpenFiles},
    {EACCES, err::kAccessDenied},     {EPERM, err::kAccessDenied},
    {EISDIR, err::kAccessDenied},     {EEXIST, err::kFileExist},
    {ENOSPC, err::kDiskFull},         {EDQUOT, err::kDiskFull},
    {EROFS, err::kWriteProtected},    {EBUSY, err::kSharing},
    {ETXTBSY, err::kSharing},         {EWOULDBLOCK, err::kSharing},
    {ENXIO, err::kNotReady},          {ENODEV, err::kVolumeNotFound},
    {ESPIPE, err::kSeekFail},         {ENOTEMPTY, err::kAccessDenied},
};

void SetError(ErrCode* out, ErrCode code) {
  if (out) *out = code;
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// ENOENT names the missing file unless its directory is missing too.
ErrCode ErrFromPathErrno(int error_number, const std::string& path,
                         ErrCode fallback) {
  if (error_number == ENOENT && !IsDirectory(ParentOf(path)))
    return err::kPathNotFound;
  return ErrFromErrno(error_number, fallback);
}

// The entry of `directory` whose name equals `name` ignoring ASCII case.
bool FindEntryIgnoringCase(const std::string& directory, const std::string& name,
                           std::string* found) {
  DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
  if (!dir) return false;
  bool matched = false;
  while (dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) {
      *found = entry->d_name;
      matched = true;
      break;
    }
  }
  closedir(dir);
  return matched;
}

int OpenFlags(uint16_t mode) {
  int flags = 0;
  const bool reads = mode & kOpenRead, writes = mode & kOpenWrite;
  if (reads && writes) flags = O_RDWR;
  else if (writes) flags = O_WRONLY;
  else flags = O_RDONLY;
  // Truncation waits until the lock is held; see Open.
  if (mode & kOpenCreate) flags |= (mode & kOpenTruncate) ? O_CREAT : O_CREAT | O_EXCL;
  return flags | O_CLOEXEC;
}

int LockKind(uint16_t mode) {
  const bool shares_write = mode & kOpenShareWrite;
  const bool read_only_shared =
      (mode & kOpenShareRead) && !(mode & kOpenWrite);
  return shares_write || read_only_shared ? LOCK_SH : LOCK_EX;
}

void AdviseAccess(int fd, uint16_t mode) {
  if (mode & kOpenSequential)
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  else if (mode & kOpenRandom)
    posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
}

std::string JoinDirectory(const char* parent, const char* name) {
  std::string path = parent;
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  return path + name;
}

class CNativeFindRecord : public CFindRecord {
 public:
  explicit CNativeFindRecord(DIR* dir, std::string directory)
      : m_dir(dir), m_directory(std::move(directory)) {}
  ~CNativeFindRecord() override { Close(); }

  int Close() {
    const int result = m_dir ? closedir(m_dir) : 0;
    m_dir = nullptr;
    return result;
  }

  // The next entry other than "." and "..", or false at the end.
  bool Advance(uint32_t* attributes) {
    while (dirent* entry = readdir(m_dir)) {
      if (std::strcmp(entry->d_name, ".") == 0 ||
          std::strcmp(entry->d_name, "..") == 0)
        continue;
      m_name = entry->d_name;
      *attributes = AttributesOf(m_directory + m_name, m_name);
      return true;
    }
    return false;
  }
  const char* Name() const { return m_name.c_str(); }

 private:
  static uint32_t AttributesOf(const std::string& path, const std::string& name) {
    struct stat info;
    uint32_t attributes = 0;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
      attributes |= kAttrDirectory;
    if (access(path.c_str(), W_OK) != 0) attributes |= kAttrReadOnly;
    if (name[0] == '.') attributes |= kAttrHidden;
    return attributes ? attributes : kAttrNormal;
  }

  DIR* m_dir;
  std::string m_directory;  // ends in "/"
  std::string m_name;
};

}  // namespace

ErrCode ErrFromErrno(int error_number, ErrCode fallback) {
  if (error_number == 0) return err::kOk;
  for (const SErrnoCode& entry : kErrnoCodes)
    if (entry.error_number == error_number) return entry.code;
  return fallback;
}

bool NativePathHasLink(const std::string& path) {
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string part = path.substr(0, end);
    struct stat info;
    if (!part.empty() && lstat(part.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) return true;
    if (end == std::string::npos) return false;
  }
}

std::string ResolveNativePath(const char* path) {
  std::string written = path;
  for (char& c : written)
    if (c == '\\') c = '/';
  if (written.empty() || access(written.c_str(), F_OK) == 0) return written;

  std::string resolved = written[0] == '/' ? "/" : "";
  size_t position = 0;
  bool searching = true;  // false once a component matched nothing
  while (position <= written.size()) {
    size_t end = written.find('/', position);
    if (end == std::string::npos) end = written.size();
    std::string component = written.substr(position, end - position);
    position = end + 1;
    if (component.empty()) continue;
    if (searching && component != "." && component != "..") {
      const std::string candidate = resolved + component;
      std::string found;
      if (access(candidate.c_str(), F_OK) != 0) {
        if (FindEntryIgnoringCase(resolved, component, &found))
          component = found;
        else
          searching = false;
      }
    }
    resolved += component;
    if (end < written.size()) resolved += '/';
  }
  return resolved;
}

CWinFile::CWinFile(int fd, uint16_t mode) : CFile(mode), m_fd(fd) {
  SetStateWord(1);
}

CWinFile::~CWinFile() { close(m_fd); }

ErrCode CWinFile::Read(void* buffer, uint32_t length, uint32_t* count) {
  uint32_t done = 0;
  ErrCode result = err::kOk;
  while (done < length) {
    const ssize_t n = read(m_fd, static_cast<char*>(buffer) + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result = ErrFromErrno(errno, err::kReadFail);
      break;
    }
    if (n == 0) {
      result = err::kEof;
      break;
    }
    done += static_cast<uint32_t>(n);
  }
  if (count) *count = done;
  return result;
}

ErrCode CWinFile::Write(const void* buffer, uint32_t length, uint32_t* count) {
  uint32_t done = 0;
  ErrCode result = err::kOk;
  while (done < length) {
    const ssize_t n =
        write(m_fd, static_cast<const char*>(buffer) + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      result = n < 0 ? ErrFromErrno(errno, err::kWriteFail) : err::kWriteFail;
      break;
    }
    done += static_cast<uint32_t>(n);
  }
  if (count) *count = done;
  return result;
}

ErrCode CWinFile::Seek(int32_t offset, int origin) {
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (origin < kSeekSet || origin > kSeekEnd) return err::kSeekFail;
  if (lseek(m_fd, offset, kWhence[origin]) < 0)
    return ErrFromErrno(errno, err::kSeekFail);
  return err::kOk;
}

uint32_t CWinFile::GetSize() {
  struct stat info;
  return fstat(m_fd, &info) == 0 ? static_cast<uint32_t>(info.st_size) : 0;
}

uint32_t CWinFile::Tell() {
  const off_t position = lseek(m_fd, 0, SEEK_CUR);
  return position < 0 ? 0 : static_cast<uint32_t>(position);
}

ErrCode CWinFile::Flush() {
  if (fdatasync(m_fd) != 0 && errno != EINVAL)
    return ErrFromErrno(errno, err::kFlushFail);
  return err::kOk;
}

ErrCode CWinFile::Truncate() {
  if (ftruncate(m_fd, Tell()) != 0) return ErrFromErrno(errno, err::kTruncFail);
  return err::kOk;
}

ErrCode CWinFile::GetProperty(uint32_t id, uint32_t* value, uint32_t argument) {
  if (id != kPropertyNativeHandle) return CFile::GetProperty(id, value, argument);
  *value = static_cast<uint32_t>(m_fd);
  return err::kOk;
}

std::unique_ptr<CFile> CWinFileService::Open(const char* path, uint16_t mode,
                                             ErrCode* error) {
  if (!path || !*path) {
    SetError(error, err::kFileNotFound);
    return nullptr;
  }
  if (!(mode & (kOpenRead | kOpenWrite))) {
    SetError(error, err::kBadOpenMode);
    return nullptr;
  }
  const std::string native = ResolveNativePath(path);
  if (IsDirectory(native)) {
    SetError(error, err::kAccessDenied);
    return nullptr;
  }
  const int fd = open(native.c_str(), OpenFlags(mode), 0666);
  if (fd < 0) {
    SetError(error, ErrFromPathErrno(errno, native, err::kOpenFail));
    return nullptr;
  }
  auto file = std::make_unique<CWinFile>(fd, mode);
  if (flock(fd, LockKind(mode) | LOCK_NB) != 0) {
    SetError(error, ErrFromErrno(errno, err::kOpenFail));
    return nullptr;
  }
  const bool truncates = (mode & kOpenCreate) && (mode & kOpenTruncate);
  if (truncates && ftruncate(fd, 0) != 0) {
    SetError(error, ErrFromErrno(errno, err::kOpenFail));
    return nullptr;
  }
  AdviseAccess(fd, mode);
  return file;
}

bool CWinFileService::Exists(const char* path) {
  struct stat info;
  return path && stat(ResolveNativePath(path).c_str(), &info) == 0 &&
         !S_ISDIR(info.st_mode);
}

ErrCode CWinFileService::Delete(const char* path) {
  if (!path) return err::kBadParams;
  const std::string native = ResolveNativePath(path);
  if (unlink(native.c_str()) != 0)
    return ErrFromPathErrno(errno, native, err::kFile);
  return err::kOk;
}

namespace {

ErrCode RenameNative(const std::string& from, const std::string& to) {
  if (rename(from.c_str(), to.c_str()) != 0) return ErrFromPathErrno(errno, from, err::kFile);
  return err::kOk;
}

}  // namespace

ErrCode CWinFileService::Rename(const char* old_path, const char* new_path) {
  if (!old_path || !new_path) return err::kBadParams;
  const std::string from = ResolveNativePath(old_path);
  const std::string to = ResolveNativePath(new_path);
  if (access(to.c_str(), F_OK) == 0 && strcasecmp(from.c_str(), to.c_str()) != 0)
    return err::kAlreadyExists;
  return RenameNative(from, to);
}

ErrCode CWinFileService::RenameOver(const char* old_path, const char* new_path) {
  if (!old_path || !new_path) return err::kBadParams;
  return RenameNative(ResolveNativePath(old_path), ResolveNativePath(new_path));
}

ErrCode CWinFileService::FlushDir(const char* directory) {
  if (!directory) return err::kBadParams;
  const std::string native = ResolveNativePath(*directory ? directory : ".");
  const int fd = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return ErrFromPathErrno(errno, native, err::kFlushFail);
  // Some file systems cannot flush a directory and say so with EINVAL.
  const bool flushed = fsync(fd) == 0 || errno == EINVAL;
  const int error_number = errno;
  close(fd);
  return flushed ? err::kOk : ErrFromErrno(error_number, err::kFlushFail);
}

ErrCode CWinFileService::MakeDir(const char* parent, const char* name) {
  if (!parent || !name || std::strpbrk(name, "\\:")) return err::kBadParams;
  const std::string native = ResolveNativePath(JoinDirectory(parent, name).c_str());
  if (mkdir(native.c_str(), 0777) != 0)
    return ErrFromPathErrno(errno, native, err::kFile);
  return err::kOk;
}

ErrCode CWinFileService::RemoveDir(const char* parent, const char* name) {
  if (!parent || !name || std::strpbrk(name, "\\:")) return err::kBadParams;
  const std::string native = ResolveNativePath(JoinDirectory(parent, name).c_str());
  if (rmdir(native.c_str()) != 0)
    return ErrFromPathErrno(errno, native, err::kFile);
  return err::kOk;
}

ErrCode CWinFileService::FindFirst(FindContext* context, const char* directory) {
  if (!context || !directory) return err::kBadParams;
  *context = FindContext{};
  std::string native = ResolveNativePath(*directory ? directory : ".");
  if (native.back() != '/') native += '/';
  DIR* dir = opendir(native.c_str());
  if (!dir) return ErrFromPathErrno(errno, native, err::kFile);
  context->owner = this;
  context->record = std::make_unique<CNativeFindRecord>(dir, native);
  return FindNext(context);
}

ErrCode CWinFileService::FindNext(FindContext* context) {
  if (!context || !context->record) return err::kBadParams;
  auto* record = static_cast<CNativeFindRecord*>(context->record.get());
  if (!record->Advance(&context->attributes)) return err::kNoMoreFiles;
  context->name = record->Name();
  return err::kOk;
}

ErrCode CWinFileService::FindClose(FindContext* context) {
  if (!context) return err::kBadParams;
  ErrCode result = err::kOk;
  if (context->record) {
    auto* record = static_cast<CNativeFindRecord*>(context->record.get());
    if (record->Close() != 0) result = ErrFromErrno(errno, err::kFile);
  }
  *context = FindContext{};
  return result;
}

ErrCode CWinFileService::Query(const char* path, uint32_t id, char* buffer) {
  if (id != kQueryAbsolutePath) return err::kNotImplementedYet;
  if (!path || !buffer) return err::kBadParams;
  std::string absolute = ResolveNativePath(path);
  if (absolute.empty() || absolute[0] != '/') {
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return err::kUnknownError;
    absolute = std::string(cwd) + "/" + absolute;
  }
  if (absolute.size() >= kQueryBufferSize) return err::kUnknownError;
  std::memcpy(buffer, absolute.c_str(), absolute.size() + 1);
  return err::kOk;
}

void MountNativeFileSystem() {
  InitFileService(50);
  RegisterMount("", std::make_unique<CWinFileService>(), 0);
}
