// Pack files: one read-only file holding many resource files and a sorted,
// front-coded directory of their names (the layout is described at the top
// of pack_fs.cpp).
//
// A pack is mounted under a virtual prefix; CPackFS then answers opens,
// existence tests and listings below it. Paths are normalised before every
// lookup: upper-cased (ASCII) with "\\" as the separator. The directory stays
// in one movable memory block for the life of the mount; lookups never read
// the pack file. Files inside the pack are read straight from the pack file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/memory.h"
#include "fs/file.h"

// A pack refuses write access with this plain number.
inline constexpr ErrCode kPackWriteDenied = 8001;
inline constexpr size_t kPackNameLimit = 255;

// The lookup key of a path: at most kPackNameLimit characters, ASCII
// letters upper-cased, "/" turned into "\\".
std::string NormalisePackName(const char* path);

// Where an entry's data lies in the pack file.
struct SPackData {
  uint32_t offset = 0;
  uint32_t size = 0;
};

// An entry met by a directory walk, with its full name.
struct SPackEntry {
  uint32_t index = 0;     // entry number
  uint32_t position = 0;  // offset of the entry within the directory
  std::string name;
  SPackData data;
};

class CPackDirectory {
 public:
  // Reads and checks the directory of the pack; 0 or the error.
  ErrCode Load(CFile& pack);

  uint32_t Count() const { return m_count; }
  // The entry named exactly `key`.
  bool Find(std::string_view key, SPackData* data) const;
  // The first entry, in directory order, whose name begins with `prefix`.
  bool FindPrefix(std::string_view prefix, SPackEntry* entry) const;
  // Moves `entry` to the entry after it; false at the end.
  bool Next(SPackEntry* entry) const;

 private:
  struct SIndexRow {
    uint32_t position;
    uint32_t name_start;  // in m_index_names
    uint32_t name_length;
  };
  struct SBound;

  // The first entry whose name is not less than `key`.
  bool LowerBound(const uint8_t* directory, std::string_view key,
                  SBound* bound) const;

  CHandle m_block;
  uint32_t m_size = 0;
  uint32_t m_count = 0;
  std::string_view RowName(const SIndexRow& row) const {
    return std::string_view(m_index_names).substr(row.name_start, row.name_length);
  }

  // Every kPackIndexStep-th entry; their full names lie back to back.
  std::vector<SIndexRow> m_index;
  std::string m_index_names;
};

class CPackFS : public CFileService {
  TV_CLASS(CPackFS, CFileService)

 public:
  explicit CPackFS(std::unique_ptr<CFile> pack) : m_pack(std::move(pack)) {}

  ErrCode Load() { return m_directory.Load(*m_pack); }
  const CPackDirectory& Directory() const { return m_directory; }

  std::unique_ptr<CFile> Open(const char* path, uint16_t mode,
                              ErrCode* error) override;
  bool Exists(const char* path) override;
  ErrCode FindFirst(FindContext* context, const char* directory) override;
  ErrCode FindNext(FindContext* context) override;
  ErrCode FindClose(FindContext* context) override;
  uint32_t GetEntryOffset(const char* path, ErrCode* error) override;

 private:
  std::unique_ptr<CFile> m_pack;
  CPackDirectory m_directory;
};

// An open file inside a pack: a window on the pack file, which it borrows.
class CPackFile : public CFile {
  TV_CLASS(CPackFile, CFile)

 public:
  CPackFile(CFile& pack, SPackData data, uint16_t mode);

  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override;
  ErrCode Write(const void* buffer, uint32_t length, uint32_t* count) override;
  ErrCode Seek(int32_t offset, int origin) override;
  uint32_t GetSize() override { return m_data.size; }
  uint32_t Tell() override { return m_position; }
  ErrCode Flush() override;
  ErrCode Truncate() override;

 private:
  SPackData m_data;
  uint32_t m_position = 0;
};

// Loads the pack's directory and registers it under `prefix`. A null file or
// one that did not open gives "Unknown error".
ErrCode MountPack(std::unique_ptr<CFile> file, const char* prefix);
// Unregisters and deletes the pack mounted under `prefix`; NOTFOUND when no
// pack is mounted there.
ErrCode UnmountPack(const char* prefix);
