// The shadow overlay: a read-only project file presented as a writable file
// whose changes go to a shadow file ("shadow.tmp" beside the project, or
// memory in game mode) until they are committed.
//
// The changes are extents, kept sorted by their offset in the project file:
// (offset, length, offset in the shadow file). A write to bytes no extent
// covers is widened to whole pages of the project file, so that the next
// small write to the same page lands in the shadow in place; the widened
// bytes are copied from the project file. Bytes past the project file's end
// (or past a truncation) read as zeros, as in a real file.
//
// Commit writes the whole logical file through the replace helper
// (fs/replace.h), so that an interruption leaves the old project or the new
// one; only then are the extents dropped and the shadow emptied. A failed
// commit changes nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "fs/file.h"

class CShadowFile : public CFile {
  TV_CLASS(CShadowFile, CFile)

 public:
  static constexpr uint32_t kPageSize = 512;
  static constexpr size_t kExtentStep = 256;
  static constexpr uint32_t kCommitPiece = 32768;

  struct SExtent {
    uint32_t base;
    uint32_t length;
    uint32_t shadow;
    bool operator==(const SExtent&) const = default;
  };

  // `path` names the base file, which Commit replaces and reopens; an empty
  // path makes an overlay that never commits.
  CShadowFile(std::string path, std::unique_ptr<CFile> base, std::unique_ptr<CFile> shadow);

  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override;
  ErrCode ReadAt(void* buffer, uint32_t position, uint32_t length, uint32_t* count) override;
  ErrCode Write(const void* buffer, uint32_t length, uint32_t* count) override;
  ErrCode WriteAt(const void* buffer, uint32_t position, uint32_t length,
                  uint32_t* count) override;
  ErrCode Seek(int32_t offset, int origin) override;
  uint32_t GetSize() override { return m_size; }
  uint32_t Tell() override { return m_position; }
  ErrCode Flush() override;
  ErrCode Truncate() override;

  ErrCode Commit();

  std::span<const SExtent> Extents() const { return m_extents; }
  uint32_t ShadowBytes() const { return m_shadow_size; }

 private:
  // The first extent that ends after `position`.
  size_t ExtentAfter(uint32_t position) const;
  // Walks [position, end) in stretches: `covered(at, next, shadow offset)`
  // where an extent holds the bytes, `gap(extent index, at, next)` where
  // none does; stops at the first error.
  template <class Covered, class Gap>
  ErrCode Walk(uint32_t position, uint32_t end, Covered covered, Gap gap);
  // Bytes of the base file, zeros past its valid end.
  ErrCode ReadBase(uint8_t* out, uint32_t position, uint32_t length);
  // Appends the stretch [start, end) that no extent covers, widened to pages.
  ErrCode AppendStretch(size_t index, uint32_t start, uint32_t end, const uint8_t* bytes);
  void AddExtent(size_t index, const SExtent& extent);
  ErrCode CopyLogicalFile(CFile* target);

  std::string m_path;
  std::unique_ptr<CFile> m_base;
  std::unique_ptr<CFile> m_shadow;
  uint32_t m_base_size = 0;
  // The base bytes still valid: truncations since the last commit cut them.
  uint32_t m_base_valid = 0;
  uint32_t m_shadow_size = 0;
  uint32_t m_size = 0;
  uint32_t m_position = 0;
  std::vector<SExtent> m_extents;
  std::vector<uint8_t> m_page;
};
