// The file system laid over a handle store, mounted by "HPFS" entries of
// the file-system configuration section. Files and folders are handles; the
// store's root handle is the top folder. Layout at the top of hpfs.cpp.
//
// Opens check the sharing bits against the other open files of the same
// handle: an opener that reads needs every other opener to share reading,
// one that writes needs them to share writing, and the other way round.
// Open files must be closed before the file system goes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "fs/file.h"
#include "fs/bfhp.h"

class CHPFS : public CFileService {
  TV_CLASS(CHPFS, CFileService)

 public:
  // Takes the open store file; INVALIDFORMAT when the store's top folder
  // is not one. A store without a root handle gets an empty top folder.
  static std::unique_ptr<CHPFS> Mount(std::unique_ptr<CFile> file, ErrCode* error);
  ~CHPFS() override;

  std::unique_ptr<CFile> Open(const char* path, uint16_t mode, ErrCode* error) override;
  bool Exists(const char* path) override;
  ErrCode Delete(const char* path) override;
  ErrCode MakeDir(const char* parent, const char* name) override;
  ErrCode RemoveDir(const char* parent, const char* name) override;
  ErrCode FindFirst(FindContext* context, const char* directory) override;
  ErrCode FindNext(FindContext* context) override;
  ErrCode FindClose(FindContext* context) override;

  ErrCode Commit() { return m_store.Commit(); }
  CBFHP* Store() { return &m_store; }

  // Open files report here.
  void FileClosed(StoreHandle handle, uint16_t mode);

 private:
  struct SEntry {
    StoreHandle handle;
    uint32_t attributes;
    std::string name;
  };
  using Folder = std::vector<SEntry>;

  CHPFS() = default;
  ErrCode ReadFolder(StoreHandle handle, Folder* folder);
  ErrCode WriteFolder(StoreHandle handle, const Folder& folder);
  // The folder the path's components before the last one name.
  ErrCode Walk(const std::vector<std::string>& parts, size_t count, StoreHandle* folder);
  ErrCode Find(const char* path, SEntry* entry);
  ErrCode AddEntry(const char* parent, const std::string& name, uint32_t attributes,
                   StoreHandle* handle);
  ErrCode RemoveEntry(const char* path, uint32_t attributes);
  bool SharingAllows(StoreHandle handle, uint16_t mode) const;

  std::unique_ptr<CFile> m_file;
  CBFHP m_store;
  std::unordered_multimap<StoreHandle, uint16_t> m_open;
};

// The "HPFS" kind of the mount configuration: mounts a store file under a
// prefix, and unmounts it.
ErrCode MountHpfs(const std::string& prefix, const std::string& argument);
ErrCode UnmountHpfs(const std::string& prefix);
