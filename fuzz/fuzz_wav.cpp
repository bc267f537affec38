// WAV open and full decode: every header the reader is given, then every
// frame of what it accepted, converted to a device format as a mixer
// channel would, with the stream refilling through a small buffer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "sound/file_sound.h"

namespace {

class CBytesFile final : public CFile {
 public:
  CBytesFile(const uint8_t* data, size_t size) : m_bytes(data, data + size) {}

  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override {
    const size_t n = m_position < m_bytes.size()
                         ? std::min<size_t>(length, m_bytes.size() - m_position)
                         : 0;
    if (n) std::memcpy(buffer, m_bytes.data() + m_position, n);
    m_position += n;
    if (count) *count = static_cast<uint32_t>(n);
    return n == length ? err::kOk : err::kEof;
  }
  ErrCode Seek(int32_t offset, int origin) override {
    const int64_t base = origin == kSeekSet   ? 0
                         : origin == kSeekCur ? static_cast<int64_t>(m_position)
                                              : static_cast<int64_t>(m_bytes.size());
    if (base + offset < 0) return err::kSeekFail;
    m_position = static_cast<size_t>(base + offset);
    return err::kOk;
  }
  uint32_t GetSize() override { return static_cast<uint32_t>(m_bytes.size()); }
  uint32_t Tell() override { return static_cast<uint32_t>(m_position); }

 private:
  std::vector<uint8_t> m_bytes;
  size_t m_position = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte picks the device format and the delivery step.
  const uint8_t choice = data[0];
  ErrCode error = err::kOk;
  std::unique_ptr<CFileSound> sound =
      CFileSound::OpenWav(std::make_unique<CBytesFile>(data + 1, size - 1), &error);
  if (!sound) return 0;
  const uint32_t rates[] = {11025, 22050, 44100, 8000};
  const SoundFormat device =
      MakeSoundFormat(rates[choice & 3], choice & 4 ? 16 : 8, choice & 8 ? 2 : 1);
  if (sound->SetBufferSize(64 + (choice & 0x30) * 4) != err::kOk) return 0;
  sound->SetReadStep(choice & 0x40 ? 16 : 0);
  CConverter converter;
  converter.Update(device, sound->Format(), 3000, 6000);
  const uint32_t step = choice & 0x80 ? 97 : 4400;
  std::vector<int32_t> accumulator(size_t{step} * 2);
  sound->Start();
  const uint64_t frames = converter.OutputFrames(sound->FrameCount());
  for (uint64_t position = 0; position < frames; position += step) {
    const uint32_t count =
        static_cast<uint32_t>(std::min<uint64_t>(step, frames - position));
    sound->DeliverSamples(converter, EConvertOp::kAccumulate, position, count,
                          accumulator.data());
    sound->Update();
  }
  // Back to the start, as a loop does.
  sound->DeliverSamples(converter, EConvertOp::kStore, 0, 1, accumulator.data());
  return 0;
}
