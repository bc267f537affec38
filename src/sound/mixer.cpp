#include "sound/mixer.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "base/log.h"

namespace {

// The refill protocol between the main loop and the platform's callback.
// The callback sets the refilling flag for its work and gives up when the
// main loop holds the mixer; the main loop sets its flag and waits until a
// running refill is over. The callback never waits.
std::atomic<bool> g_refilling{false};
std::atomic<bool> g_main_loop_holds{false};

class CMainLoopHold {
 public:
  CMainLoopHold() : m_previous(g_main_loop_holds.exchange(true)) {
    while (g_refilling.load()) std::this_thread::yield();
  }
  ~CMainLoopHold() { g_main_loop_holds.store(m_previous); }
  CMainLoopHold(const CMainLoopHold&) = delete;
  CMainLoopHold& operator=(const CMainLoopHold&) = delete;

 private:
  bool m_previous;
};

bool Plays(const SMixerChannel& channel) {
  return channel.sound &&
         !(channel.flags & (kChannelPaused | kChannelFinished));
}

// Silence in place of output frames [from, to) of a store or direct pass.
void FillSilence(SoundFormat device, EConvertOp op, uint8_t* out,
                 uint32_t from, uint32_t to) {
  if (from >= to) return;
  const uint32_t frame = OutputFrameBytes(device, op);
  const bool unsigned_bytes = op == EConvertOp::kDirect && FormatBits(device) == 8;
  std::memset(out + size_t{from} * frame, unsigned_bytes ? 128 : 0,
              size_t{to - from} * frame);
}

SAudioFormat AudioFormatOf(SoundFormat format) {
  SAudioFormat audio;
  audio.rate = FormatRate(format);
  audio.channels = static_cast<uint16_t>(FormatChannels(format));
  audio.bits = static_cast<uint16_t>(FormatBits(format));
  return audio;
}

}  // namespace

// Sounds may be gone before the mixer: the end touches none of them.
CMixer::~CMixer() = default;

ErrCode CMixer::Open(SoundFormat device_format, uint16_t channels,
                     uint32_t buffer_ms) {
  if (m_started || !SupportsFormat(device_format)) return err::kUnknownError;
  DetachAll();
  m_opened = false;
  const uint32_t samples =
      static_cast<uint32_t>(uint64_t{FormatRate(device_format)} * buffer_ms /
                            1000) & ~uint32_t{15};
  CHandle accumulator(
      AllocHandle(size_t{FormatChannels(device_format)} * samples * 4 + 32));
  if (!accumulator) return err::kAllocFail;
  m_accumulator = std::move(accumulator);
  m_device_format = device_format;
  m_samples_per_buffer = samples;
  m_channels.assign(channels, SMixerChannel{});
  m_opened = true;
  return err::kOk;
}

void CMixer::DetachAll() {
  for (SMixerChannel& channel : m_channels)
    if (channel.sound) channel.sound->Stop();
  m_channels.clear();
}

SMixerChannel* CMixer::Find(uint16_t channel) {
  return m_opened && channel < m_channels.size() ? &m_channels[channel] : nullptr;
}

const SMixerChannel* CMixer::Channel(uint16_t channel) const {
  return channel < m_channels.size() ? &m_channels[channel] : nullptr;
}

void CMixer::SetDefaultNotification(uint16_t code, uint32_t target,
                                    uint32_t data) {
  m_default_code = code;
  m_default_target = target;
  m_default_data = data;
}

ErrCode CMixer::SetChannelSound(uint16_t number, CSound* sound, uint32_t tag) {
  CMainLoopHold hold;
  SMixerChannel* channel = Find(number);
  if (!channel) return err::kUnknownError;
  if (channel->sound) channel->sound->Stop();
  *channel = SMixerChannel{};
  if (!sound) return err::kOk;
  channel->sound = sound;
  channel->tag = tag;
  channel->sound_format = sound->Format();
  channel->notify_code = m_default_code;
  channel->notify_target = m_default_target;
  channel->notify_data = m_default_data;
  channel->converter.Update(m_device_format, channel->sound_format,
                            channel->left, channel->right);
  channel->length = channel->converter.OutputFrames(sound->FrameCount());
  if (ErrCode error = sound->Start()) {
    sound->Stop();
    *channel = SMixerChannel{};
    return error;
  }
  return err::kOk;
}

ErrCode CMixer::SetNotification(uint16_t number, uint16_t code,
                                uint32_t target, uint32_t data) {
  CMainLoopHold hold;
  SMixerChannel* channel = Find(number);
  if (!channel) return err::kUnknownError;
  channel->notify_code = code;
  channel->notify_target = target;
  channel->notify_data = data;
  return err::kOk;
}

ErrCode CMixer::Pause(uint16_t number) {
  SMixerChannel* channel = Find(number);
  if (!channel || !channel->sound) return err::kUnknownError;
  channel->flags |= kChannelPaused;
  return err::kOk;
}

ErrCode CMixer::Resume(uint16_t number) {
  SMixerChannel* channel = Find(number);
  if (!channel) return err::kUnknownError;
  channel->flags &= ~kChannelPaused;
  return err::kOk;
}

ErrCode CMixer::SetLoop(uint16_t number, bool on) {
  SMixerChannel* channel = Find(number);
  if (!channel) return err::kUnknownError;
  channel->flags = on ? channel->flags | kChannelLoop
                      : channel->flags & ~kChannelLoop;
  return err::kOk;
}

ErrCode CMixer::SetChannelVolume(uint16_t number, uint16_t left,
                                 uint16_t right) {
  CMainLoopHold hold;
  SMixerChannel* channel = Find(number);
  if (!channel) return err::kUnknownError;
  channel->left = left;
  channel->right = right;
  return err::kOk;
}

uint16_t CMixer::FindFreeChannel() const {
  if (!m_opened) return 0;
  for (size_t i = 0; i < m_channels.size(); ++i)
    if (!m_channels[i].sound) return static_cast<uint16_t>(i);
  return kNoFreeChannel;
}

void CMixer::MixChannel(SMixerChannel& channel, EConvertOp op, uint8_t* out) {
  const uint32_t frames = m_samples_per_buffer;
  const uint32_t frame_bytes = OutputFrameBytes(m_device_format, op);
  channel.converter.Update(m_device_format, channel.sound_format, channel.left,
                           channel.right);
  uint32_t done = 0;
  while (done < frames) {
    if (channel.position >= channel.length) {
      channel.position = 0;
      if (channel.length && (channel.flags & kChannelLoop)) continue;
      channel.flags &= ~kChannelPaused;
      channel.flags |= kChannelFinished;
      if (m_notify_mask & kMixerEndedEvent) channel.flags |= kChannelEnded;
      break;
    }
    const uint32_t wanted = static_cast<uint32_t>(
        std::min<uint64_t>(frames - done, channel.length - channel.position));
    const uint32_t got = channel.sound->DeliverSamples(
        channel.converter, op, channel.position, wanted,
        out + size_t{done} * frame_bytes);
    if (got < wanted) {
      DebugOutput("Not enough samples\n");
      if (op != EConvertOp::kAccumulate)
        FillSilence(m_device_format, op, out, done + got, done + wanted);
    }
    channel.position += wanted;
    done += wanted;
  }
  if (op != EConvertOp::kAccumulate)
    FillSilence(m_device_format, op, out, done, frames);
}

void CMixer::WriteAccumulator(const int32_t* accumulator, uint8_t* out) const {
  const size_t values = size_t{m_samples_per_buffer} * FormatChannels(m_device_format);
  if (FormatBits(m_device_format) == 16) {
    for (size_t i = 0; i < values; ++i) {
      const int16_t sample =
          static_cast<int16_t>(std::clamp(accumulator[i], -32768, 32767));
      std::memcpy(out + 2 * i, &sample, sizeof sample);
    }
    return;
  }
  for (size_t i = 0; i < values; ++i)
    out[i] = static_cast<uint8_t>(std::clamp((accumulator[i] >> 8) + 128, 0, 255));
}

// A single playing channel is written straight to the output; otherwise the
// first one stores into the accumulator and the others add to it.
ErrCode CMixer::MixBuffer(uint8_t* out) {
  const auto playing =
      std::count_if(m_channels.begin(), m_channels.end(), Plays);
  if (playing == 1) {
    MixChannel(*std::find_if(m_channels.begin(), m_channels.end(), Plays),
               EConvertOp::kDirect, out);
    return err::kOk;
  }
  CHandleLock lock(m_accumulator.get());
  if (!lock) return err::kLockFail;
  uint8_t* accumulator = lock.as<uint8_t>();
  EConvertOp op = EConvertOp::kStore;
  for (SMixerChannel& channel : m_channels) {
    if (!Plays(channel)) continue;
    MixChannel(channel, op, accumulator);
    op = EConvertOp::kAccumulate;
  }
  if (op == EConvertOp::kStore)
    FillSilence(m_device_format, op, accumulator, 0, m_samples_per_buffer);
  WriteAccumulator(lock.as<int32_t>(), out);
  return err::kOk;
}

void CMixer::UpdateSounds() {
  for (SMixerChannel& channel : m_channels)
    if (channel.sound) channel.sound->Update();
  for (SMixerChannel& channel : m_channels) {
    if (!(channel.flags & kChannelEnded)) continue;
    channel.flags &= ~kChannelEnded;
    if (!m_listener) continue;
    SMixerEvent event;
    event.code = channel.notify_code;
    event.target = channel.notify_target;
    event.mixer = this;
    event.data = channel.notify_data;
    event.tag = channel.tag;
    event.sequence = ++m_sequence;
    m_listener->PostMixerEvent(event);
  }
}

CWaveOutMixer::~CWaveOutMixer() { Stop(); }

ErrCode CWaveOutMixer::GetDeviceName(int device, char* buffer, size_t size) {
  if (size == 0) return err::kUnknownError;
  std::string name;
  if (device == kWaveMapper)
    name = "Wave mapper";
  else if (device >= 1 && device <= m_platform->AudioDeviceCount())
    name = m_platform->AudioDeviceName(device - 1);
  else
    return err::kUnknownError;
  std::snprintf(buffer, size, "%s", name.c_str());
  return err::kOk;
}

ErrCode CWaveOutMixer::SelectDevice(int device) {
  if (m_started || (device != kWaveMapper &&
                    (device < 1 || device > m_platform->AudioDeviceCount())))
    return err::kUnknownError;
  m_device = device;
  return err::kOk;
}

bool CWaveOutMixer::SupportsFormat(SoundFormat format) {
  const int device = m_device == kWaveMapper ? -1 : m_device - 1;
  return m_platform->AudioSupportsFormat(device, AudioFormatOf(format));
}

ErrCode CWaveOutMixer::Open(SoundFormat device_format, uint16_t channels,
                            uint32_t buffer_ms) {
  if (ErrCode error = CMixer::Open(device_format, channels, buffer_ms))
    return error;
  m_buffer_bytes = SamplesPerBuffer() * FormatFrameBytes(device_format);
  for (SWaveHeader& header : m_headers) {
    header.samples.reset(AllocHandle(size_t{m_buffer_bytes} + 32));
    header.queued = false;
    if (!header.samples) {
      m_opened = false;
      return err::kAllocFail;
    }
  }
  return err::kOk;
}

ErrCode CWaveOutMixer::Start() {
  if (!m_opened) return err::kUnknownError;
  if (m_started) return err::kOk;
  ErrCode error = err::kOk;
  const int device = m_device == kWaveMapper ? -1 : m_device - 1;
  m_output = m_platform->OpenAudio(device, AudioFormatOf(DeviceFormat()), &error);
  if (!m_output) return err::kUnknownError;
  m_output->SetVolume(m_volume_left, m_volume_right);
  m_started = true;
  m_queued = 0;
  m_next_refill = 0;
  for (int buffer = 0; buffer < 2; ++buffer) {
    if (Refill(buffer) != err::kOk) {
      CloseOutput();
      return err::kUnknownError;
    }
  }
  return err::kOk;
}

ErrCode CWaveOutMixer::Stop() {
  CMainLoopHold hold;
  if (m_started) CloseOutput();
  return err::kOk;
}

void CWaveOutMixer::CloseOutput() {
  m_output->Reset();
  m_output.reset();
  for (SWaveHeader& header : m_headers) header.queued = false;
  m_queued = 0;
  m_started = false;
}

ErrCode CWaveOutMixer::Refill(int buffer) {
  SWaveHeader& header = m_headers[buffer];
  CHandleLock lock(header.samples.get());
  if (!lock) return err::kLockFail;
  if (ErrCode error = MixBuffer(lock.as<uint8_t>())) return error;
  if (ErrCode error = m_output->Write(lock.get(), m_buffer_bytes)) return error;
  header.queued = true;
  ++m_queued;
  m_next_refill = buffer ^ 1;
  return err::kOk;
}

ErrCode CWaveOutMixer::Process() {
  CMainLoopHold hold;
  if (!m_started) return err::kOk;
  ErrCode result = err::kOk;
  for (int pending = static_cast<int>(m_output->PendingBuffers());
       m_queued > pending; --m_queued)
    m_headers[m_queued == 2 ? m_next_refill : m_next_refill ^ 1].queued = false;
  while (m_queued < 2) {
    if (ErrCode error = Refill(m_next_refill)) {
      DebugOutput("Error in Process.\n");
      result = error;
      break;
    }
  }
  m_missed = false;
  UpdateSounds();
  return result;
}

void CWaveOutMixer::BufferDone(int buffer) {
  if (g_refilling.exchange(true)) return;
  if (g_main_loop_holds.load() || !m_started) {
    m_missed = true;
    g_refilling.store(false);
    return;
  }
  if (m_headers[buffer].queued) {
    m_headers[buffer].queued = false;
    --m_queued;
  }
  if (Refill(buffer) != err::kOk) DebugOutput("Error in IRQ.\n");
  g_refilling.store(false);
}

ErrCode CWaveOutMixer::GetDeviceVolume(uint16_t* left, uint16_t* right) {
  if (m_output) m_output->GetVolume(&m_volume_left, &m_volume_right);
  *left = m_volume_left;
  *right = m_volume_right;
  return err::kOk;
}

ErrCode CWaveOutMixer::SetDeviceVolume(uint16_t left, uint16_t right) {
  m_volume_left = left;
  m_volume_right = right;
  if (m_output) m_output->SetVolume(left, right);
  return err::kOk;
}
