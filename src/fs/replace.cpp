#include "fs/replace.h"

#include "fs/file_service.h"

namespace {

constexpr uint16_t kCopyMode = kOpenWrite | kOpenCreate | kOpenTruncate;

// The folder part of a path with its separator, or "" for a bare name.
std::string FolderOf(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? "" : path.substr(0, separator + 1);
}

// The copy that replaces `path`, beside it.
std::string CopyPathOf(const char* path) { return std::string(path) + ".new"; }

}  // namespace

// One delete, whose failure when there is no copy is the common case.
void RemoveStaleCopy(const char* path) { FsDelete(CopyPathOf(path).c_str()); }

CFileReplace::~CFileReplace() {
  m_file.reset();
  if (m_pending) FsDelete(m_copy.c_str());
}

void CFileReplace::BeginNamed(const char* path) {
  m_file.reset();
  m_path = path;
  m_copy = CopyPathOf(path);
  m_pending = true;
}

ErrCode CFileReplace::Begin(const char* path, uint16_t access) {
  BeginNamed(path);
  ErrCode error = err::kFile;
  m_file = FsOpenDirect(m_copy.c_str(), kCopyMode | access, &error);
  return m_file ? err::kOk : error;
}

ErrCode CFileReplace::Commit() {
  if (!m_pending) return err::kBadParams;
  ErrCode error = err::kFile;
  if (!m_file) m_file = FsOpenDirect(m_copy.c_str(), kOpenWrite, &error);
  if (!m_file) return error;
  error = m_file->Flush();
  m_file.reset();
  if (error) return error;
  if ((error = FsRenameOver(m_copy.c_str(), m_path.c_str()))) return error;
  m_pending = false;
  return FsFlushDir(FolderOf(m_path).c_str());
}

ErrCode ReplaceFileContents(const char* path, std::string_view contents) {
  return WriteReplacing(path, 0, [contents](CFile& file) {
    return file.Write(contents.data(), static_cast<uint32_t>(contents.size()), nullptr);
  });
}
