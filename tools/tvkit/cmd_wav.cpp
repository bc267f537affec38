// tvkit wav: what the engine makes of a WAV file.
//
//   tvkit wav info <file>             format, rate, channels, bits, samples
//   tvkit wav decode <in> <out>       the samples as the engine plays them
//   tvkit wav adpcm <in> <out>        16-bit PCM into the ADPCM variant
//   tvkit wav play <file>             through the platform's audio device
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "commands.h"
#include "fs/replace.h"
#include "sound/adpcm.h"
#include "sound/file_sound.h"
#include "sound/mixer.h"
#include "platform/platform_support.h"

namespace {

constexpr uint32_t kDeliveryFrames = 4096;
constexpr uint32_t kPlayBufferMs = 200;
constexpr uint32_t kPlayStepMs = 20;

int Usage() {
  std::fputs(
      "usage: tvkit wav info <file>\n"
      "       tvkit wav decode <in.wav> <out.wav>\n"
      "       tvkit wav adpcm <in.wav> <out.wav>\n"
      "       tvkit wav play <file>\n",
      stderr);
  return ReportError(err::kBadParams);
}

// Every sample of the sound in its own format, as the mixer receives them.
ErrCode DeliverAll(CFileSound& sound, std::vector<uint8_t>* samples) {
  if (ErrCode error = sound.Start()) return error;
  CConverter converter;
  converter.SetGenericOnly(true);
  converter.Update(sound.Format(), sound.Format(), kUnityVolume, kUnityVolume);
  const uint32_t frame = FormatFrameBytes(sound.Format());
  samples->resize(sound.FrameCount() * frame);
  for (uint64_t position = 0; position < sound.FrameCount();) {
    const uint32_t count = static_cast<uint32_t>(
        std::min<uint64_t>(kDeliveryFrames, sound.FrameCount() - position));
    const uint32_t got = sound.DeliverSamples(converter, EConvertOp::kDirect,
                                              position, count,
                                              samples->data() + position * frame);
    if (ErrCode error = sound.Update()) return error;
    if (got < count) return err::kReadFail;
    position += got;
  }
  return err::kOk;
}

// The WAV writer opens its file by name: it writes the copy that then
// replaces the file.
ErrCode Write(const char* path, const CWavWriter::SHeader& header,
              const std::vector<uint8_t>& data) {
  CFileReplace replace;
  replace.BeginNamed(path);
  {
    std::unique_ptr<CWavWriter> writer = CWavWriter::Create(replace.CopyPath(), header);
    if (!writer || !writer->Write(data.data(), data.size())) return err::kWriteFail;
  }
  return replace.Commit();
}

int Info(const char* path) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFileSound> sound = CFileSound::OpenWav(path, &error);
  if (!sound) return ReportError(error);
  std::printf("format=%s rate=%u channels=%u bits=%u samples=%llu\n",
              sound->IsAdpcm() ? "ADPCM" : "PCM", FormatRate(sound->Format()),
              FormatChannels(sound->Format()), FormatBits(sound->Format()),
              static_cast<unsigned long long>(sound->FrameCount()));
  return 0;
}

int Decode(const char* in, const char* out) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFileSound> sound = CFileSound::OpenWav(in, &error);
  if (!sound) return ReportError(error);
  std::vector<uint8_t> samples;
  if ((error = DeliverAll(*sound, &samples))) return ReportError(error);
  CWavWriter::SHeader header;
  header.channels = static_cast<uint16_t>(FormatChannels(sound->Format()));
  header.rate = FormatRate(sound->Format());
  header.bits = static_cast<uint16_t>(FormatBits(sound->Format()));
  if ((error = Write(out, header, samples))) return ReportError(error);
  return 0;
}

int EncodeAdpcm(const char* in, const char* out) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFileSound> sound = CFileSound::OpenWav(in, &error);
  if (!sound) return ReportError(error);
  if (sound->IsAdpcm() || FormatBits(sound->Format()) != 16)
    return ReportError(err::kAdpcmBadFormat);
  std::vector<uint8_t> samples;
  if ((error = DeliverAll(*sound, &samples))) return ReportError(error);
  // Two codes to a byte: an odd last sample is repeated.
  std::vector<int16_t> pcm(samples.size() / 2);
  std::memcpy(pcm.data(), samples.data(), pcm.size() * 2);
  if (pcm.size() % 2) pcm.push_back(pcm.back());
  CAdpcmCodec codec;
  std::vector<uint8_t> codes(pcm.size() / 2);
  codec.Encode(pcm.data(), pcm.size(), codes.data());
  CWavWriter::SHeader header;
  header.format_tag = kAdpcmFormatTag;
  header.channels = static_cast<uint16_t>(FormatChannels(sound->Format()));
  header.rate = FormatRate(sound->Format());
  header.bits = 16;
  header.block_align = 1;
  header.bytes_per_second = header.rate * header.channels / 2;
  if ((error = Write(out, header, codes))) return ReportError(error);
  return 0;
}

// Notes the end of the sound.
class CEndListener final : public CMixerListener {
 public:
  void PostMixerEvent(const SMixerEvent&) override { m_ended = true; }
  bool m_ended = false;
};

// Plays the sound on one mixer channel in its own format (or the nearest
// the device takes) until it and the two buffers queued after it are over,
// or the platform says quit.
int Play(const char* path) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFileSound> sound = CFileSound::OpenWav(path, &error);
  if (!sound) return ReportError(error);
  std::unique_ptr<CPlatform> platform = CPlatform::Create(&error);
  if (!platform) return ReportError(error);
  CEndListener listener;
  CWaveOutMixer mixer(platform.get());
  mixer.SetListener(&listener);
  SoundFormat format = sound->Format();
  if (!mixer.SupportsFormat(format)) format = MakeSoundFormat(22050, 16, 1);
  if ((error = mixer.Open(format, 1, kPlayBufferMs)) ||
      (error = mixer.SetChannelSound(0, sound.get(), 0)) || (error = mixer.Start()))
    return ReportError(error);
  uint32_t ended_at = 0;
  for (bool quit = false; !quit;) {
    platform->WaitMessage(kPlayStepMs);
    SPlatformMessage message;
    while (platform->PeekMessage(&message))
      quit = quit || message.kind == EPlatformMessage::kQuit;
    if ((error = mixer.Process())) return ReportError(error);
    if (listener.m_ended && !ended_at) ended_at = platform->TickCount();
    quit = quit || (ended_at && platform->TickCount() - ended_at > 2 * kPlayBufferMs);
  }
  mixer.Stop();
  return 0;
}

}  // namespace

int RunWav(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "info") == 0) return Info(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "decode") == 0)
    return Decode(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "adpcm") == 0)
    return EncodeAdpcm(argv[2], argv[3]);
  if (argc == 3 && std::strcmp(argv[1], "play") == 0) return Play(argv[2]);
  return Usage();
}
