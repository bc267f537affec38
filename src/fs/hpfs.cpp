// Folders and files in a handle store.
//
// A file is one handle holding the file's bytes. A folder is one handle,
// little-endian:
//    0  4  magic "HDIR"
//    4  4  entry count
//    8     entries: u32 handle, u32 attributes (0x10 folder, 0x80 file),
//          u16 name length, the name's bytes
// Names compare ignoring ASCII case; "/" and "\\" separate path components.
// Every change of a folder is written back at once; the store is committed
// when a file is flushed or closed and when the file system goes.
#include "fs/hpfs.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "base/log.h"
#include "fs/file_service.h"
#include "fs/handle_io.h"

namespace {

constexpr char kFolderMagic[4] = {'H', 'D', 'I', 'R'};
constexpr uint32_t kFolderHead = 8;
constexpr uint32_t kEntryHead = 10;
constexpr uint16_t kMountMode = 0xC3;

std::vector<std::string> Parts(const char* path) {
  std::vector<std::string> parts;
  std::string part;
  for (const char* c = path; ; ++c) {
    if (*c == '/' || *c == '\\' || *c == '\0') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
      if (!*c) break;
    } else {
      part += *c;
    }
  }
  return parts;
}

class CHPFSFile : public CFile {
  TV_CLASS(CHPFSFile, CFile)

 public:
  CHPFSFile(CHPFS* fs, StoreHandle handle, uint16_t mode)
      : CFile(mode), m_fs(fs), m_handle(handle) {
    SetStateWord(1);
  }
  ~CHPFSFile() override {
    m_fs->FileClosed(m_handle, Mode());
    if (Mode() & kOpenWrite) m_fs->Commit();
  }

  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override {
    if (count) *count = 0;
    if (!(Mode() & kOpenRead)) return err::kAccessDenied;
    const uint32_t size = GetSize();
    const uint32_t n = m_position < size ? std::min(length, size - m_position) : 0;
    uint32_t got = 0;
    if (n)
      if (ErrCode error = m_fs->Store()->Read(m_handle, buffer, m_position, n, &got)) return error;
    m_position += got;
    if (count) *count = got;
    return got == length ? err::kOk : err::kEof;
  }
  ErrCode Write(const void* buffer, uint32_t length, uint32_t* count) override {
    if (count) *count = 0;
    if (!(Mode() & kOpenWrite)) return err::kAccessDenied;
    if (length == 0) return err::kOk;
    const uint64_t end = uint64_t{m_position} + length;
    if (end > 0xFFFFFFFF) return err::kDiskFull;
    if (end > GetSize())
      if (ErrCode error = m_fs->Store()->Resize(m_handle, static_cast<uint32_t>(end)))
        return error == err::kAllocFail ? err::kDiskFull : error;
    if (ErrCode error = m_fs->Store()->Write(m_handle, buffer, m_position, length)) return error;
    m_position += length;
    if (count) *count = length;
    return err::kOk;
  }
  ErrCode Seek(int32_t offset, int origin) override {
    const int64_t base = origin == kSeekSet ? 0 : origin == kSeekCur ? m_position : GetSize();
    if (base + offset < 0 || base + offset > 0xFFFFFFFF) return err::kSeekFail;
    m_position = static_cast<uint32_t>(base + offset);
    return err::kOk;
  }
  uint32_t GetSize() override {
    uint32_t size = 0;
    m_fs->Store()->SizeOf(m_handle, &size);
    return size;
  }
  uint32_t Tell() override { return m_position; }
  ErrCode Flush() override { return m_fs->Commit(); }
  ErrCode Truncate() override {
    if (!(Mode() & kOpenWrite)) return err::kAccessDenied;
    return m_position < GetSize() ? m_fs->Store()->Resize(m_handle, m_position) : err::kOk;
  }

 private:
  CHPFS* m_fs;
  StoreHandle m_handle;
  uint32_t m_position = 0;
};

class CFolderRecord : public CFindRecord {
 public:
  std::vector<std::pair<std::string, uint32_t>> entries;
  size_t next = 0;
};

}  // namespace

std::unique_ptr<CHPFS> CHPFS::Mount(std::unique_ptr<CFile> file, ErrCode* error) {
  std::unique_ptr<CHPFS> fs(new CHPFS());
  fs->m_file = std::move(file);
  *error = fs->m_store.Open(fs->m_file.get());
  if (*error) return nullptr;
  StoreHandle top = fs->m_store.RootHandle();
  if (!top) {
    top = fs->m_store.NewHandle(0, error);
    if (!*error) *error = fs->WriteFolder(top, {});
    if (*error) return nullptr;
    fs->m_store.SetRootHandle(top);
    if ((*error = fs->m_store.Commit())) return nullptr;
  }
  Folder folder;
  if ((*error = fs->ReadFolder(top, &folder))) return nullptr;
  return fs;
}

CHPFS::~CHPFS() {
  if (ErrCode error = m_store.Commit())
    LogMessage(kLogEngine, "FS: store not committed (%s)\n", ErrName(error));
}

ErrCode CHPFS::ReadFolder(StoreHandle handle, Folder* folder) {
  folder->clear();
  CHandleMap map(&m_store, handle);
  if (ErrCode error = map.Map()) return error;
  const std::vector<uint8_t>& bytes = map.Bytes();
  if (bytes.size() < kFolderHead || std::memcmp(bytes.data(), kFolderMagic, 4) != 0)
    return err::kInvalidFormat;
  uint32_t count;
  std::memcpy(&count, bytes.data() + 4, 4);
  size_t at = kFolderHead;
  for (uint32_t i = 0; i < count; ++i) {
    if (bytes.size() - at < kEntryHead) return err::kInvalidFormat;
    SEntry entry;
    uint16_t length;
    std::memcpy(&entry.handle, &bytes[at], 4);
    std::memcpy(&entry.attributes, &bytes[at + 4], 4);
    std::memcpy(&length, &bytes[at + 8], 2);
    at += kEntryHead;
    if (bytes.size() - at < length) return err::kInvalidFormat;
    entry.name.assign(reinterpret_cast<const char*>(&bytes[at]), length);
    at += length;
    folder->push_back(std::move(entry));
  }
  return err::kOk;
}

ErrCode CHPFS::WriteFolder(StoreHandle handle, const Folder& folder) {
  CHandleMap map(&m_store, handle);
  std::vector<uint8_t>& bytes = map.Bytes();
  bytes.clear();
  auto put = [&](const void* data, size_t size) {
    const size_t at = bytes.size();
    bytes.resize(at + size);
    if (size) std::memcpy(bytes.data() + at, data, size);
  };
  put(kFolderMagic, 4);
  const uint32_t count = static_cast<uint32_t>(folder.size());
  put(&count, 4);
  for (const SEntry& entry : folder) {
    const uint16_t length = static_cast<uint16_t>(entry.name.size());
    put(&entry.handle, 4);
    put(&entry.attributes, 4);
    put(&length, 2);
    put(entry.name.data(), length);
  }
  map.MarkDirty();
  return map.Unmap();
}

ErrCode CHPFS::Walk(const std::vector<std::string>& parts, size_t count, StoreHandle* folder) {
  *folder = m_store.RootHandle();
  for (size_t i = 0; i < count; ++i) {
    Folder entries;
    if (ErrCode error = ReadFolder(*folder, &entries)) return error;
    auto found = std::find_if(entries.begin(), entries.end(), [&](const SEntry& e) {
      return (e.attributes & kAttrDirectory) && strcasecmp(e.name.c_str(), parts[i].c_str()) == 0;
    });
    if (found == entries.end()) return err::kPathNotFound;
    *folder = found->handle;
  }
  return err::kOk;
}

ErrCode CHPFS::Find(const char* path, SEntry* entry) {
  const std::vector<std::string> parts = Parts(path ? path : "");
  if (parts.empty()) return err::kFileNotFound;
  StoreHandle folder = 0;
  if (ErrCode error = Walk(parts, parts.size() - 1, &folder)) return error;
  Folder entries;
  if (ErrCode error = ReadFolder(folder, &entries)) return error;
  for (const SEntry& e : entries) {
    if (strcasecmp(e.name.c_str(), parts.back().c_str()) != 0) continue;
    *entry = e;
    return err::kOk;
  }
  return err::kFileNotFound;
}

ErrCode CHPFS::AddEntry(const char* parent, const std::string& name, uint32_t attributes,
                        StoreHandle* handle) {
  if (name.empty() || name.size() > 0xFFFF || name.find_first_of("/\\") != std::string::npos)
    return err::kBadParams;
  const std::vector<std::string> parts = Parts(parent ? parent : "");
  StoreHandle folder = 0;
  if (ErrCode error = Walk(parts, parts.size(), &folder)) return error;
  Folder entries;
  if (ErrCode error = ReadFolder(folder, &entries)) return error;
  for (const SEntry& e : entries)
    if (strcasecmp(e.name.c_str(), name.c_str()) == 0) return err::kAlreadyExists;
  ErrCode error = err::kOk;
  *handle = m_store.NewHandle(0, &error);
  if (error) return error == err::kAllocFail ? err::kDiskFull : error;
  if (attributes & kAttrDirectory) error = WriteFolder(*handle, {});
  entries.push_back({*handle, attributes, name});
  if (!error) error = WriteFolder(folder, entries);
  if (error) m_store.FreeHandle(*handle);
  return error;
}

ErrCode CHPFS::RemoveEntry(const char* path, uint32_t attributes) {
  const std::vector<std::string> parts = Parts(path ? path : "");
  if (parts.empty()) return err::kBadParams;
  StoreHandle folder = 0;
  if (ErrCode error = Walk(parts, parts.size() - 1, &folder)) return error;
  Folder entries;
  if (ErrCode error = ReadFolder(folder, &entries)) return error;
  auto found = std::find_if(entries.begin(), entries.end(), [&](const SEntry& e) {
    return strcasecmp(e.name.c_str(), parts.back().c_str()) == 0;
  });
  if (found == entries.end()) return err::kFileNotFound;
  if ((found->attributes & kAttrDirectory) != (attributes & kAttrDirectory))
    return err::kAccessDenied;
  if (m_open.count(found->handle)) return err::kSharing;
  if (attributes & kAttrDirectory) {
    Folder inside;
    if (ErrCode error = ReadFolder(found->handle, &inside)) return error;
    if (!inside.empty()) return err::kAccessDenied;
  }
  const StoreHandle handle = found->handle;
  entries.erase(found);
  if (ErrCode error = WriteFolder(folder, entries)) return error;
  if (ErrCode error = m_store.FreeHandle(handle)) return error;
  return m_store.Commit();
}

bool CHPFS::SharingAllows(StoreHandle handle, uint16_t mode) const {
  auto [first, last] = m_open.equal_range(handle);
  for (auto it = first; it != last; ++it) {
    const uint16_t other = it->second;
    if (((mode & kOpenRead) && !(other & kOpenShareRead)) ||
        ((mode & kOpenWrite) && !(other & kOpenShareWrite)) ||
        ((other & kOpenRead) && !(mode & kOpenShareRead)) ||
        ((other & kOpenWrite) && !(mode & kOpenShareWrite)))
      return false;
  }
  return true;
}

void CHPFS::FileClosed(StoreHandle handle, uint16_t mode) {
  auto [first, last] = m_open.equal_range(handle);
  for (auto it = first; it != last; ++it) {
    if (it->second != mode) continue;
    m_open.erase(it);
    return;
  }
}

std::unique_ptr<CFile> CHPFS::Open(const char* path, uint16_t mode, ErrCode* error) {
  ErrCode result = err::kOk;
  SEntry entry{};
  const bool create = mode & kOpenCreate;
  const bool truncate = create && (mode & kOpenTruncate);
  result = Find(path, &entry);
  if (result == err::kFileNotFound && create) {
    const std::vector<std::string> parts = Parts(path ? path : "");
    std::string parent;
    for (size_t i = 0; i + 1 < parts.size(); ++i) parent += parts[i] + "/";
    result = parts.empty() ? err::kBadParams
                           : AddEntry(parent.c_str(), parts.back(), kAttrNormal, &entry.handle);
  } else if (!result && (entry.attributes & kAttrDirectory)) {
    result = err::kAccessDenied;
  } else if (!result && create && !truncate) {
    result = err::kFileExist;
  } else if (!result && !SharingAllows(entry.handle, mode)) {
    result = err::kSharing;
  } else if (!result && truncate) {
    result = m_store.Resize(entry.handle, 0);
  }
  if (error) *error = result;
  if (result) return nullptr;
  m_open.emplace(entry.handle, mode);
  return std::make_unique<CHPFSFile>(this, entry.handle, mode);
}

bool CHPFS::Exists(const char* path) {
  SEntry entry{};
  return Find(path, &entry) == err::kOk && !(entry.attributes & kAttrDirectory);
}

ErrCode CHPFS::Delete(const char* path) { return RemoveEntry(path, kAttrNormal); }

ErrCode CHPFS::MakeDir(const char* parent, const char* name) {
  if (!name) return err::kBadParams;
  StoreHandle handle = 0;
  if (ErrCode error = AddEntry(parent, name, kAttrDirectory, &handle)) return error;
  return m_store.Commit();
}

ErrCode CHPFS::RemoveDir(const char* parent, const char* name) {
  if (!parent || !name) return err::kBadParams;
  return RemoveEntry((std::string(parent) + "/" + name).c_str(), kAttrDirectory);
}

ErrCode CHPFS::FindFirst(FindContext* context, const char* directory) {
  if (!context || !directory) return err::kBadParams;
  *context = FindContext{};
  const std::vector<std::string> parts = Parts(directory);
  StoreHandle folder = 0;
  if (ErrCode error = Walk(parts, parts.size(), &folder)) return error;
  Folder entries;
  if (ErrCode error = ReadFolder(folder, &entries)) return error;
  auto record = std::make_unique<CFolderRecord>();
  for (const SEntry& e : entries) record->entries.emplace_back(e.name, e.attributes);
  context->owner = this;
  context->record = std::move(record);
  return FindNext(context);
}

ErrCode CHPFS::FindNext(FindContext* context) {
  if (!context || !context->record) return err::kBadParams;
  auto* record = static_cast<CFolderRecord*>(context->record.get());
  if (record->next >= record->entries.size()) return err::kNoMoreFiles;
  const auto& [name, attributes] = record->entries[record->next++];
  context->name = name.c_str();
  context->attributes = attributes;
  return err::kOk;
}

ErrCode CHPFS::FindClose(FindContext* context) {
  if (!context) return err::kBadParams;
  *context = FindContext{};
  return err::kOk;
}

ErrCode MountHpfs(const std::string& prefix, const std::string& argument) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> file = FsOpen(argument.c_str(), kMountMode, &error);
  if (!file) return error ? error : err::kFileNotFound;
  char magic[4] = {};
  if (file->ReadAt(magic, 0, 4, nullptr) != err::kOk || std::memcmp(magic, "HPFS", 4) != 0) {
    LogMessage(kLogEngine, "FS: %s is no handle store, skipped\n", argument.c_str());
    return err::kOk;
  }
  std::unique_ptr<CHPFS> fs = CHPFS::Mount(std::move(file), &error);
  if (!fs) return error;
  RegisterMount(prefix.c_str(), std::move(fs), 0);
  return err::kOk;
}

ErrCode UnmountHpfs(const std::string& prefix) {
  return UnregisterMount(prefix.c_str()) ? err::kOk : err::kNotFound;
}

