// WAV files and in-memory sounds for the sound tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sound/sound.h"

inline void PutLe(std::string* bytes, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes->push_back(static_cast<char>(value >> (8 * i)));
}

struct SWavLayout {
  SWavLayout(uint16_t tag_ = 1, uint16_t channels_ = 1, uint32_t rate_ = 22050,
           uint16_t bits_ = 16, uint32_t format_size_ = 16,
           std::string before_data_ = "")
      : tag(tag_), channels(channels_), rate(rate_), bits(bits_),
        format_size(format_size_), before_data(std::move(before_data_)) {}

  uint16_t tag;
  uint16_t channels;
  uint32_t rate;
  uint16_t bits;
  uint32_t format_size;
  std::string before_data;  // whole chunks between "fmt " and "data"
  uint32_t data_size_field = 0xFFFFFFFF;  // the real size when left
};

inline std::string Chunk(const char* id, const std::string& body) {
  std::string chunk(id, 4);
  PutLe(&chunk, static_cast<uint32_t>(body.size()), 4);
  chunk += body;
  if (body.size() % 2) chunk.push_back('\0');
  return chunk;
}

inline std::string MakeWav(const SWavLayout& layout, const std::string& data) {
  std::string wav = "RIFF";
  PutLe(&wav, 0, 4);
  wav += "WAVEfmt ";
  PutLe(&wav, layout.format_size, 4);
  PutLe(&wav, layout.tag, 2);
  PutLe(&wav, layout.channels, 2);
  PutLe(&wav, layout.rate, 4);
  PutLe(&wav, layout.rate * layout.channels * layout.bits / 8, 4);
  PutLe(&wav, static_cast<uint32_t>(layout.channels * layout.bits / 8), 2);
  PutLe(&wav, layout.bits, 2);
  if (layout.format_size > 16) wav.append(layout.format_size - 16, '\0');
  wav += layout.before_data;
  wav += "data";
  PutLe(&wav, layout.data_size_field == 0xFFFFFFFF
                  ? static_cast<uint32_t>(data.size())
                  : layout.data_size_field,
        4);
  return wav + data;
}

inline std::string Pcm16(const std::vector<int16_t>& samples) {
  std::string bytes(samples.size() * 2, '\0');
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

// Frames held in memory, delivered as a channel asks for them.
class CTestSound final : public CSound {
 public:
  CTestSound(SoundFormat format, std::string frames)
      : m_format(format), m_frames(std::move(frames)) {}

  SoundFormat Format() const override { return m_format; }
  uint64_t FrameCount() const override {
    return m_frames.size() / FormatFrameBytes(m_format);
  }
  ErrCode Start() override {
    ++m_starts;
    return err::kOk;
  }
  void Stop() override { ++m_stops; }
  ErrCode Update() override {
    ++m_updates;
    return err::kOk;
  }
  uint32_t DeliverSamples(const CConverter& converter, EConvertOp op,
                          uint64_t position, uint32_t count,
                          void* out) override {
    const uint32_t part = converter.FramesWithin(position, FrameCount(), count);
    const uint64_t source = converter.SourceFrame(position);
    if (part)
      converter.Convert(op,
                        reinterpret_cast<const uint8_t*>(m_frames.data()) +
                            source * FormatFrameBytes(m_format),
                        position, part, out);
    return part;
  }

  int m_starts = 0, m_stops = 0, m_updates = 0;

 private:
  SoundFormat m_format;
  std::string m_frames;
};
