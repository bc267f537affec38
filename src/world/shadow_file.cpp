#include "world/shadow_file.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "fs/file_service.h"
#include "fs/replace.h"

namespace {

constexpr uint16_t kBaseMode = kOpenRead | kOpenShareRead;

uint32_t PageFloor(uint32_t position) {
  return position / CShadowFile::kPageSize * CShadowFile::kPageSize;
}
uint64_t PageCeil(uint64_t position) {
  return (position + CShadowFile::kPageSize - 1) / CShadowFile::kPageSize *
         CShadowFile::kPageSize;
}
uint32_t End(const CShadowFile::SExtent& extent) { return extent.base + extent.length; }

}  // namespace

CShadowFile::CShadowFile(std::string path, std::unique_ptr<CFile> base,
                         std::unique_ptr<CFile> shadow)
    : m_path(std::move(path)), m_base(std::move(base)), m_shadow(std::move(shadow)) {
  m_base_size = m_base->GetSize();
  m_base_valid = m_base_size;
  m_size = m_base_size;
  m_page.reserve(kPageSize);
}

size_t CShadowFile::ExtentAfter(uint32_t position) const {
  return std::upper_bound(m_extents.begin(), m_extents.end(), position,
                          [](uint32_t p, const SExtent& e) { return p < End(e); }) -
         m_extents.begin();
}

ErrCode CShadowFile::ReadBase(uint8_t* out, uint32_t position, uint32_t length) {
  const uint32_t from_base =
      position < m_base_valid ? std::min(length, m_base_valid - position) : 0;
  std::memset(out + from_base, 0, length - from_base);
  if (from_base == 0) return err::kOk;
  uint32_t count = 0;
  if (ErrCode error = m_base->ReadAt(out, position, from_base, &count)) return error;
  return count == from_base ? err::kOk : err::kReadFail;
}

template <class Covered, class Gap>
ErrCode CShadowFile::Walk(uint32_t position, uint32_t end, Covered covered, Gap gap) {
  for (uint32_t at = position; at < end;) {
    const size_t index = ExtentAfter(at);
    const SExtent* extent = index < m_extents.size() ? &m_extents[index] : nullptr;
    uint32_t next = 0;
    ErrCode error = err::kOk;
    if (extent && extent->base <= at) {
      next = std::min(end, End(*extent));
      error = covered(at, next, extent->shadow + (at - extent->base));
    } else {
      next = extent ? std::min(end, extent->base) : end;
      error = gap(index, at, next);
    }
    if (error) return error;
    at = next;
  }
  return err::kOk;
}

ErrCode CShadowFile::ReadAt(void* buffer, uint32_t position, uint32_t length, uint32_t* count) {
  if (count) *count = 0;
  const uint32_t available = position < m_size ? m_size - position : 0;
  const uint32_t wanted = std::min(length, available);
  uint8_t* out = static_cast<uint8_t*>(buffer);
  const ErrCode error = Walk(
      position, position + wanted,
      [&](uint32_t at, uint32_t next, uint32_t shadow) {
        uint32_t read = 0;
        const ErrCode failed = m_shadow->ReadAt(out + (at - position), shadow, next - at, &read);
        return failed ? failed : read != next - at ? err::kReadFail : err::kOk;
      },
      [&](size_t, uint32_t at, uint32_t next) {
        return ReadBase(out + (at - position), at, next - at);
      });
  if (error) return error;
  if (count) *count = wanted;
  return wanted == length ? err::kOk : err::kEof;
}

void CShadowFile::AddExtent(size_t index, const SExtent& extent) {
  if (index > 0) {
    SExtent& previous = m_extents[index - 1];
    if (End(previous) == extent.base && previous.shadow + previous.length == extent.shadow) {
      previous.length += extent.length;
      return;
    }
  }
  if (m_extents.size() == m_extents.capacity()) m_extents.reserve(m_extents.size() + kExtentStep);
  m_extents.insert(m_extents.begin() + static_cast<std::ptrdiff_t>(index), extent);
}

ErrCode CShadowFile::AppendStretch(size_t index, uint32_t start, uint32_t end,
                                   const uint8_t* bytes) {
  const uint32_t previous_end = index > 0 ? End(m_extents[index - 1]) : 0;
  const uint64_t next_start = index < m_extents.size() ? m_extents[index].base : UINT64_MAX;
  const uint32_t low = std::max(PageFloor(start), previous_end);
  const uint32_t high = static_cast<uint32_t>(std::min({PageCeil(end), next_start,
                                                        uint64_t{UINT32_MAX}}));
  m_page.resize(high - low);
  if (ErrCode error = ReadBase(m_page.data(), low, start - low)) return error;
  std::memcpy(m_page.data() + (start - low), bytes, end - start);
  if (ErrCode error = ReadBase(m_page.data() + (end - low), end, high - end)) return error;
  uint32_t written = 0;
  if (ErrCode error = m_shadow->WriteAt(m_page.data(), m_shadow_size, high - low, &written))
    return error;
  if (written != high - low) return err::kWriteFail;
  AddExtent(index, {low, high - low, m_shadow_size});
  m_shadow_size += high - low;
  return err::kOk;
}

ErrCode CShadowFile::WriteAt(const void* buffer, uint32_t position, uint32_t length,
                             uint32_t* count) {
  if (count) *count = 0;
  if (uint64_t{position} + length > UINT32_MAX) return err::kWriteFail;
  const uint8_t* in = static_cast<const uint8_t*>(buffer);
  // What is written stays written, however far a failing write came.
  const auto wrote = [&](ErrCode error, uint32_t next) {
    if (error) return error;
    m_size = std::max(m_size, next);
    if (count) *count = next - position;
    return err::kOk;
  };
  return Walk(
      position, position + length,
      [&](uint32_t at, uint32_t next, uint32_t shadow) {
        uint32_t written = 0;
        const ErrCode failed = m_shadow->WriteAt(in + (at - position), shadow, next - at, &written);
        return wrote(failed ? failed : written != next - at ? err::kWriteFail : err::kOk, next);
      },
      [&](size_t index, uint32_t at, uint32_t next) {
        return wrote(AppendStretch(index, at, next, in + (at - position)), next);
      });
}

ErrCode CShadowFile::Read(void* buffer, uint32_t length, uint32_t* count) {
  uint32_t done = 0;
  const ErrCode error = ReadAt(buffer, m_position, length, &done);
  m_position += done;
  if (count) *count = done;
  return error;
}

ErrCode CShadowFile::Write(const void* buffer, uint32_t length, uint32_t* count) {
  uint32_t done = 0;
  const ErrCode error = WriteAt(buffer, m_position, length, &done);
  m_position += done;
  if (count) *count = done;
  return error;
}

ErrCode CShadowFile::Seek(int32_t offset, int origin) {
  const int64_t from = origin == kSeekCur ? m_position : origin == kSeekEnd ? m_size : 0;
  const int64_t position = from + offset;
  if (position < 0 || position > UINT32_MAX) return err::kSeekFail;
  m_position = static_cast<uint32_t>(position);
  return err::kOk;
}

ErrCode CShadowFile::Flush() { return m_shadow->Flush(); }

ErrCode CShadowFile::Truncate() {
  const uint32_t at = m_position;
  m_extents.erase(std::remove_if(m_extents.begin(), m_extents.end(),
                                 [at](const SExtent& e) { return e.base >= at; }),
                  m_extents.end());
  if (!m_extents.empty() && End(m_extents.back()) > at)
    m_extents.back().length = at - m_extents.back().base;
  m_base_valid = std::min(m_base_valid, at);
  m_size = at;
  return err::kOk;
}

ErrCode CShadowFile::CopyLogicalFile(CFile* target) {
  std::unique_ptr<uint8_t[]> piece(new (std::nothrow) uint8_t[kCommitPiece]);
  if (!piece) return err::kAllocFail;
  for (uint32_t at = 0; at < m_size;) {
    const uint32_t n = std::min(kCommitPiece, m_size - at);
    if (ErrCode error = ReadAt(piece.get(), at, n, nullptr)) return error;
    uint32_t written = 0;
    if (ErrCode error = target->WriteAt(piece.get(), at, n, &written)) return error;
    if (written != n) return err::kWriteFail;
    at += n;
  }
  return err::kOk;
}

ErrCode CShadowFile::Commit() {
  if (m_path.empty()) return err::kBadParams;
  if (ErrCode error = WriteReplacing(m_path.c_str(), 0,
                                     [this](CFile& copy) { return CopyLogicalFile(&copy); }))
    return error;
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> base = FsOpen(m_path.c_str(), kBaseMode, &error);
  // The old base stays open and, with the extents, still reads as the new
  // contents: a reopen that fails loses nothing.
  if (!base) return error;
  m_base = std::move(base);
  m_base_size = m_size;
  m_base_valid = m_size;
  m_extents.clear();
  m_shadow_size = 0;
  if (ErrCode seek = m_shadow->Seek(0, kSeekSet)) return seek;
  return m_shadow->Truncate();
}
