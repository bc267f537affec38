// Open files and file systems.
//
// A CFile is an open file; closing it is deleting it. A CFileService is one
// file system; the file service's mount table (file_service.h) hands each a
// path with its mount prefix stripped. Layered files (compressed files, files
// inside pack files) read through an underlying CFile that they may own.
#pragma once

#include <cstdint>
#include <memory>

#include "base/errors.h"
#include "base/object.h"

// Open mode bits.
enum : uint16_t {
  kOpenRead = 0x01,
  kOpenWrite = 0x02,
  kOpenCreate = 0x04,      // alone: the file must not exist yet
  kOpenTruncate = 0x08,    // with kOpenCreate: create or truncate
  kOpenSequential = 0x10,  // access hints
  kOpenRandom = 0x20,
  kOpenShareRead = 0x40,   // other openers may read meanwhile
  kOpenShareWrite = 0x80,  // other openers may write meanwhile
};

enum : int { kSeekSet = 0, kSeekCur = 1, kSeekEnd = 2 };

// Directory-listing attributes.
enum : uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrNormal = 0x80,
  kAttrTemporary = 0x100,
  kAttrCompressed = 0x800,
};

class CFile : public CObject {
  TV_CLASS(CFile, CObject)

 public:
  explicit CFile(uint16_t mode = 0) : m_mode(mode) {}
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;
  ~CFile() override;

  // A short read or write sets `count` to what was transferred and answers
  // EOF (reads) or the write failure.
  virtual ErrCode Read(void* buffer, uint32_t length, uint32_t* count);
  virtual ErrCode ReadAt(void* buffer, uint32_t position, uint32_t length,
                         uint32_t* count);
  virtual ErrCode Write(const void* buffer, uint32_t length, uint32_t* count);
  virtual ErrCode WriteAt(const void* buffer, uint32_t position,
                          uint32_t length, uint32_t* count);
  virtual ErrCode Seek(int32_t offset, int origin);
  virtual uint32_t GetSize();
  virtual uint32_t Tell();
  virtual ErrCode Flush();
  // Ends the file at the current position.
  virtual ErrCode Truncate();
  // memmove inside the file through a chunk buffer (the caller's or one
  // taken from the pointer pool).
  virtual ErrCode MoveBlock(uint32_t destination, uint32_t source,
                            uint32_t length, uint32_t chunk_size, void* buffer);
  virtual ErrCode ReadAlloc(uint32_t position, uint32_t length, void** out);
  virtual void FreeAlloc(void* buffer);
  virtual ErrCode GetProperty(uint32_t id, uint32_t* value, uint32_t argument);
  virtual ErrCode SetProperty(uint32_t id, uint32_t value, uint32_t argument);

  uint16_t Mode() const { return m_mode; }
  uint16_t StateWord() const { return m_state; }
  uint16_t AllocCount() const { return m_alloc_count; }
  CFile* Underlying() const { return m_under; }

 protected:
  // Makes `file` the file this one reads through; owned files are deleted
  // with this one.
  void SetUnderlying(CFile* file, bool owned);
  void SetStateWord(uint16_t state) { m_state = state; }

 private:
  uint16_t m_mode;
  uint16_t m_state = 0;
  uint16_t m_alloc_count = 0;
  CFile* m_under = nullptr;
  std::unique_ptr<CFile> m_owned_under;
};

class CFindRecord {
 public:
  virtual ~CFindRecord() = default;
};

// Directory-listing state: filled by FindFirst, advanced by FindNext, cleared
// by FindClose. `name` points into the record.
struct FindContext {
  class CFileService* owner = nullptr;
  std::unique_ptr<CFindRecord> record;
  uint32_t attributes = 0;
  const char* name = nullptr;
};

inline constexpr uint32_t kQueryAbsolutePath = 0x2DF88EF;
inline constexpr size_t kQueryBufferSize = 256;

class CFileService : public CObject {
  TV_CLASS(CFileService, CObject)

 public:
  CFileService() = default;
  CFileService(const CFileService&) = delete;
  CFileService& operator=(const CFileService&) = delete;

  // Paths are the rest of a virtual path after the mount prefix. `error` may
  // be null.
  virtual std::unique_ptr<CFile> Open(const char* path, uint16_t mode,
                                      ErrCode* error);
  virtual bool Exists(const char* path);
  virtual ErrCode Delete(const char* path);
  virtual ErrCode Rename(const char* old_path, const char* new_path);
  // Renames `old_path` over an existing file `new_path` (or to a new name)
  // in one step: at no moment is there no file of the new name.
  virtual ErrCode RenameOver(const char* old_path, const char* new_path);
  // Makes the entries of `directory` (new names, renames) durable, as Flush
  // does for a file's bytes.
  virtual ErrCode FlushDir(const char* directory);
  virtual ErrCode MakeDir(const char* parent, const char* name);
  virtual ErrCode RemoveDir(const char* parent, const char* name);
  virtual ErrCode FindFirst(FindContext* context, const char* directory);
  virtual ErrCode FindNext(FindContext* context);
  virtual ErrCode FindClose(FindContext* context);
  // `buffer` holds kQueryBufferSize bytes.
  virtual ErrCode Query(const char* path, uint32_t id, char* buffer);
  virtual ErrCode Query2(const char* path, uint32_t a, uint32_t b);
  // Where the file's data starts inside the file system's container file.
  virtual uint32_t GetEntryOffset(const char* path, ErrCode* error);
};
