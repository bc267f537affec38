// Compressed file layout (integers little-endian):
//
//   offset  size  field
//   0       4     "LZSS" or "LZIS"
//   4       4     uncompressed size U
//   8       4     block size K (uncompressed bytes per block)
//   12      1     codec parameter: the LZSS bit-length selector, or the
//                 LZIS level (1 to 3)
//   13      1     reserved (0)
//   14      4B    start of each stored block from the start of the file;
//                 B = (U - 1) / K + 1, and 1 when U = 0
//   14 + 4B ...   the stored blocks, back to back
//
// Block i runs from its offset to the next block's (the last one to the end
// of the file). Every block holds K uncompressed bytes except the last,
// which holds U - K(B - 1). A block stored in at least as many bytes as it
// holds is stored raw (more than K is invalid); a shorter one is compressed
// with the file's codec, and an empty extent reads as zeros. A new file has
// B = 1 and its one offset is 18.
//
// The cache buffer holds one uncompressed block and is large enough to take
// a stored block at its end while it is decoded from there into its start:
// 9K / 8 + 2 bytes for LZSS, 4K / 3 + 218 for LZIS. An encoded block is kept
// only if it decodes so (the encoders report how far their output runs ahead
// of their input); otherwise it is stored raw.
//
// Writing a block back whose stored length changed moves the rest of the
// file (the following offsets shift with it); Flush moves all blocks when the
// offset table changed length, then writes the header and the table.
#include "fs/compressed_file.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"
#include "base/memory.h"
#include "fs/file_service.h"
#include "fs/lzis.h"
#include "fs/lzss.h"

namespace {

constexpr uint32_t kMoveChunk = 32768;
// The LZIS decoder may write whole words up to this far past a match.
constexpr int64_t kLzisCopySlack = 8;

uint32_t BlocksFor(uint32_t size, uint32_t block_size) {
  return size == 0 ? 1 : (size - 1) / block_size + 1;
}

uint32_t LzssCacheSize(uint32_t block_size) { return block_size * 9 / 8 + 2; }
uint32_t LzisCacheSize(uint32_t block_size) {
  return static_cast<uint32_t>(uint64_t{block_size} * 4 / 3 + 218);
}

}  // namespace

void CCompressedFile::SPtrFree::operator()(uint8_t* p) const { PtrFree(p); }

CCompressedFile::CCompressedFile(SUnderFile file, const char* magic,
                                 CacheSizeFn cache_size)
    : m_cache_size_of(cache_size) {
  SetUnderlying(file.file, file.owned);
  std::memcpy(m_magic, magic, 4);
  m_open_error = ReadHeader();
  if (!m_open_error) SetStateWord(1);
}

CCompressedFile::CCompressedFile(SUnderFile file, const char* magic,
                                 CacheSizeFn cache_size, uint32_t block_size,
                                 uint8_t parameter)
    : m_block_size(block_size), m_parameter(parameter), m_cache_size_of(cache_size) {
  SetUnderlying(file.file, file.owned);
  std::memcpy(m_magic, magic, 4);
  m_offsets = {kCompressedHeaderSize + 4, kCompressedHeaderSize + 4};
  m_header_dirty = true;
  if (block_size == 0 || block_size > kMaxBlockSize) {
    m_open_error = err::kBadParams;
    return;
  }
  m_cache_size = m_cache_size_of(block_size);
  m_open_error = Underlying()->Seek(0, kSeekSet);
  if (!m_open_error) m_open_error = Underlying()->Truncate();
  if (!m_open_error) SetStateWord(1);
}

void CCompressedFile::Close() {
  if (Usable()) Flush();
}

void CCompressedFile::Fail(ErrCode error) {
  m_open_error = error;
  SetStateWord(0);
}

ErrCode CCompressedFile::CheckInPlace(int64_t lead, int64_t slack,
                                      uint32_t capacity, uint32_t length) {
  return lead + slack <= int64_t{capacity} - length ? err::kOk
                                                    : err::kBufferTooSmall;
}

ErrCode CCompressedFile::ReadHeader() {
  CFile& under = *Underlying();
  uint8_t header[kCompressedHeaderSize];
  if (ErrCode error = under.ReadAt(header, 0, kCompressedHeaderSize, nullptr))
    return error;
  if (std::memcmp(header, m_magic, 4) != 0) return err::kInvalidFormat;
  m_size = GetLe32(header + 4);
  m_block_size = GetLe32(header + 8);
  m_parameter = header[12];
  if (m_block_size == 0 || m_block_size > kMaxBlockSize) return err::kInvalidFormat;
  const uint32_t blocks = BlocksFor(m_size, m_block_size);
  const uint64_t file_size = under.GetSize();
  const uint64_t table_end = kCompressedHeaderSize + uint64_t{blocks} * 4;
  if (table_end > file_size) return err::kInvalidFormat;
  std::vector<uint8_t> table(blocks * 4);
  if (ErrCode error =
          under.ReadAt(table.data(), kCompressedHeaderSize, blocks * 4, nullptr))
    return error;
  m_offsets.resize(blocks + 1);
  for (uint32_t i = 0; i < blocks; ++i) m_offsets[i] = GetLe32(&table[4 * i]);
  m_offsets[blocks] = static_cast<uint32_t>(file_size);
  if (m_offsets[0] < table_end) return err::kInvalidFormat;
  for (uint32_t i = 0; i < blocks; ++i)
    if (m_offsets[i] > m_offsets[i + 1]) return err::kInvalidFormat;
  m_cache_size = m_cache_size_of(m_block_size);
  return err::kOk;
}

uint32_t CCompressedFile::RawLength(uint32_t index) const {
  const uint32_t last = BlockCount() - 1;
  return index < last ? m_block_size : m_size - m_block_size * last;
}

ErrCode CCompressedFile::AllocateCache() {
  if (m_cache) return err::kOk;
  m_cache.reset(static_cast<uint8_t*>(PtrAlloc(m_cache_size)));
  if (!m_cache) return err::kNotEnoughMem;
  std::memset(m_cache.get(), 0, m_cache_size);
  return err::kOk;
}

ErrCode CCompressedFile::TruncateUnderlying(uint32_t end) {
  if (ErrCode error = Underlying()->Seek(static_cast<int32_t>(end), kSeekSet))
    return error;
  return Underlying()->Truncate();
}

ErrCode CCompressedFile::StoreCachedBlock() {
  if (m_cached < 0 || !m_cache_dirty) return err::kOk;
  const uint32_t index = static_cast<uint32_t>(m_cached);
  const uint32_t raw = RawLength(index);
  PoolBuffer encoded(static_cast<uint8_t*>(PtrAlloc(m_cache_size)));
  if (!encoded) return err::kNotEnoughMem;
  const uint8_t* data = m_cache.get();
  uint32_t stored = raw;
  uint32_t length = m_cache_size;
  if (raw > 0 && EncodeBlock(m_cache.get(), raw, encoded.get(), &length) == err::kOk &&
      length < raw) {
    data = encoded.get();
    stored = length;
  }

  CFile& under = *Underlying();
  const uint32_t start = m_offsets[index];
  const uint32_t space = m_offsets[index + 1] - start;
  if (stored != space) {
    const uint32_t rest = m_offsets[index + 1];
    if (ErrCode error = under.MoveBlock(start + stored, rest,
                                        m_offsets.back() - rest, kMoveChunk, nullptr))
      return error;
    for (size_t i = index + 1; i < m_offsets.size(); ++i)
      m_offsets[i] = m_offsets[i] - space + stored;
    m_header_dirty = true;
    if (stored < space) {
      if (ErrCode error = TruncateUnderlying(m_offsets.back())) return error;
    }
  }
  if (stored) {
    if (ErrCode error = under.WriteAt(data, start, stored, nullptr)) return error;
  }
  m_cache_dirty = false;
  return err::kOk;
}

ErrCode CCompressedFile::ReadBlock(uint32_t index) {
  uint8_t* cache = m_cache.get();
  const uint32_t start = m_offsets[index];
  const uint32_t stored = m_offsets[index + 1] - start;
  const uint32_t raw = RawLength(index);
  uint32_t filled = 0;
  if (stored >= raw) {
    if (stored > m_block_size) return err::kInvalidFormat;
    if (raw) {
      if (ErrCode error = Underlying()->ReadAt(cache, start, raw, nullptr)) return error;
    }
    filled = raw;
  } else if (stored > 0) {
    // Output a stream skips over keeps what the buffer holds: zeros, or
    // the stored bytes themselves, never an earlier block.
    uint8_t* source = cache + m_cache_size - stored;
    std::memset(cache, 0, m_cache_size - stored);
    if (ErrCode error = Underlying()->ReadAt(source, start, stored, nullptr))
      return error;
    filled = m_block_size;
    if (ErrCode error = DecodeBlock(source, stored, cache, &filled)) return error;
  }
  std::memset(cache + filled, 0, m_block_size - filled);
  return err::kOk;
}

ErrCode CCompressedFile::LoadBlock(uint32_t index, bool read) {
  if (!Usable()) return m_open_error;
  if (static_cast<int64_t>(index) == m_cached) return err::kOk;
  if (index >= BlockCount()) return err::kBadParams;
  if (ErrCode error = AllocateCache()) return error;
  if (ErrCode error = StoreCachedBlock()) return error;
  if (read) {
    // The buffer no longer holds the block cached before.
    if (ErrCode error = ReadBlock(index)) {
      m_cached = -1;
      return error;
    }
  } else {
    std::memset(m_cache.get(), 0, m_block_size);
  }
  m_cached = index;
  return err::kOk;
}

ErrCode CCompressedFile::Read(void* buffer, uint32_t length, uint32_t* count) {
  if (count) *count = 0;
  // Not even an end of file: a reader must not take the file for empty.
  if (!Usable()) return err::kInvalidFormat;
  if (m_position > m_size) return err::kEof;
  uint32_t n = length;
  if (uint64_t{m_position} + length > m_size) {
    if (!count) return err::kEof;
    n = m_size - m_position;
  }
  auto* out = static_cast<uint8_t*>(buffer);
  for (uint32_t done = 0; done < n;) {
    const uint32_t position = m_position + done;
    const uint32_t offset = position % m_block_size;
    const uint32_t part = std::min(m_block_size - offset, n - done);
    if (ErrCode error = LoadBlock(position / m_block_size, true)) return error;
    std::memcpy(out + done, m_cache.get() + offset, part);
    done += part;
  }
  m_position += n;
  if (count) *count = n;
  return err::kOk;
}

ErrCode CCompressedFile::Write(const void* buffer, uint32_t length, uint32_t* count) {
  if (count) *count = 0;
  if (!Usable()) return m_open_error;
  const uint64_t end = uint64_t{m_position} + length;
  if (end > UINT32_MAX) return err::kBadParams;
  if (end > m_size) {
    if (ErrCode error = SetSize(static_cast<uint32_t>(end))) return error;
  }
  const auto* in = static_cast<const uint8_t*>(buffer);
  for (uint32_t done = 0; done < length;) {
    const uint32_t position = m_position + done;
    const uint32_t index = position / m_block_size;
    const uint32_t offset = position % m_block_size;
    const uint32_t part = std::min(m_block_size - offset, length - done);
    const bool whole = offset == 0 && part == RawLength(index);
    if (ErrCode error = LoadBlock(index, !whole)) return error;
    std::memcpy(m_cache.get() + offset, in + done, part);
    m_cache_dirty = true;
    done += part;
  }
  m_position += length;
  if (count) *count = length;
  return err::kOk;
}

ErrCode CCompressedFile::Seek(int32_t offset, int origin) {
  const int64_t base = origin == kSeekCur   ? m_position
                       : origin == kSeekEnd ? m_size
                                            : 0;
  m_position = static_cast<uint32_t>(std::clamp<int64_t>(base + offset, 0, UINT32_MAX));
  return err::kOk;
}

ErrCode CCompressedFile::SetBlockCount(uint32_t count) {
  m_offsets.resize(count + 1, m_offsets.back());
  return err::kOk;
}

ErrCode CCompressedFile::SetSize(uint32_t size) {
  if (!Usable()) return m_open_error;
  if (size == m_size) return err::kOk;
  const uint32_t old_blocks = BlockCount();
  const uint32_t blocks = BlocksFor(size, m_block_size);
  const uint32_t last_raw = size - m_block_size * (blocks - 1);
  // The one block whose length changes is held in the cache while the size
  // changes, so that it is written back in its new form.
  const bool grows = size > m_size;
  const uint32_t changed = grows ? old_blocks - 1 : blocks - 1;
  const uint32_t new_raw = grows ? (blocks > old_blocks ? m_block_size : last_raw)
                                 : last_raw;
  const bool affected = RawLength(changed) != new_raw;
  if (m_cached >= blocks) {
    m_cached = -1;
    m_cache_dirty = false;
  }
  if (affected) {
    if (ErrCode error = LoadBlock(changed, true)) return error;
    if (!grows) std::memset(m_cache.get() + new_raw, 0, m_block_size - new_raw);
  }
  if (ErrCode error = SetBlockCount(blocks)) return error;
  m_size = size;
  m_header_dirty = true;
  if (affected) m_cache_dirty = true;
  if (blocks < old_blocks) return TruncateUnderlying(m_offsets.back());
  return err::kOk;
}

ErrCode CCompressedFile::Flush() {
  if (!Usable()) return m_open_error;
  if (ErrCode error = StoreCachedBlock()) return error;
  if (!m_header_dirty) return err::kOk;
  CFile& under = *Underlying();
  const uint32_t blocks = BlockCount();
  const uint32_t table_end = kCompressedHeaderSize + 4 * blocks;
  const uint32_t first = m_offsets[0];
  if (first != table_end) {
    if (ErrCode error = under.MoveBlock(table_end, first, m_offsets.back() - first,
                                        kMoveChunk, nullptr))
      return error;
    for (uint32_t& offset : m_offsets) offset = offset - first + table_end;
    if (table_end < first) {
      if (ErrCode error = TruncateUnderlying(m_offsets.back())) return error;
    }
  }
  std::vector<uint8_t> header(table_end);
  std::memcpy(header.data(), m_magic, 4);
  PutLe32(&header[4], m_size);
  PutLe32(&header[8], m_block_size);
  header[12] = m_parameter;
  header[13] = 0;
  for (uint32_t i = 0; i < blocks; ++i)
    PutLe32(&header[kCompressedHeaderSize + 4 * i], m_offsets[i]);
  if (ErrCode error = under.WriteAt(header.data(), 0, table_end, nullptr)) return error;
  m_header_dirty = false;
  return under.Flush();
}

CLzssFile::CLzssFile(SUnderFile file) : CCompressedFile(file, "LZSS", LzssCacheSize) {}

CLzssFile::CLzssFile(SUnderFile file, uint32_t block_size, uint8_t parameter)
    : CCompressedFile(file, "LZSS", LzssCacheSize, block_size, parameter) {
  if (ErrCode error = LzssCheckParameter(parameter)) Fail(error);
}

ErrCode CLzssFile::EncodeBlock(const uint8_t* source, uint32_t length,
                               uint8_t* destination, uint32_t* destination_length) {
  const uint32_t capacity = *destination_length;
  int64_t lead = 0;
  if (ErrCode error = LzssEncode(Parameter(), source, length, destination,
                                 destination_length, &lead))
    return error;
  return CheckInPlace(lead, 0, capacity, *destination_length);
}

ErrCode CLzssFile::DecodeBlock(const uint8_t* source, uint32_t length,
                               uint8_t* destination, uint32_t* destination_length) {
  return LzssDecode(Parameter(), source, length, destination, destination_length);
}

CLzisFile::CLzisFile(SUnderFile file) : CCompressedFile(file, "LZIS", LzisCacheSize) {}

CLzisFile::CLzisFile(SUnderFile file, uint32_t block_size, uint8_t level)
    : CCompressedFile(file, "LZIS", LzisCacheSize, block_size, level) {
  if (ErrCode error = LzisCheckLevel(level)) Fail(error);
}

ErrCode CLzisFile::EncodeBlock(const uint8_t* source, uint32_t length,
                               uint8_t* destination, uint32_t* destination_length) {
  const uint32_t capacity = *destination_length;
  int64_t lead = 0;
  if (ErrCode error =
          LzisEncode(Parameter(), source, length, destination, destination_length, &lead))
    return error;
  return CheckInPlace(lead, kLzisCopySlack, capacity, *destination_length);
}

ErrCode CLzisFile::DecodeBlock(const uint8_t* source, uint32_t length,
                               uint8_t* destination, uint32_t* destination_length) {
  return LzisDecode(source, length, destination, destination_length);
}

std::unique_ptr<CFile> OpenCompressed(std::unique_ptr<CFile> file) {
  char magic[4];
  if (file->ReadAt(magic, 0, 4, nullptr) == err::kOk) {
    if (std::memcmp(magic, "LZSS", 4) == 0)
      return std::make_unique<CLzssFile>(std::move(file));
    if (std::memcmp(magic, "LZIS", 4) == 0)
      return std::make_unique<CLzisFile>(std::move(file));
  }
  file->Seek(0, kSeekSet);
  return file;
}

namespace {

// Global because the open hooks chain through the file service's one open slot.
FsOpenFn g_previous_open = nullptr;

}  // namespace

std::unique_ptr<CFile> DecompressingOpen(const char* path, uint16_t mode,
                                         ErrCode* error) {
  std::unique_ptr<CFile> file =
      (g_previous_open ? g_previous_open : FsOpenDirect)(path, mode, error);
  return file ? OpenCompressed(std::move(file)) : nullptr;
}

void InstallDecompressingHook() {
  if (!g_previous_open) g_previous_open = SetFsOpen(DecompressingOpen);
}

void RemoveDecompressingHook() {
  if (!g_previous_open) return;
  SetFsOpen(g_previous_open);
  g_previous_open = nullptr;
}
