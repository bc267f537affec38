#include "sound/recorder.h"

#include <algorithm>
#include <array>

#include "base/log.h"
#include "fs/replace.h"
#include "platform/platform_support.h"

namespace {

// The file as it will be: the header's place, then the samples.
constexpr size_t kMaxBytes = kWavHeaderSize + size_t{CRecorder::kMaxMs} * kAudioInputFormat.rate /
                                                  1000 * kAudioInputFormat.FrameBytes();

}  // namespace

bool CRecorder::Start(const std::string& path) {
  if (Active()) return false;
  ErrCode error = err::kOk;
  m_input = m_platform->OpenAudioInput(&error);
  if (!m_input) {
    LogMessage(kLogEngine, "Record %s: no wave input (%s)\n", path.c_str(), ErrName(error));
    return false;
  }
  m_path = path;
  m_start = m_platform->TickCount();
  m_file.assign(kWavHeaderSize, 0);
  return true;
}

uint32_t CRecorder::Elapsed() const { return m_platform->TickCount() - m_start; }

void CRecorder::Service() {
  if (!m_input) return;
  m_input->Read(&m_file);
  if (m_file.size() > kMaxBytes) m_file.resize(kMaxBytes);
}

void CRecorder::Stop() {
  if (!m_input) return;
  Service();
  m_input.reset();
  CWavWriter::SHeader header;
  header.channels = kAudioInputFormat.channels;
  header.rate = kAudioInputFormat.rate;
  header.bits = kAudioInputFormat.bits;
  const auto size = static_cast<uint32_t>(m_file.size());
  const std::array<uint8_t, kWavHeaderSize> head = WavHeader(header, size - kWavHeaderSize);
  std::copy(head.begin(), head.end(), m_file.begin());
  const ErrCode error = WriteReplacing(m_path.c_str(), 0, [&](CFile& file) {
    uint32_t count = 0;
    return file.Write(m_file.data(), size, &count);
  });
  if (error) LogMessage(kLogEngine, "Record %s: %s\n", m_path.c_str(), ErrName(error));
  m_file.clear();
}
