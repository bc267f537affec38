#include "sound/convert.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace {

enum ELayout : int { kStereoToStereo, kMonoToMono, kMonoToStereo, kStereoToMono };

constexpr int kRateCodes = 5;
constexpr int kLayouts = 4;
constexpr int kBitCodes = 4;
constexpr int kAllRates[] = {11025, 22050, 44100};

// Rate code -> (source frames per output frame, output frames per source).
constexpr uint32_t kDownOf[kRateCodes] = {2, 4, 1, 1, 1};
constexpr uint32_t kUpOf[kRateCodes] = {1, 1, 1, 2, 4};

constexpr int RateOf(int index) { return index / (kLayouts * kBitCodes); }
constexpr int LayoutOf(int index) { return index / kBitCodes % kLayouts; }
constexpr int SourceBitsOf(int index) {
  return index % kBitCodes == 0 || index % kBitCodes == 3 ? 16 : 8;
}
constexpr int DeviceBitsOf(int index) {
  return index % kBitCodes == 0 || index % kBitCodes == 2 ? 16 : 8;
}
constexpr bool SourceStereo(int layout) {
  return layout == kStereoToStereo || layout == kStereoToMono;
}
constexpr bool DeviceStereo(int layout) {
  return layout == kStereoToStereo || layout == kMonoToStereo;
}

int16_t Saturate16(int32_t value) {
  return static_cast<int16_t>(std::clamp(value, -32768, 32767));
}

int16_t Scale(int32_t sample, uint16_t volume) {
  return Saturate16((sample * static_cast<int32_t>(volume)) >> 12);
}

template <int kSourceBits>
int32_t Look(const int16_t* table, const uint8_t* frame, int channel) {
  if constexpr (kSourceBits == 16) {
    int16_t sample;
    std::memcpy(&sample, frame + 2 * channel, sizeof sample);
    return table[static_cast<uint16_t>(sample) >> 4];
  } else {
    return table[frame[channel]];
  }
}

// One source frame as device channel values (right unused on mono devices).
template <int kLayout, int kSourceBits>
void ReadFrame(const SVolumeTables& tables, const uint8_t* frame, int32_t* left,
               int32_t* right) {
  if constexpr (kLayout == kStereoToStereo) {
    *left = Look<kSourceBits>(tables.left, frame, 0);
    *right = Look<kSourceBits>(tables.right, frame, 1);
  } else if constexpr (kLayout == kMonoToMono) {
    *left = Look<kSourceBits>(tables.left, frame, 0);
  } else if constexpr (kLayout == kMonoToStereo) {
    *left = Look<kSourceBits>(tables.left, frame, 0);
    *right = Look<kSourceBits>(tables.right, frame, 0);
  } else {
    *left = (Look<kSourceBits>(tables.left, frame, 0) +
             Look<kSourceBits>(tables.left, frame, 1)) >>
            1;
  }
}

template <EConvertOp kOp, int kDeviceBits, bool kStereo>
void Emit(void* out, uint32_t frame, int32_t left, int32_t right) {
  constexpr uint32_t kChannels = kStereo ? 2 : 1;
  if constexpr (kOp == EConvertOp::kDirect) {
    if constexpr (kDeviceBits == 16) {
      int16_t* target = static_cast<int16_t*>(out) + frame * kChannels;
      target[0] = static_cast<int16_t>(left);
      if constexpr (kStereo) target[1] = static_cast<int16_t>(right);
    } else {
      uint8_t* target = static_cast<uint8_t*>(out) + frame * kChannels;
      target[0] = static_cast<uint8_t>((left >> 8) + 128);
      if constexpr (kStereo) target[1] = static_cast<uint8_t>((right >> 8) + 128);
    }
  } else {
    int32_t* target = static_cast<int32_t*>(out) + frame * kChannels;
    if constexpr (kOp == EConvertOp::kAccumulate) {
      target[0] += left;
      if constexpr (kStereo) target[1] += right;
    } else {
      target[0] = left;
      if constexpr (kStereo) target[1] = right;
    }
  }
}

template <int kRate, int kLayout, int kSourceBits, EConvertOp kOp,
          int kDeviceBits>
void FastConvert(const SVolumeTables& tables, const uint8_t* source,
                 uint32_t phase, uint32_t count, void* out) {
  constexpr uint32_t kDown = kDownOf[kRate];
  constexpr uint32_t kUp = kUpOf[kRate];
  constexpr uint32_t kFrameBytes =
      (SourceStereo(kLayout) ? 2 : 1) * (kSourceBits / 8);
  constexpr bool kStereo = DeviceStereo(kLayout);
  constexpr int kDownShift = kDown == 4 ? 2 : kDown == 2 ? 1 : 0;
  int32_t left = 0, right = 0;
  if constexpr (kUp > 1) {
    uint32_t frame = 0;
    while (frame < count) {
      ReadFrame<kLayout, kSourceBits>(tables, source, &left, &right);
      source += kFrameBytes;
      for (uint32_t repeat = phase; repeat < kUp && frame < count; ++repeat)
        Emit<kOp, kDeviceBits, kStereo>(out, frame++, left, right);
      phase = 0;
    }
  } else {
    for (uint32_t frame = 0; frame < count; ++frame) {
      int32_t left_sum = 0, right_sum = 0;
      for (uint32_t i = 0; i < kDown; ++i) {
        ReadFrame<kLayout, kSourceBits>(tables, source, &left, &right);
        source += kFrameBytes;
        left_sum += left;
        right_sum += right;
      }
      Emit<kOp, kDeviceBits, kStereo>(out, frame, left_sum >> kDownShift,
                                      right_sum >> kDownShift);
    }
  }
}

// Accumulate and store routines depend on the source width only; they are
// instantiated with the device width 16 so that bits codes 0/3 and 1/2 share.
template <EConvertOp kOp, int kIndex>
constexpr FastConvertFn Entry() {
  constexpr int kDeviceBits =
      kOp == EConvertOp::kDirect ? DeviceBitsOf(kIndex) : 16;
  return &FastConvert<RateOf(kIndex), LayoutOf(kIndex), SourceBitsOf(kIndex),
                      kOp, kDeviceBits>;
}

template <EConvertOp kOp, int... kIndices>
constexpr std::array<FastConvertFn, kFastRoutineCount> MakeTable(
    std::integer_sequence<int, kIndices...>) {
  return {Entry<kOp, kIndices>()...};
}

template <EConvertOp kOp>
constexpr auto kTable =
    MakeTable<kOp>(std::make_integer_sequence<int, kFastRoutineCount>());

constexpr const std::array<FastConvertFn, kFastRoutineCount>* kTables[] = {
    &kTable<EConvertOp::kAccumulate>, &kTable<EConvertOp::kStore>,
    &kTable<EConvertOp::kDirect>};

bool IsFastRate(uint32_t rate) {
  return std::find(std::begin(kAllRates), std::end(kAllRates),
                   static_cast<int>(rate)) != std::end(kAllRates);
}

// The rate code of a pair of fast rates, or -1 for a pair they do not serve.
int RateCode(uint32_t source, uint32_t device) {
  if (!IsFastRate(source) || !IsFastRate(device)) return -1;
  for (int code = 0; code < kRateCodes; ++code)
    if (uint64_t{device} * kDownOf[code] == uint64_t{source} * kUpOf[code])
      return code;
  return -1;
}

int LayoutCode(bool source_stereo, bool device_stereo) {
  if (source_stereo) return device_stereo ? kStereoToStereo : kStereoToMono;
  return device_stereo ? kMonoToStereo : kMonoToMono;
}

int BitsCode(uint32_t source_bits, uint32_t device_bits) {
  if (source_bits == 16) return device_bits == 16 ? 0 : 3;
  return device_bits == 8 ? 1 : 2;
}

int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t quotient = a / b;
  return quotient * b > a ? quotient - 1 : quotient;
}

int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

// The sample of one channel as 16-bit, before the volume.
int32_t GenericSample(const uint8_t* frame, bool sixteen, int channel) {
  if (!sixteen) return (frame[channel] - 128) * 256;
  int16_t sample;
  std::memcpy(&sample, frame + 2 * channel, sizeof sample);
  return sample;
}

}  // namespace

FastConvertFn FastRoutine(EConvertOp op, int index) {
  return (*kTables[static_cast<int>(op)])[static_cast<size_t>(index)];
}

void CConverter::SetGenericOnly(bool on) {
  m_generic_only = on;
  m_valid = false;
}

void CConverter::Update(SoundFormat device, SoundFormat sound, uint16_t left,
                        uint16_t right) {
  if (m_valid && device == m_device && sound == m_sound && left == m_left &&
      right == m_right)
    return;
  const bool formats_changed = !m_valid || device != m_device || sound != m_sound;
  m_device = device;
  m_sound = sound;
  m_left = left;
  m_right = right;
  m_valid = true;
  if (formats_changed) Choose();
  BuildTables();
}

void CConverter::Choose() {
  const uint32_t source_rate = FormatRate(m_sound);
  const uint32_t device_rate = FormatRate(m_device);
  const int rate = m_generic_only ? -1 : RateCode(source_rate, device_rate);
  m_phase_start = (int64_t{device_rate} - int64_t{source_rate}) / 2;
  if (rate < 0) {
    m_index = -1;
    m_down = m_up = 1;
    return;
  }
  m_down = kDownOf[rate];
  m_up = kUpOf[rate];
  m_index = BitsCode(FormatBits(m_sound), FormatBits(m_device)) +
            kBitCodes * (LayoutCode(m_sound & kFormatStereo,
                                    m_device & kFormatStereo) +
                         kLayouts * rate);
  for (int op = 0; op < 3; ++op)
    m_routines[op] = FastRoutine(static_cast<EConvertOp>(op), m_index);
}

void CConverter::BuildTables() {
  if (m_index < 0) return;
  const bool stereo = m_device & kFormatStereo;
  const bool sixteen = FormatBits(m_sound) == 16;
  const size_t entries = sixteen ? 4096 : 256;
  const uint16_t mean = static_cast<uint16_t>((m_left + m_right) / 2);
  auto build = [&](std::vector<int16_t>& table, uint16_t volume) {
    table.resize(entries);
    for (size_t k = 0; k < entries; ++k) {
      const int32_t sample =
          sixteen ? static_cast<int16_t>(static_cast<uint16_t>(k << 4))
                  : (static_cast<int32_t>(k) - 128) * 256;
      table[k] = Scale(sample, volume);
    }
  };
  build(m_left_table, stereo ? m_left : mean);
  if (stereo)
    build(m_right_table, m_right);
  else
    m_right_table.clear();
}

int64_t CConverter::GenericSourceFrame(int64_t output_frame) const {
  const int64_t source_rate = FormatRate(m_sound);
  const int64_t device_rate = FormatRate(m_device);
  return std::max<int64_t>(
      0, FloorDiv(output_frame * source_rate - m_phase_start, device_rate));
}

uint64_t CConverter::SourceFrame(uint64_t output_frame) const {
  if (m_index < 0)
    return static_cast<uint64_t>(
        GenericSourceFrame(static_cast<int64_t>(output_frame)));
  return output_frame * m_down / m_up;
}

uint64_t CConverter::OutputEnd(uint64_t source_end) const {
  if (m_index >= 0) return source_end / m_down * m_up;
  if (source_end == 0) return 0;
  const int64_t source_rate = FormatRate(m_sound);
  const int64_t device_rate = FormatRate(m_device);
  return static_cast<uint64_t>(std::max<int64_t>(
      0, CeilDiv(static_cast<int64_t>(source_end) * device_rate + m_phase_start,
                 source_rate)));
}

uint32_t CConverter::FramesWithin(uint64_t first, uint64_t source_end,
                                  uint32_t limit) const {
  const uint64_t end = OutputEnd(source_end);
  if (end <= first) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(end - first, limit));
}

uint64_t CConverter::OutputFrames(uint64_t source_frames) const {
  return OutputEnd(source_frames);
}

void CConverter::Convert(EConvertOp op, const uint8_t* source, uint64_t first,
                         uint32_t count, void* out) const {
  if (count == 0) return;
  if (op == EConvertOp::kDirect && m_device == m_sound &&
      m_left == kUnityVolume && m_right == kUnityVolume) {
    std::memcpy(out, source, size_t{count} * FormatFrameBytes(m_sound));
    return;
  }
  if (m_index < 0) {
    ConvertGeneric(op, source, first, count, out);
    return;
  }
  const SVolumeTables tables{m_left_table.data(), m_right_table.empty()
                                                      ? m_left_table.data()
                                                      : m_right_table.data()};
  m_routines[static_cast<int>(op)](tables, source,
                                   static_cast<uint32_t>(first % m_up), count,
                                   out);
}

void CConverter::ConvertGeneric(EConvertOp op, const uint8_t* source,
                                uint64_t first, uint32_t count,
                                void* out) const {
  const bool source_stereo = m_sound & kFormatStereo;
  const bool device_stereo = m_device & kFormatStereo;
  const bool source_sixteen = FormatBits(m_sound) == 16;
  const bool device_sixteen = FormatBits(m_device) == 16;
  const uint32_t frame_bytes = FormatFrameBytes(m_sound);
  const uint16_t mean = static_cast<uint16_t>((m_left + m_right) / 2);
  const int64_t base = GenericSourceFrame(static_cast<int64_t>(first));
  const uint32_t channels = device_stereo ? 2 : 1;
  for (uint32_t frame = 0; frame < count; ++frame) {
    const int64_t index =
        GenericSourceFrame(static_cast<int64_t>(first + frame)) - base;
    const uint8_t* at = source + index * frame_bytes;
    int32_t values[2];
    const int32_t left = GenericSample(at, source_sixteen, 0);
    const int32_t right =
        source_stereo ? GenericSample(at, source_sixteen, 1) : left;
    if (device_stereo) {
      values[0] = Scale(left, m_left);
      values[1] = Scale(right, m_right);
    } else {
      values[0] = Scale(source_stereo ? (left + right) >> 1 : left, mean);
    }
    for (uint32_t c = 0; c < channels; ++c) {
      const size_t slot = size_t{frame} * channels + c;
      if (op == EConvertOp::kAccumulate)
        static_cast<int32_t*>(out)[slot] += values[c];
      else if (op == EConvertOp::kStore)
        static_cast<int32_t*>(out)[slot] = values[c];
      else if (device_sixteen)
        static_cast<int16_t*>(out)[slot] = static_cast<int16_t>(values[c]);
      else
        static_cast<uint8_t*>(out)[slot] =
            static_cast<uint8_t>((values[c] >> 8) + 128);
    }
  }
}
