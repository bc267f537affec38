// The translating file system: re-roots a part of another file system under a
// new mount prefix. Every path it is given is prefixed with its own prefix
// (plain concatenation) and handed to its target, which it does not own; a
// translator must be unmounted before its target.
#pragma once

#include <string>

#include "fs/file.h"

inline constexpr size_t kTransPrefixLimit = 255;

class CTransFS : public CFileService {
  TV_CLASS(CTransFS, CFileService)

 public:
  CTransFS(std::string prefix, CFileService* target);

  const std::string& Prefix() const { return m_prefix; }
  CFileService* Target() const { return m_target; }
  // prefix + path.
  std::string Translate(const char* path) const;

  std::unique_ptr<CFile> Open(const char* path, uint16_t mode,
                              ErrCode* error) override;
  bool Exists(const char* path) override;
  ErrCode Delete(const char* path) override;
  ErrCode Rename(const char* old_path, const char* new_path) override;
  // Replacing a file goes through too (see fs/replace.h).
  ErrCode RenameOver(const char* old_path, const char* new_path) override;
  ErrCode FlushDir(const char* directory) override;
  ErrCode MakeDir(const char* parent, const char* name) override;
  ErrCode RemoveDir(const char* parent, const char* name) override;
  ErrCode FindFirst(FindContext* context, const char* directory) override;
  ErrCode FindNext(FindContext* context) override;
  ErrCode FindClose(FindContext* context) override;
  ErrCode Query(const char* path, uint32_t id, char* buffer) override;
  ErrCode Query2(const char* path, uint32_t a, uint32_t b) override;

 private:
  std::string m_prefix;
  CFileService* m_target;
};

// Resolves `target_path` through the mount table and registers, under
// `prefix`, a translator to the file system found with the unmatched rest of
// the target path as its prefix. NOTFOUND when nothing matches.
ErrCode MountTrans(const char* prefix, const char* target_path);
