// Playing "RLM" animation files (see anim.cpp for the layout).
//
// The reader decodes frames in place into one 8-bit top-down frame bitmap,
// reports the rectangle that changed, selects frames by time, can loop,
// catches up by decoding several frames in one update, and bounds the bytes
// it reads per update.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "gfx/bitmap.h"
#include "gfx/palette.h"
#include "base/geometry.h"

class CFile;

class CAnimReader {
 public:
  static constexpr uint16_t kOpenMode = 0x41;
  static constexpr uint32_t kDefaultReadLimit = 32768;
  static constexpr uint32_t kHeaderSize = 28;
  static constexpr uint32_t kFirstChunk = 1052;
  static constexpr uint32_t kChunkHeaderSize = 16;
  static constexpr uint32_t kRecordHeaderSize = 20;
  static constexpr uint32_t kNoTransparency = 0xFFFFFFFF;

  CAnimReader();
  ~CAnimReader();
  CAnimReader(const CAnimReader&) = delete;
  CAnimReader& operator=(const CAnimReader&) = delete;

  // Closes a previous file and opens `path` (mode 0x41).
  ErrCode Open(const char* path);
  // As Open, with a file already open. Files not larger than the read limit
  // are copied into memory and read from there.
  ErrCode OpenFile(std::unique_ptr<CFile> file);

  // Shows the frame for `time`; false after a read error (kept as the last
  // error, and answered again without reading).
  bool ShowTime(uint32_t time);

  const CBitmap* GetFrameBitmap() const { return m_frame.get(); }
  const CPalette* GetPalette() const { return &m_palette; }
  const TRect& GetChangedRect() const { return m_changed_rect; }
  bool FrameChanged() const { return m_frame_changed; }
  ErrCode LastError() const { return m_error; }

  void SetLoop(bool on) { m_loop = on; }
  // Frame = numerator * time / denominator.
  void SetRate(uint32_t numerator, uint32_t denominator);
  // The file's frames per second (time in ms), when the file gives them.
  void UseFileRate();
  // The frame due at `time`, before looping and the last-frame bound.
  int64_t FrameAt(uint32_t time) const;
  // Whether a play that does not loop is over at `time`.
  bool PastEnd(uint32_t time) const { return FrameAt(time) >= m_frame_count; }
  // Set before opening; 0 reads one record per update.
  void SetReadLimit(uint32_t limit) { m_read_limit = limit; }

  uint16_t Width() const { return m_width; }
  uint16_t Height() const { return m_height; }
  uint32_t FrameCount() const { return m_frame_count; }
  // The four values of the file header after the frame count.
  uint32_t HeaderValue(int index) const { return m_header_values[index & 3]; }
  // The frame number of the record shown last; -1 before the first.
  int64_t ShownFrame() const { return m_shown; }
  // How many chunks the file holds (walks the chunk chain).
  ErrCode CountChunks(uint32_t* count);

 private:
  ErrCode Fail(ErrCode error);
  ErrCode ReadAt(uint32_t position, void* out, uint32_t length);
  ErrCode Read(void* out, uint32_t length);
  ErrCode ReadData(uint32_t length);
  ErrCode EnterChunk(int64_t entered_at);
  ErrCode ApplyRecord();
  ErrCode EnsureFrame();
  ErrCode Advance(int64_t frame);

  uint16_t m_width = 0;
  uint16_t m_height = 0;
  std::unique_ptr<CFile> m_file;
  uint32_t m_file_size = 0;
  // A window of the file, for files read from disk.
  std::vector<uint8_t> m_window;
  uint32_t m_window_start = 0;
  uint32_t m_window_length = 0;
  bool m_in_memory = false;
  uint32_t m_position = 0;
  std::vector<uint8_t> m_data;  // the frame data being decoded
  std::unique_ptr<CBitmap> m_frame;
  CPalette m_palette;
  uint32_t m_read_limit = kDefaultReadLimit;
  uint32_t m_bytes_read = 0;  // in this update
  bool m_frame_changed = false;
  TRect m_changed_rect{0, 0, -1, -1};
  uint32_t m_next_chunk_offset = 0;
  int64_t m_next_chunk_frame = 0;
  uint32_t m_frame_count = 0;
  uint32_t m_header_values[4] = {};
  int64_t m_next_frame = 0;
  int64_t m_chunk_first = -1;
  int64_t m_shown = -1;
  bool m_loop = false;
  uint32_t m_numerator = 1;
  uint32_t m_denominator = 1;
  ErrCode m_error = err::kOk;
};

// The time-to-frame ratio of playing a file at its own rate, scaled by
// numerator / denominator: frame = ms x fps / 1000 x numerator /
// denominator, fps being the first header value (a file without one shows a
// frame per ms). Both terms stay within 32 bits, rounded when they must.
struct SAnimRate {
  uint32_t numerator = 1;
  uint32_t denominator = 1;
};
SAnimRate AnimFileRate(const CAnimReader& reader, uint32_t numerator = 1, uint32_t denominator = 1);

// Run-length decoding of frame data over `area` of `target` (rows of the
// area's width, from its top-left pixel). `transparent` is a palette index
// whose pixels are left as they are, or kNoTransparency. Runs that overrun a
// row and data that ends early give INVALIDFORMAT.
ErrCode DecodeAnimRuns(const uint8_t* data, uint32_t size, const SPixelView& target,
                       const TRect& area, uint32_t transparent);
