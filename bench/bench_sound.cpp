// The mixer's pass over 16 channels of mixed formats into one 200 ms buffer
// of 22050 Hz 16-bit mono, beside a plain multiply-and-clamp loop over the
// same number of samples (the yardstick: what summing costs at all); and
// the ADPCM decoder's rate beside a plain copy of as many 16-bit samples (the
// yardstick: what writing the output costs at all).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "sound/adpcm.h"
#include "sound/mixer.h"

namespace {

constexpr SoundFormat kDevice = 0x562202;
constexpr uint32_t kFrames = 4400;
constexpr int kChannels = 16;

// Loops over frames held in memory.
class CMemorySound final : public CSound {
 public:
  CMemorySound(SoundFormat format, size_t frames) : m_format(format) {
    m_bytes.resize(frames * FormatFrameBytes(format));
    for (size_t i = 0; i < m_bytes.size(); ++i)
      m_bytes[i] = static_cast<uint8_t>(128 + 60 * std::sin(i * 0.01));
  }
  SoundFormat Format() const override { return m_format; }
  uint64_t FrameCount() const override {
    return m_bytes.size() / FormatFrameBytes(m_format);
  }
  ErrCode Start() override { return err::kOk; }
  void Stop() override {}
  ErrCode Update() override { return err::kOk; }
  uint32_t DeliverSamples(const CConverter& converter, EConvertOp op,
                          uint64_t position, uint32_t count, void* out) override {
    const uint32_t part = converter.FramesWithin(position, FrameCount(), count);
    converter.Convert(op,
                      m_bytes.data() + converter.SourceFrame(position) *
                                           FormatFrameBytes(m_format),
                      position, part, out);
    return part;
  }

 private:
  SoundFormat m_format;
  std::vector<uint8_t> m_bytes;
};

class CBenchMixer final : public CMixer {
 public:
  bool SupportsFormat(SoundFormat) override { return true; }
  ErrCode Start() override { return err::kOk; }
  ErrCode Stop() override { return err::kOk; }
  ErrCode Process() override { return err::kOk; }
  using CMixer::MixBuffer;
};

void BM_Mix16MixedChannels(benchmark::State& state) {
  const uint32_t rates[] = {11025, 22050, 44100};
  std::vector<std::unique_ptr<CMemorySound>> sounds;
  CBenchMixer mixer;
  mixer.Open(kDevice, kChannels, 200);
  for (int i = 0; i < kChannels; ++i) {
    const SoundFormat format =
        MakeSoundFormat(rates[i % 3], i & 1 ? 16 : 8, i & 2 ? 2 : 1);
    sounds.push_back(std::make_unique<CMemorySound>(format, 100000));
    mixer.SetChannelSound(static_cast<uint16_t>(i), sounds.back().get(), 0);
    mixer.SetLoop(static_cast<uint16_t>(i), true);
    mixer.SetChannelVolume(static_cast<uint16_t>(i), 1000 + 100 * i, 2000);
  }
  std::vector<uint8_t> out(kFrames * 2);
  for (auto _ : state) {
    mixer.MixBuffer(out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * kFrames * kChannels);
}
BENCHMARK(BM_Mix16MixedChannels)->Unit(benchmark::kMicrosecond);

// The same 16 x 4400 samples, already in the device format: multiply by
// the volume, add, clamp.
void BM_YardstickMultiplyAndClamp(benchmark::State& state) {
  std::vector<std::vector<int16_t>> channels(kChannels, std::vector<int16_t>(kFrames));
  for (int c = 0; c < kChannels; ++c)
    for (uint32_t i = 0; i < kFrames; ++i)
      channels[c][i] = static_cast<int16_t>(8000 * std::sin(i * 0.01 + c));
  std::vector<int32_t> sum(kFrames);
  std::vector<int16_t> out(kFrames);
  for (auto _ : state) {
    std::fill(sum.begin(), sum.end(), 0);
    for (int c = 0; c < kChannels; ++c) {
      const int32_t volume = 1000 + 100 * c;
      for (uint32_t i = 0; i < kFrames; ++i) sum[i] += channels[c][i] * volume >> 12;
    }
    for (uint32_t i = 0; i < kFrames; ++i)
      out[i] = static_cast<int16_t>(std::clamp(sum[i], -32768, 32767));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * kFrames * kChannels);
}
BENCHMARK(BM_YardstickMultiplyAndClamp)->Unit(benchmark::kMicrosecond);

void BM_AdpcmDecode(benchmark::State& state) {
  std::vector<uint8_t> codes(1 << 20);
  for (size_t i = 0; i < codes.size(); ++i)
    codes[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  std::vector<uint8_t> samples(codes.size() * 4);
  CAdpcmCodec codec;
  for (auto _ : state) {
    codec.Reset();
    codec.Decode(codes.data(), codes.size(), samples.data());
    benchmark::DoNotOptimize(samples.data());
  }
  state.SetItemsProcessed(state.iterations() * codes.size() * 2);
}
BENCHMARK(BM_AdpcmDecode)->Unit(benchmark::kMillisecond);

// The samples BM_AdpcmDecode writes, copied from 16-bit samples in memory.
void BM_YardstickCopy16(benchmark::State& state) {
  std::vector<int16_t> source((1 << 20) * 2);
  for (size_t i = 0; i < source.size(); ++i)
    source[i] = static_cast<int16_t>((i * 2654435761u) >> 13);
  std::vector<int16_t> samples(source.size());
  for (auto _ : state) {
    std::copy(source.begin(), source.end(), samples.begin());
    benchmark::DoNotOptimize(samples.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(source.size()));
}
BENCHMARK(BM_YardstickCopy16)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
