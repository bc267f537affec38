// A WAV file played while it streams from the file service.
//
// The sound reads its data through a small read buffer; ADPCM data is
// decoded into a decode buffer four times the read buffer's size, and the
// mixer converts from there. Positions of the play window and of the stream
// count decoded bytes from the start of the data. The buffer keeps a window
// of the decoded stream; deliveries and updates move it forwards, reading
// in steps of the read step. ADPCM has one decoder state for the whole
// stream, so a jump backwards decodes again from the start of the data.
#pragma once

#include <memory>

#include "base/memory.h"
#include "fs/file.h"
#include "sound/adpcm.h"
#include "sound/sound.h"
#include "sound/wav.h"

class CFileSound final : public CSound {
  TV_CLASS(CFileSound, CSound)

 public:
  static constexpr uint32_t kWholeSound = 0xFFFFFFFF;

  // Reads the header (wav.h) and sets up the stream over the whole data;
  // null with the reason ("Unknown error" for a file the engine does not
  // play) otherwise.
  static std::unique_ptr<CFileSound> OpenWav(std::unique_ptr<CFile> file,
                                             ErrCode* error);
  // The same for a path opened through the file service.
  static std::unique_ptr<CFileSound> OpenWav(const char* path, ErrCode* error);

  // Plays [start, end) of `file`'s data (ends past the data are cut to it;
  // kWholeSound for all of it) in `format`, releasing the previous
  // file (the same file keeps its owner) and buffers; a start after the end
  // is "Unknown error". Both are taken down to whole frames. Then
  // SetBufferSize(buffer_size).
  ErrCode SetSource(CFile* file, bool owns, uint32_t start, uint32_t end,
                    SoundFormat format, uint32_t buffer_size);
  // The read buffer's size in bytes; 0 is one eighth of a second of the
  // sound. The size is cut to the play window's length, then rounded as
  // (n + 32) with the low five bits cleared. ALLOCFAIL without memory.
  ErrCode SetBufferSize(uint32_t bytes);
  // Bytes read from the file at a time; 0 is the codec's block size for
  // ADPCM and the read buffer's size for PCM.
  void SetReadStep(uint32_t bytes) { m_read_step = bytes; }

  bool IsAdpcm() const { return m_adpcm; }
  uint32_t BufferSize() const { return m_buffer_size; }

  SoundFormat Format() const override { return m_format; }
  uint64_t FrameCount() const override;
  ErrCode Start() override;
  void Stop() override { m_ready = false; }
  ErrCode Update() override;
  uint32_t DeliverSamples(const CConverter& converter, EConvertOp op,
                          uint64_t position, uint32_t count,
                          void* out) override;

 private:
  CFileSound() = default;

  uint32_t FrameBytes() const { return FormatFrameBytes(m_format); }
  uint32_t Capacity() const { return m_adpcm ? 4 * m_buffer_size : m_buffer_size; }
  uint32_t ReadStep() const;
  uint64_t WindowEnd() const { return m_window_pos + m_fill; }
  // Makes the window start at `position`, decoding up to it for ADPCM.
  void Seek(uint64_t position);
  // Drops the buffered bytes before `position`.
  void Compact(uint8_t* samples, uint64_t position);
  // Reads (and decodes) until the buffer is full or the window ends.
  void Fill(uint8_t* samples);
  // Reads `file_bytes` at the stream position into the read buffer and
  // decodes or stores them at `target`; answers the bytes read.
  uint32_t ReadStream(uint32_t file_bytes, uint8_t* target);

  CFile* m_file = nullptr;
  std::unique_ptr<CFile> m_owned_file;
  CHandle m_read_buffer;
  CHandle m_decode_buffer;
  CAdpcmCodec m_codec;
  bool m_adpcm = false;
  SoundFormat m_format = 0;
  uint32_t m_buffer_size = 0;
  uint32_t m_read_step = 0;
  uint32_t m_start = 0;
  uint32_t m_end = 0;
  uint32_t m_data_start = 0;
  uint32_t m_data_size = 0;  // as the header gave it
  bool m_ready = false;
  // The stream: the next decoded byte to come from the file, the window of
  // decoded bytes in the buffer, and where the next delivery starts.
  uint64_t m_read_pos = 0;
  uint64_t m_window_pos = 0;
  uint32_t m_fill = 0;
  uint64_t m_next_pos = 0;
  ErrCode m_error = err::kOk;
};
