#include "fs/file.h"

#include <algorithm>

#include "base/memory.h"

CFile::~CFile() = default;

void CFile::SetUnderlying(CFile* file, bool owned) {
  m_under = file;
  m_owned_under.reset(owned ? file : nullptr);
}

ErrCode CFile::Read(void*, uint32_t, uint32_t* count) {
  if (count) *count = 0;
  return err::kOk;
}

ErrCode CFile::ReadAt(void* buffer, uint32_t position, uint32_t length,
                      uint32_t* count) {
  if (ErrCode error = Seek(static_cast<int32_t>(position), kSeekSet)) return error;
  return Read(buffer, length, count);
}

ErrCode CFile::Write(const void*, uint32_t, uint32_t* count) {
  if (count) *count = 0;
  return err::kOk;
}

ErrCode CFile::WriteAt(const void* buffer, uint32_t position, uint32_t length,
                       uint32_t* count) {
  if (ErrCode error = Seek(static_cast<int32_t>(position), kSeekSet)) return error;
  return Write(buffer, length, count);
}

ErrCode CFile::Seek(int32_t, int) { return err::kOk; }
uint32_t CFile::GetSize() { return 0; }
uint32_t CFile::Tell() { return 0; }
ErrCode CFile::Flush() { return err::kOk; }
ErrCode CFile::Truncate() { return err::kOk; }

ErrCode CFile::MoveBlock(uint32_t destination, uint32_t source, uint32_t length,
                         uint32_t chunk_size, void* buffer) {
  const uint32_t size = GetSize();
  if (source >= size || length == 0) return err::kOk;
  length = std::min(length, size - source);
  if (chunk_size == 0) return err::kBadParams;

  void* owned = nullptr;
  if (!buffer) {
    owned = PtrAlloc(chunk_size);
    if (!owned) return err::kNotEnoughMem;
    buffer = owned;
  }
  // Overlapping ranges move like memmove: from the end when the source lies
  // before the destination, so no byte is overwritten before it is read.
  const bool backwards = source < destination;
  ErrCode error = err::kOk;
  for (uint32_t done = 0; done < length && !error;) {
    const uint32_t n = std::min(chunk_size, length - done);
    const uint32_t offset = backwards ? length - done - n : done;
    error = ReadAt(buffer, source + offset, n, nullptr);
    if (!error) error = WriteAt(buffer, destination + offset, n, nullptr);
    done += n;
  }
  PtrFree(owned);
  return error;
}

ErrCode CFile::ReadAlloc(uint32_t position, uint32_t length, void** out) {
  *out = PtrAlloc(length);
  if (!*out) return err::kNotEnoughMem;
  if (ErrCode error = ReadAt(*out, position, length, nullptr)) {
    PtrFree(*out);
    *out = nullptr;
    return error;
  }
  ++m_alloc_count;
  return err::kOk;
}

void CFile::FreeAlloc(void* buffer) {
  if (!buffer) return;
  PtrFree(buffer);
  --m_alloc_count;
}

ErrCode CFile::GetProperty(uint32_t, uint32_t*, uint32_t) { return err::kUnknownPid; }
ErrCode CFile::SetProperty(uint32_t, uint32_t, uint32_t) { return err::kUnknownPid; }

std::unique_ptr<CFile> CFileService::Open(const char*, uint16_t, ErrCode*) {
  return nullptr;
}
bool CFileService::Exists(const char*) { return false; }
ErrCode CFileService::Delete(const char*) { return err::kNotImplementedYet; }
ErrCode CFileService::Rename(const char*, const char*) {
  return err::kNotImplementedYet;
}
ErrCode CFileService::RenameOver(const char*, const char*) {
  return err::kNotImplementedYet;
}
ErrCode CFileService::FlushDir(const char*) { return err::kNotImplementedYet; }
ErrCode CFileService::MakeDir(const char*, const char*) {
  return err::kNotImplementedYet;
}
ErrCode CFileService::RemoveDir(const char*, const char*) {
  return err::kNotImplementedYet;
}
ErrCode CFileService::FindFirst(FindContext*, const char*) {
  return err::kNotImplementedYet;
}
ErrCode CFileService::FindNext(FindContext*) { return err::kNotImplementedYet; }
ErrCode CFileService::FindClose(FindContext*) { return err::kNotImplementedYet; }
ErrCode CFileService::Query(const char*, uint32_t, char*) {
  return err::kNotImplementedYet;
}
ErrCode CFileService::Query2(const char*, uint32_t, uint32_t) {
  return err::kNotImplementedYet;
}
uint32_t CFileService::GetEntryOffset(const char*, ErrCode* error) {
  if (error) *error = err::kOk;
  return 0;
}
