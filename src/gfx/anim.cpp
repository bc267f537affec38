// "RLM" animation files.
//
// Layout (integers little-endian):
//
//   0     3     "RLM"
//   3     1     0
//   4     2     frame width
//   6     2     frame height
//   8     4     number of frames
//   12    16    four values: frames per second (0 = unknown), frames per
//               chunk as written, two zeros
//   28    1024  palette: 256 entries of blue, green, red, 0
//   1052        first chunk
//
//   chunk: a 16-byte header, its key frame data (if any), its frame records
//     0   4  first frame, relative to the frame at which the chunk is entered
//     4   4  size of the key frame data (0 = none)
//     8   4  file offset of the next chunk
//     12  4  frame at which the next chunk starts (0 = last chunk)
//
//   frame record: a 20-byte header, then its data
//     0   8  changed rectangle: left, top, right, bottom (16-bit, inclusive)
//     8   4  transparent palette index, or 0xFFFFFFFF for none
//     12  4  frames the record lasts (at least 1)
//     16  4  size of the data
//
// Frame data is run-length coded row by row: key frames over the whole
// frame, records over their rectangle. Control byte c >= 128: 256 - c
// literal bytes follow; c < 128: the next byte repeats c + 3 times. Pixels of
// the transparent index are not written. Key frames have no transparent index.
//
// The reader never trusts the file: chunk offsets must lead forward and stay
// inside the file, rectangles inside the frame, runs inside their row, and
// data inside its record; anything else is INVALIDFORMAT.
#include "gfx/anim.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>

#include "base/byte_order.h"
#include "fs/file.h"
#include "fs/file_service.h"
#include "fs/memory_file.h"

namespace {

constexpr uint32_t kWindowSize = 65536;

// Record rectangles hold signed 16-bit coordinates.
int16_t GetCoordinate(const uint8_t* at) { return static_cast<int16_t>(GetLe16(at)); }

void Union(TRect* into, const TRect& add) {
  if (into->right < into->left) {
    *into = add;
    return;
  }
  into->left = std::min(into->left, add.left);
  into->top = std::min(into->top, add.top);
  into->right = std::max(into->right, add.right);
  into->bottom = std::max(into->bottom, add.bottom);
}

}  // namespace

ErrCode DecodeAnimRuns(const uint8_t* data, uint32_t size, const SPixelView& target,
                       const TRect& area, uint32_t transparent) {
  const uint8_t* p = data;
  const uint8_t* end = data + size;
  const int width = area.right - area.left + 1;
  const bool keyed = transparent <= 0xFF;
  const uint8_t key = static_cast<uint8_t>(transparent);
  for (int y = area.top; y <= area.bottom; ++y) {
    uint8_t* row = target.Row(y) + area.left;
    for (int x = 0; x < width;) {
      if (p == end) return err::kInvalidFormat;
      const uint8_t c = *p++;
      if (c >= 128) {
        const int n = 256 - c;
        if (n > width - x || n > end - p) return err::kInvalidFormat;
        if (!keyed) {
          std::memcpy(row + x, p, n);
        } else {
          for (int i = 0; i < n; ++i)
            if (p[i] != key) row[x + i] = p[i];
        }
        p += n;
        x += n;
      } else {
        const int n = c + 3;
        if (n > width - x || p == end) return err::kInvalidFormat;
        const uint8_t value = *p++;
        if (!keyed || value != key) std::memset(row + x, value, n);
        x += n;
      }
    }
  }
  return err::kOk;
}

SAnimRate AnimFileRate(const CAnimReader& reader, uint32_t numerator, uint32_t denominator) {
  const uint32_t fps = reader.HeaderValue(0);
  uint64_t top = uint64_t{numerator} * (fps ? fps : 1);
  uint64_t bottom = uint64_t{denominator ? denominator : 1} * (fps ? 1000 : 1);
  const uint64_t common = std::gcd(top, bottom);
  if (common > 1) top /= common, bottom /= common;
  while (top > UINT32_MAX || bottom > UINT32_MAX) top = (top + 1) / 2, bottom = (bottom + 1) / 2;
  return {static_cast<uint32_t>(top), static_cast<uint32_t>(bottom)};
}

CAnimReader::CAnimReader() { m_palette.SetCount(256); }

CAnimReader::~CAnimReader() = default;

void CAnimReader::SetRate(uint32_t numerator, uint32_t denominator) {
  m_numerator = numerator;
  m_denominator = denominator ? denominator : 1;
}

void CAnimReader::UseFileRate() {
  const SAnimRate rate = AnimFileRate(*this);
  SetRate(rate.numerator, rate.denominator);
}

int64_t CAnimReader::FrameAt(uint32_t time) const {
  return static_cast<int64_t>(uint64_t{m_numerator} * time / m_denominator);
}

ErrCode CAnimReader::Open(const char* path) {
  m_file.reset();
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> file = FsOpen(path, kOpenMode, &error);
  if (!file) return error ? error : err::kFileNotFound;
  return OpenFile(std::move(file));
}

ErrCode CAnimReader::OpenFile(std::unique_ptr<CFile> file) {
  m_file.reset();
  m_frame.reset();
  m_error = err::kOk;
  m_chunk_first = -1;
  m_shown = -1;
  m_next_frame = 0;
  m_next_chunk_frame = 0;
  m_next_chunk_offset = 0;
  m_window_length = 0;
  if (!file) return err::kBadParams;
  m_file_size = file->GetSize();
  m_in_memory = m_file_size <= m_read_limit;
  if (m_in_memory) {
    std::shared_ptr<std::string> bytes;
    try {
      bytes = std::make_shared<std::string>(m_file_size, '\0');
    } catch (const std::bad_alloc&) {
      return err::kAllocFail;
    }
    uint32_t count = 0;
    if (file->ReadAt(bytes->data(), 0, m_file_size, &count) || count != m_file_size)
      return err::kReadFail;
    m_file = std::make_unique<CMemoryFile>(std::move(bytes));
  } else {
    m_file = std::move(file);
  }
  uint8_t header[kHeaderSize];
  if (ReadAt(0, header, kHeaderSize) || std::memcmp(header, "RLM", 3) != 0) {
    m_file.reset();
    return err::kInvalidFormat;
  }
  m_width = GetLe16(header + 4);
  m_height = GetLe16(header + 6);
  m_frame_count = GetLe32(header + 8);
  for (int i = 0; i < 4; ++i) m_header_values[i] = GetLe32(header + 12 + 4 * i);
  std::vector<SPalEntry> entries(256);
  if (m_width == 0 || m_height == 0 || CBitmap::RowBytes(8, m_width) > 0x7FFF ||
      ReadAt(kHeaderSize, entries.data(), 1024)) {
    m_file.reset();
    return err::kInvalidFormat;
  }
  for (uint32_t i = 0; i < 256; ++i) m_palette.SetEntry(i, entries[i]);
  m_changed_rect = TRect{0, 0, static_cast<int16_t>(m_width - 1), static_cast<int16_t>(m_height - 1)};
  return err::kOk;
}

// Reads from the memory copy, or through the window of a file on disk.
ErrCode CAnimReader::ReadAt(uint32_t position, void* out, uint32_t length) {
  if (!m_file) return err::kNotFound;
  if (uint64_t{position} + length > m_file_size) return err::kInvalidFormat;
  if (length == 0) return err::kOk;
  m_bytes_read += length;
  uint32_t count = 0;
  if (m_in_memory || length > kWindowSize / 2) {
    const ErrCode error = m_file->ReadAt(out, position, length, &count);
    return error ? error : count == length ? err::kOk : err::kReadFail;
  }
  if (position < m_window_start || position + length > m_window_start + m_window_length) {
    m_window.resize(kWindowSize);
    m_window_start = position;
    m_window_length = std::min(kWindowSize, m_file_size - position);
    const ErrCode error = m_file->ReadAt(m_window.data(), position, m_window_length, &count);
    if (error || count != m_window_length) {
      m_window_length = 0;
      return error ? error : err::kReadFail;
    }
  }
  std::memcpy(out, m_window.data() + (position - m_window_start), length);
  return err::kOk;
}

ErrCode CAnimReader::Read(void* out, uint32_t length) {
  if (ErrCode error = ReadAt(m_position, out, length)) return error;
  m_position += length;
  return err::kOk;
}

ErrCode CAnimReader::ReadData(uint32_t length) {
  if (uint64_t{m_position} + length > m_file_size) return err::kInvalidFormat;
  try {
    if (m_data.size() < length) m_data.resize(length);
  } catch (const std::bad_alloc&) {
    return err::kAllocFail;
  }
  return Read(m_data.data(), length);
}

ErrCode CAnimReader::EnsureFrame() {
  if (m_frame) return err::kOk;
  auto frame = std::make_unique<CBitmap>();
  if (frame->Create(m_width, m_height, kPixel8, nullptr, kTopDown, 0)) return err::kAllocFail;
  m_frame = std::move(frame);
  return err::kOk;
}

ErrCode CAnimReader::EnterChunk(int64_t entered_at) {
  const uint32_t chunk_offset = m_position;
  uint8_t header[kChunkHeaderSize];
  if (ErrCode error = Read(header, kChunkHeaderSize)) return error;
  const uint32_t key_size = GetLe32(header + 4);
  m_next_chunk_offset = GetLe32(header + 8);
  m_next_chunk_frame = GetLe32(header + 12);
  if (m_next_chunk_frame != 0 &&
      (m_next_chunk_offset <= chunk_offset || m_next_chunk_offset >= m_file_size))
    return err::kInvalidFormat;
  m_chunk_first = entered_at + GetLe32(header);
  m_next_frame = m_chunk_first;
  if (key_size == 0) return err::kOk;
  if (ErrCode error = ReadData(key_size)) return error;
  CBitmapLock frame(*m_frame);
  if (!frame) return err::kLockFail;
  const TRect whole{0, 0, static_cast<int16_t>(m_width - 1), static_cast<int16_t>(m_height - 1)};
  if (ErrCode error = DecodeAnimRuns(m_data.data(), key_size, frame.View(), whole, kNoTransparency))
    return error;
  m_changed_rect = whole;
  m_frame_changed = true;
  return err::kOk;
}

ErrCode CAnimReader::ApplyRecord() {
  uint8_t header[kRecordHeaderSize];
  if (ErrCode error = Read(header, kRecordHeaderSize)) return error;
  const TRect rect{GetCoordinate(header), GetCoordinate(header + 2),
                   GetCoordinate(header + 4), GetCoordinate(header + 6)};
  const uint32_t transparent = GetLe32(header + 8);
  const uint32_t duration = GetLe32(header + 12);
  const uint32_t size = GetLe32(header + 16);
  if (rect.left < 0 || rect.top < 0 || rect.left > rect.right || rect.top > rect.bottom ||
      rect.right >= m_width || rect.bottom >= m_height || duration == 0)
    return err::kInvalidFormat;
  if (ErrCode error = ReadData(size)) return error;
  CBitmapLock frame(*m_frame);
  if (!frame) return err::kLockFail;
  if (ErrCode error = DecodeAnimRuns(m_data.data(), size, frame.View(), rect, transparent))
    return error;
  Union(&m_changed_rect, rect);
  m_frame_changed = true;
  m_shown = m_next_frame;
  m_next_frame += duration;
  return err::kOk;
}

ErrCode CAnimReader::Advance(int64_t frame) {
  if (ErrCode error = EnsureFrame()) return error;
  if (m_chunk_first < 0 || frame < m_shown) {
    m_position = kFirstChunk;
    m_shown = -1;
    if (ErrCode error = EnterChunk(0)) return error;
  }
  while (m_next_chunk_frame != 0 && m_next_chunk_frame <= frame) {
    m_position = m_next_chunk_offset;
    if (ErrCode error = EnterChunk(m_next_chunk_frame)) return error;
  }
  while (m_next_frame <= frame && m_next_frame < m_frame_count) {
    if (ErrCode error = ApplyRecord()) return error;
    if (m_bytes_read >= m_read_limit) break;
  }
  return err::kOk;
}

ErrCode CAnimReader::Fail(ErrCode error) {
  m_error = error;
  return error;
}

bool CAnimReader::ShowTime(uint32_t time) {
  m_frame_changed = false;
  if (m_error) return false;
  if (!m_file) {
    Fail(err::kNotFound);
    return false;
  }
  if (m_frame_count == 0) return true;
  int64_t frame = FrameAt(time);
  if (m_loop) frame %= m_frame_count;
  frame = std::min<int64_t>(frame, m_frame_count - 1);
  if (m_shown >= 0 && frame >= m_shown && frame < m_next_frame) return true;
  m_changed_rect = TRect{0, 0, -1, -1};
  m_bytes_read = 0;
  return Fail(Advance(frame)) == err::kOk;
}

ErrCode CAnimReader::CountChunks(uint32_t* count) {
  *count = 0;
  uint32_t offset = kFirstChunk;
  for (;;) {
    uint8_t header[kChunkHeaderSize];
    if (ErrCode error = ReadAt(offset, header, kChunkHeaderSize)) return error;
    ++*count;
    const uint32_t next = GetLe32(header + 8);
    if (GetLe32(header + 12) == 0) return err::kOk;
    if (next <= offset) return err::kInvalidFormat;
    offset = next;
  }
}
