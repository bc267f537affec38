#include "platform/platform_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <string>

#include "base/byte_order.h"
#include "base/log.h"

namespace {

// Global because a signal handler can reach no object; it only sets this flag.
volatile sig_atomic_t g_quit_signalled = 0;
std::atomic<int> g_wake_descriptor{-1};
static_assert(std::atomic<int>::is_always_lock_free);

void OnQuitSignal(int) {
  const int saved_errno = errno;
  g_quit_signalled = 1;
  const int descriptor = g_wake_descriptor.load();
  if (descriptor >= 0) {
    const char byte = 'q';
    [[maybe_unused]] const ssize_t written = write(descriptor, &byte, 1);
  }
  errno = saved_errno;
}

}  // namespace

CQuitSignal::CQuitSignal() {
  if (pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) m_pipe[0] = m_pipe[1] = -1;
  m_outer_descriptor = g_wake_descriptor.exchange(m_pipe[1]);
  struct sigaction action {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &m_previous_int);
  sigaction(SIGTERM, &action, &m_previous_term);
}

CQuitSignal::~CQuitSignal() {
  sigaction(SIGINT, &m_previous_int, nullptr);
  sigaction(SIGTERM, &m_previous_term, nullptr);
  g_wake_descriptor.store(m_outer_descriptor);
  for (int descriptor : m_pipe)
    if (descriptor >= 0) close(descriptor);
}

bool CQuitSignal::Take() {
  if (!g_quit_signalled) return false;
  g_quit_signalled = 0;
  char drain[16];
  if (m_pipe[0] >= 0)
    while (read(m_pipe[0], drain, sizeof drain) > 0) {
    }
  return true;
}

int StderrMessageBox(const char* caption, const char* text, uint32_t flags) {
  std::string line = std::string(caption) + ": " + text;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.pop_back();
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; },
      ' ');
  std::fprintf(stderr, "%s\n", line.c_str());
  return (flags & 0xF) == kMbAbortRetryIgnore ? kIdIgnore : kIdOk;
}

bool DecodeUtf8(std::string_view text, std::vector<uint32_t>* code_points) {
  std::vector<uint32_t> decoded;
  for (size_t i = 0; i < text.size();) {
    const uint8_t lead = static_cast<uint8_t>(text[i]);
    if (lead >= 0xF5 || (lead >= 0x80 && lead < 0xC2)) return false;
    const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    static constexpr uint8_t kLeadBits[] = {0x7F, 0x1F, 0x0F, 0x07};
    static constexpr uint32_t kLowest[] = {0, 0x80, 0x800, 0x10000};
    uint32_t code = lead & kLeadBits[extra];
    if (i + extra >= text.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      const uint8_t next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    if (code < kLowest[extra] || code > 0x10FFFF ||
        (code >= 0xD800 && code < 0xE000))
      return false;
    decoded.push_back(code);
    i += extra + 1;
  }
  code_points->insert(code_points->end(), decoded.begin(), decoded.end());
  return true;
}

std::string ClipboardFromUtf8(std::string_view utf8) {
  std::string text;
  for (size_t i = 0; i < utf8.size();) {
    // The longest well-formed sequence at i, or one bad byte.
    size_t length = 1;
    std::vector<uint32_t> code;
    while (length <= 4 && i + length <= utf8.size() &&
           !DecodeUtf8(utf8.substr(i, length), &code))
      ++length;
    if (code.empty()) {
      text += '?';
      ++i;
      continue;
    }
    i += length;
    if (code[0] == '\n' && (text.empty() || text.back() != '\r')) text += '\r';
    text += code[0] <= 0xFF ? static_cast<char>(code[0]) : '?';
  }
  return text;
}

std::string ClipboardToUtf8(std::string_view latin1) {
  std::string text;
  for (size_t i = 0; i < latin1.size(); ++i) {
    const uint8_t c = static_cast<uint8_t>(latin1[i]);
    if (c == '\r' && i + 1 < latin1.size() && latin1[i + 1] == '\n') continue;
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else {
      text += static_cast<char>(0xC0 | c >> 6);
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

CFrameShadow::CFrameShadow(int width, int height)
    : m_width(width),
      m_height(height),
      m_pixels(static_cast<size_t>(width) * height, 0) {}

std::vector<TRect> CFrameShadow::Update(const uint8_t* pixels, int width,
                                          int height, int pitch,
                                          std::span<const TRect> rects) {
  const int right_limit = std::min(width, m_width) - 1;
  const int bottom_limit = std::min(height, m_height) - 1;
  const TRect whole{0, 0, static_cast<int16_t>(right_limit),
                      static_cast<int16_t>(bottom_limit)};
  if (rects.empty()) rects = std::span<const TRect>(&whole, 1);
  std::vector<TRect> copied;
  for (const TRect& rect : rects) {
    const int left = std::max<int>(rect.left, 0);
    const int top = std::max<int>(rect.top, 0);
    const int right = std::min<int>(rect.right, right_limit);
    const int bottom = std::min<int>(rect.bottom, bottom_limit);
    if (left > right || top > bottom) continue;
    for (int y = top; y <= bottom; ++y)
      std::copy_n(
          pixels + static_cast<ptrdiff_t>(y) * pitch + left, right - left + 1,
          m_pixels.begin() + static_cast<ptrdiff_t>(y) * m_width + left);
    copied.push_back({static_cast<int16_t>(left), static_cast<int16_t>(top),
                      static_cast<int16_t>(right),
                      static_cast<int16_t>(bottom)});
  }
  return copied;
}

void ApplyAudioVolume(const SAudioFormat& format, uint16_t left,
                      uint16_t right, uint8_t* data, uint32_t size) {
  if (left == kFullAudioVolume && right == kFullAudioVolume) return;
  const uint32_t volumes[2] = {left, right};
  const uint32_t sample_bytes = format.bits / 8;
  const uint32_t count = size / sample_bytes;
  for (uint32_t i = 0; i < count; ++i) {
    const int64_t volume = volumes[format.channels == 2 ? i % 2 : 0];
    if (sample_bytes == 1) {
      data[i] = static_cast<uint8_t>(
          128 + (static_cast<int64_t>(data[i]) - 128) * volume / kFullAudioVolume);
      continue;
    }
    int16_t sample;
    std::memcpy(&sample, data + 2 * i, sizeof sample);
    sample = static_cast<int16_t>(sample * volume / kFullAudioVolume);
    std::memcpy(data + 2 * i, &sample, sizeof sample);
  }
}

std::array<uint8_t, kWavHeaderSize> WavHeader(const CWavWriter::SHeader& header,
                                               uint32_t data_size) {
  const uint16_t align =
      header.block_align ? header.block_align
                         : static_cast<uint16_t>(header.channels * header.bits / 8);
  const uint32_t per_second =
      header.bytes_per_second ? header.bytes_per_second : header.rate * align;
  std::array<uint8_t, kWavHeaderSize> bytes = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E',
                                               'f', 'm', 't', ' ', 16, 0, 0, 0};
  PutLe32(&bytes[4], 36 + data_size + (data_size & 1));
  PutLe16(&bytes[20], header.format_tag);
  PutLe16(&bytes[22], header.channels);
  PutLe32(&bytes[24], header.rate);
  PutLe32(&bytes[28], per_second);
  PutLe16(&bytes[32], align);
  PutLe16(&bytes[34], header.bits);
  std::memcpy(&bytes[36], "data", 4);
  PutLe32(&bytes[40], data_size);
  return bytes;
}

bool ReadPcmWav(std::span<const uint8_t> file, const SAudioFormat& format,
                std::vector<uint8_t>* samples) {
  constexpr uint16_t kPcm = 1;
  if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 ||
      std::memcmp(file.data() + 8, "WAVE", 4) != 0)
    return false;
  bool format_seen = false;
  for (size_t at = 12; file.size() - at >= 8;) {
    const uint8_t* chunk = file.data() + at;
    const size_t size = std::min<size_t>(GetLe32(chunk + 4), file.size() - at - 8);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      format_seen = size >= 16 && GetLe16(chunk + 8) == kPcm &&
                    GetLe16(chunk + 10) == format.channels && GetLe32(chunk + 12) == format.rate &&
                    GetLe16(chunk + 22) == format.bits;
      if (!format_seen) return false;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!format_seen) return false;
      samples->assign(chunk + 8, chunk + 8 + size - size % format.FrameBytes());
      return true;
    }
    at += 8 + size + (size & 1);
    if (at > file.size()) return false;
  }
  return false;
}

std::unique_ptr<CWavWriter> CWavWriter::Create(const std::string& path,
                                               const SHeader& header) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return nullptr;
  std::unique_ptr<CWavWriter> writer(new CWavWriter(file));
  const std::array<uint8_t, kWavHeaderSize> bytes = WavHeader(header, 0);
  writer->m_good = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  writer->UpdateSizes();
  return writer;
}

CWavWriter::~CWavWriter() { std::fclose(m_file); }

bool CWavWriter::Write(const void* data, size_t size) {
  if (std::fwrite(data, 1, size, m_file) != size) m_good = false;
  m_data_size += static_cast<uint32_t>(size);
  UpdateSizes();
  return m_good;
}

// The RIFF size counts everything after its own field; an odd data size is
// followed by the pad byte RIFF asks for, which is written once the sizes are
// final (at the next write it is overwritten by data).
void CWavWriter::UpdateSizes() {
  uint8_t size[4];
  const uint32_t pad = m_data_size & 1;
  PutLe32(size, 36 + m_data_size + pad);
  bool good = std::fseek(m_file, 4, SEEK_SET) == 0 &&
              std::fwrite(size, 1, 4, m_file) == 4;
  PutLe32(size, m_data_size);
  good = good && std::fseek(m_file, 40, SEEK_SET) == 0 &&
         std::fwrite(size, 1, 4, m_file) == 4;
  if (pad) {
    const uint8_t zero = 0;
    good = good && std::fseek(m_file, 44 + m_data_size, SEEK_SET) == 0 &&
           std::fwrite(&zero, 1, 1, m_file) == 1;
  }
  good = good && std::fseek(m_file, 44 + m_data_size, SEEK_SET) == 0 &&
         std::fflush(m_file) == 0;
  if (!good) m_good = false;
}
