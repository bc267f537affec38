// Replacing a whole file so that an interruption leaves the old file or the
// new one, never a mixture.
//
// The new contents go to a copy, "<name>.new" in the same folder. Commit
// flushes the copy to the disk, renames it over <name> (the existing file
// the case-insensitive lookup finds, so a file keeps the name it has on
// disk), and flushes the folder so that the rename is on the disk too.
//
// Interrupted (the program killed, a write or flush failing, the power cut):
// - while the copy is written or flushed: <name> is the old file, whole; a
//   copy, perhaps torn, may be left beside it;
// - at the rename: the rename is one step, so <name> is the old file or the
//   new one;
// - after the rename, before the folder is flushed: the new file; after a
//   power cut the folder may still show the old one, whole.
// Every step finds the file through the mount table alone, as the rename
// and the folder's flush do: the open hooks, which look for resources in
// other places, would put the copy where the rename cannot reach it.
//
// A copy left behind is never read: the readers of files written this way
// call RemoveStaleCopy before they open <name>, and the next Begin truncates
// it. A copy that was not committed is deleted when its CFileReplace goes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fs/file.h"

class CFileReplace {
 public:
  CFileReplace() = default;
  ~CFileReplace();
  CFileReplace(const CFileReplace&) = delete;
  CFileReplace& operator=(const CFileReplace&) = delete;

  // Opens the copy of `path`, created or truncated, for writing, with the
  // `access` bits added to the open mode (reading, sharing).
  ErrCode Begin(const char* path, uint16_t access = 0);
  // For writers that open the file by name themselves: they write the copy
  // named by CopyPath() and close it before Commit.
  void BeginNamed(const char* path);

  // The open copy (null after BeginNamed and after Commit).
  CFile* File() const { return m_file.get(); }
  const std::string& CopyPath() const { return m_copy; }

  // Flushes and closes the copy and puts it in the file's place. A failure
  // before the rename leaves the file unchanged (the copy is deleted with
  // this object); a failing flush of the folder leaves the new file.
  ErrCode Commit();

 private:
  std::string m_path;
  std::string m_copy;
  std::unique_ptr<CFile> m_file;
  bool m_pending = false;
};

// Replaces the file with what `write` (CFile&) -> ErrCode puts into the
// copy, opened as by Begin.
template <class Write>
ErrCode WriteReplacing(const char* path, uint16_t access, Write write) {
  CFileReplace replace;
  if (ErrCode error = replace.Begin(path, access)) return error;
  if (ErrCode error = write(*replace.File())) return error;
  return replace.Commit();
}

// Replaces the file's contents with `contents`.
ErrCode ReplaceFileContents(const char* path, std::string_view contents);

// Deletes a copy left behind by an interrupted replacement of `path`.
void RemoveStaleCopy(const char* path);
