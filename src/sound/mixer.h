// The software mixer: a fixed number of channels, each playing one sound,
// converted to the device format, scaled by the channel's volumes, summed
// and written into one of two output buffers that alternate on the device.
//
// Channels only borrow their sounds: the caller keeps a sound alive until
// its channel has let go of it (another SetChannelSound, a new Open) or
// until the mixer is destroyed, which calls no sound. A channel's play position and length count output frames at the
// device rate. A non-looping channel that reaches its end stops playing
// (flag kChannelFinished) until it gets a sound again, and, when the
// notification mask asks for it, carries the ended bits until Process
// reports it to the listener.
//
// Every operation that touches channels holds the mixer against a refill
// from the platform's callback (two process-wide flags, see mixer.cpp);
// the application leaves callback mode off, and then only Process refills.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/memory.h"
#include "sound/convert.h"
#include "sound/sound.h"
#include "platform/platform.h"

enum : uint32_t {
  kChannelEnded = 0x68,  // the ended-notification bits 0x08 | 0x20 | 0x40
  kChannelLoop = 0x10000,
  kChannelPaused = 0x20000,
  kChannelFinished = 0x40000,
};

// The event code of a channel's end, and the mask bits that ask for it.
inline constexpr uint32_t kMixerEndedEvent = 0x2000068;
inline constexpr uint16_t kNoFreeChannel = 0xFFFF;

class CMixer;

struct SMixerEvent {
  uint16_t code = 0;  // the channel's notification code
  uint32_t target = 0;
  CMixer* mixer = nullptr;
  uint32_t event = kMixerEndedEvent;
  uint32_t data = 0;
  uint32_t tag = 0;
  uint32_t sequence = 0;
};

// Where the mixer posts its events (the engine's event queue).
class CMixerListener {
 public:
  virtual ~CMixerListener() = default;
  virtual void PostMixerEvent(const SMixerEvent& event) = 0;
};

struct SMixerChannel {
  CSound* sound = nullptr;  // null: the channel is free
  uint32_t tag = 0;
  SoundFormat sound_format = 0;
  uint32_t flags = 0;
  uint32_t notify_data = 0;
  uint32_t notify_target = 0;
  uint16_t notify_code = 0;
  uint16_t left = kUnityVolume;
  uint16_t right = kUnityVolume;
  CConverter converter;
  uint64_t position = 0;
  uint64_t length = 0;
};

class CMixer : public CObject {
  TV_CLASS(CMixer, CObject)

 public:
  CMixer() = default;
  ~CMixer() override;
  CMixer(const CMixer&) = delete;
  CMixer& operator=(const CMixer&) = delete;

  // Samples per buffer = rate x milliseconds / 1000 with the low four bits
  // cleared. "Unknown error" when started or for a format the device does
  // not take, ALLOCFAIL without memory.
  virtual ErrCode Open(SoundFormat device_format, uint16_t channels,
                       uint32_t buffer_ms);
  virtual bool SupportsFormat(SoundFormat format) = 0;
  virtual ErrCode Start() = 0;
  virtual ErrCode Stop() = 0;
  // Once per main-loop pass: refills played buffers, lets the sounds
  // update, reports ended channels.
  virtual ErrCode Process() = 0;

  // Detaches (and stops) the channel's sound, then attaches `sound`, if
  // any, at unity volume with the default notification, and starts it.
  ErrCode SetChannelSound(uint16_t channel, CSound* sound, uint32_t tag);
  ErrCode SetNotification(uint16_t channel, uint16_t code, uint32_t target,
                          uint32_t data);
  ErrCode Pause(uint16_t channel);
  ErrCode Resume(uint16_t channel);
  ErrCode SetLoop(uint16_t channel, bool on);
  ErrCode SetChannelVolume(uint16_t channel, uint16_t left, uint16_t right);
  // The lowest channel without a sound; kNoFreeChannel when all are busy,
  // 0 when the mixer is not open.
  uint16_t FindFreeChannel() const;

  void SetListener(CMixerListener* listener) { m_listener = listener; }
  void SetNotificationMask(uint32_t mask) { m_notify_mask = mask; }
  void SetDefaultNotification(uint16_t code, uint32_t target, uint32_t data);

  bool IsStarted() const { return m_started; }
  SoundFormat DeviceFormat() const { return m_device_format; }
  uint32_t SamplesPerBuffer() const { return m_samples_per_buffer; }
  uint16_t ChannelCount() const { return static_cast<uint16_t>(m_channels.size()); }
  // Null for a channel number out of range.
  const SMixerChannel* Channel(uint16_t channel) const;

 protected:
  // Mixes the next SamplesPerBuffer() frames of every playing channel into
  // `out`, in the device format.
  ErrCode MixBuffer(uint8_t* out);
  // Stream refills of every sound, then the ended notifications.
  void UpdateSounds();
  void DetachAll();

  bool m_opened = false;
  bool m_started = false;

 private:
  SMixerChannel* Find(uint16_t channel);
  // Plays the channel into `out` from frame 0 on; store and direct fill the
  // frames it does not play with silence.
  void MixChannel(SMixerChannel& channel, EConvertOp op, uint8_t* out);
  void WriteAccumulator(const int32_t* accumulator, uint8_t* out) const;

  SoundFormat m_device_format = 0;
  std::vector<SMixerChannel> m_channels;
  uint16_t m_default_code = 0;
  uint32_t m_default_target = 0;
  uint32_t m_default_data = 0;
  uint32_t m_notify_mask = kMixerEndedEvent;
  CHandle m_accumulator;
  uint32_t m_samples_per_buffer = 0;
  CMixerListener* m_listener = nullptr;
  uint32_t m_sequence = 0;
};

// The mixer on the platform's audio output.
class CWaveOutMixer final : public CMixer {
  TV_CLASS(CWaveOutMixer, CMixer)

 public:
  static constexpr int kWaveMapper = -1;

  // The platform must outlive the mixer.
  explicit CWaveOutMixer(CPlatform* platform) : m_platform(platform) {}
  ~CWaveOutMixer() override;

  // -1 is "Wave mapper"; devices 1 to the platform's count are its devices
  // 0 onwards.
  ErrCode GetDeviceName(int device, char* buffer, size_t size);
  ErrCode SelectDevice(int device);

  ErrCode Open(SoundFormat device_format, uint16_t channels,
               uint32_t buffer_ms) override;
  bool SupportsFormat(SoundFormat format) override;
  ErrCode Start() override;
  ErrCode Stop() override;
  ErrCode Process() override;

  // 0xFFFF per side is full volume.
  ErrCode GetDeviceVolume(uint16_t* left, uint16_t* right);
  ErrCode SetDeviceVolume(uint16_t left, uint16_t right);

  // Callback mode: the platform's callback refills buffers itself, through
  // BufferDone; off (the application's choice), only Process refills.
  void SetCallbackMode(bool on) { m_callback_mode = on; }
  // The callback's work on a finished buffer. It never waits: while the
  // main loop holds the mixer it only notes that the refill was missed,
  // which the next Process makes up for.
  void BufferDone(int buffer);
  bool RefillMissed() const { return m_missed; }

 private:
  struct SWaveHeader {
    CHandle samples;
    bool queued = false;
  };
  // Mixes into the buffer and queues it.
  ErrCode Refill(int buffer);
  void CloseOutput();

  CPlatform* m_platform;
  int m_device = kWaveMapper;
  std::unique_ptr<CAudioOutput> m_output;
  SWaveHeader m_headers[2];
  uint32_t m_buffer_bytes = 0;
  // The buffers alternate: the one refilled next is the one queued longest
  // ago.
  int m_queued = 0;
  int m_next_refill = 0;
  uint16_t m_volume_left = kFullAudioVolume;
  uint16_t m_volume_right = kFullAudioVolume;
  bool m_callback_mode = false;
  bool m_missed = false;
};
