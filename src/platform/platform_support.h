// Pieces both platform back ends share.
#pragma once

#include <signal.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <span>
#include <string_view>
#include <vector>

#include "platform/platform.h"

// SIGINT and SIGTERM ask the back end to quit while this object lives. The
// handler only sets a flag and writes a byte to a pipe, so a back end asleep
// on the pipe wakes up; the pump takes the flag and answers kQuit. Objects
// nest: the innermost one receives the signals, and destroying it hands them
// back to the previous holder.
class CQuitSignal {
 public:
  CQuitSignal();
  ~CQuitSignal();
  CQuitSignal(const CQuitSignal&) = delete;
  CQuitSignal& operator=(const CQuitSignal&) = delete;

  // Readable after a signal; -1 when no pipe could be made.
  int WakeDescriptor() const { return m_pipe[0]; }
  // Whether a signal came since the last call.
  bool Take();

 private:
  int m_pipe[2] = {-1, -1};
  int m_outer_descriptor = -1;
  struct sigaction m_previous_int {};
  struct sigaction m_previous_term {};
};

// A message box as one line on standard error, "<caption>: <text>" with the
// text's line breaks folded into blanks; answers kIdIgnore for
// abort/retry/ignore boxes and kIdOk for all others.
int StderrMessageBox(const char* caption, const char* text, uint32_t flags);

// The code points of UTF-8 text; false (with nothing appended) when the text
// is not well-formed.
bool DecodeUtf8(std::string_view text, std::vector<uint32_t>* code_points);

// Text from outside (UTF-8) in the engine's clipboard form: Latin-1 with
// lines ending in CR LF; "?" stands for each character Latin-1 lacks and for
// each byte that is not part of well-formed UTF-8.
std::string ClipboardFromUtf8(std::string_view utf8);
// The engine's clipboard text as UTF-8, lines ending in LF.
std::string ClipboardToUtf8(std::string_view latin1);

// The 8-bit picture a window shows, kept so that a new palette can be applied
// to all of it.
class CFrameShadow {
 public:
  CFrameShadow(int width, int height);

  // Copies the rectangles (all of the frame when empty) of a frame, clipped
  // to the frame and to the shadow, and answers the clipped rectangles.
  std::vector<TRect> Update(const uint8_t* pixels, int width, int height,
                              int pitch, std::span<const TRect> rects);

  int Width() const { return m_width; }
  int Height() const { return m_height; }
  const std::vector<uint8_t>& Pixels() const { return m_pixels; }

 private:
  int m_width;
  int m_height;
  std::vector<uint8_t> m_pixels;
};

// The volume stage of audio outputs: scales PCM in place, 0xFFFF per side
// leaving it as it is.
void ApplyAudioVolume(const SAudioFormat& format, uint16_t left,
                      uint16_t right, uint8_t* data, uint32_t size);

// A PCM WAV file being written: the header comes first and its sizes are
// brought up to date after every write, so that the file stays playable
// however the run ends.
class CWavWriter {
 public:
  struct SHeader {
    uint16_t format_tag = 1;
    uint16_t channels = 1;
    uint32_t rate = 22050;
    uint16_t bits = 16;
    uint32_t bytes_per_second = 0;  // 0: rate x block align
    uint16_t block_align = 0;       // 0: channels x bits / 8
  };

  // Null when the file cannot be created.
  static std::unique_ptr<CWavWriter> Create(const std::string& path,
                                            const SHeader& header);
  ~CWavWriter();
  CWavWriter(const CWavWriter&) = delete;
  CWavWriter& operator=(const CWavWriter&) = delete;

  // False once a write has not reached the file.
  bool Write(const void* data, size_t size);

 private:
  explicit CWavWriter(std::FILE* file) : m_file(file) {}
  void UpdateSizes();

  std::FILE* m_file;
  uint32_t m_data_size = 0;
  bool m_good = true;
};

inline constexpr size_t kWavHeaderSize = 44;
// The 44 bytes before the samples of a WAV file whose "data" chunk holds
// `data_size` bytes (a pad byte counted after an odd size).
std::array<uint8_t, kWavHeaderSize> WavHeader(const CWavWriter::SHeader& header,
                                               uint32_t data_size);

// The samples of a PCM WAV file of exactly `format` (chunks before "data"
// other than "fmt " skipped, the data cut to what the file holds and to
// whole frames); false when the file is anything else.
bool ReadPcmWav(std::span<const uint8_t> file, const SAudioFormat& format,
                std::vector<uint8_t>* samples);
