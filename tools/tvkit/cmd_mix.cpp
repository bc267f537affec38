// tvkit mix: plays WAV files together through the engine's mixer on the
// headless null device and writes what the device received.
//
//   tvkit mix --rate <hz> --bits <8|16> --channels <1|2> --ms <length>
//             <out.wav> <in.wav>[@<left>,<right>[,loop]] ...
//
// Each input gets its own channel; volumes are the mixer's (4096 = unity).
// The mixer runs until the length has been played; the file holds every
// buffer the device received, so it ends on a whole buffer.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "fs/replace.h"
#include "sound/file_sound.h"
#include "sound/mixer.h"
#include "platform/headless_platform.h"

namespace {

constexpr uint16_t kMinChannels = 16;
constexpr uint32_t kBufferMs = 200;
constexpr uint32_t kStepMs = 50;

int Usage() {
  std::fputs(
      "usage: tvkit mix --rate <hz> --bits <8|16> --channels <1|2> --ms <length>\n"
      "                 <out.wav> <in.wav>[@<left>,<right>[,loop]] ...\n",
      stderr);
  return ReportError(err::kBadParams);
}

bool ParseNumber(std::string_view text, uint32_t limit, uint32_t* value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, *value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end &&
         *value <= limit;
}

struct SInput {
  std::string path;
  uint32_t left = kUnityVolume;
  uint32_t right = kUnityVolume;
  bool loop = false;
};

// "<path>[@<left>,<right>[,loop]]"; a path may itself hold '@'.
bool ParseInput(std::string_view text, SInput* input) {
  input->path = std::string(text);
  const size_t at = text.rfind('@');
  if (at == std::string_view::npos) return true;
  std::string_view rest = text.substr(at + 1);
  const size_t comma = rest.find(',');
  if (comma == std::string_view::npos) return false;
  std::string_view right = rest.substr(comma + 1);
  const size_t second = right.find(',');
  if (second != std::string_view::npos) {
    if (right.substr(second + 1) != "loop") return false;
    input->loop = true;
    right = right.substr(0, second);
  }
  input->path = std::string(text.substr(0, at));
  return ParseNumber(rest.substr(0, comma), 0xFFFF, &input->left) &&
         ParseNumber(right, 0xFFFF, &input->right);
}

struct SMix {
  SoundFormat format;
  uint32_t length_ms = 0;
  std::vector<SInput> inputs;
};

// Runs the mixer on the null device, which writes what it receives to `path`
// (closed when the device goes, before the return).
ErrCode MixInto(const std::string& path, const SMix& mix) {
  SHeadlessOptions options;
  options.audio_out_path = path;
  options.idle_quit_ms = UINT32_MAX;
  CHeadlessPlatform platform(options);
  // The sounds outlive the mixer's use of them.
  std::vector<std::unique_ptr<CFileSound>> sounds;
  CWaveOutMixer mixer(&platform);
  const uint16_t channel_count =
      static_cast<uint16_t>(std::max<size_t>(kMinChannels, mix.inputs.size()));
  if (ErrCode error = mixer.Open(mix.format, channel_count, kBufferMs)) return error;
  for (size_t i = 0; i < mix.inputs.size(); ++i) {
    const SInput& input = mix.inputs[i];
    ErrCode error = err::kOk;
    sounds.push_back(CFileSound::OpenWav(input.path.c_str(), &error));
    if (!sounds.back()) return error;
    const uint16_t channel = static_cast<uint16_t>(i);
    if ((error = mixer.SetChannelSound(channel, sounds.back().get(), channel)) ||
        (error = mixer.SetChannelVolume(channel, static_cast<uint16_t>(input.left),
                                        static_cast<uint16_t>(input.right))) ||
        (error = mixer.SetLoop(channel, input.loop)))
      return error;
  }
  if (ErrCode error = mixer.Start()) return error;
  while (platform.TickCount() < mix.length_ms) {
    platform.WaitMessage(kStepMs);
    SPlatformMessage message;
    while (platform.PeekMessage(&message)) {
    }
    if (ErrCode error = mixer.Process()) return error;
  }
  mixer.Stop();
  return err::kOk;
}

}  // namespace

int RunMix(int argc, char** argv) {
  uint32_t rate = 0, bits = 0, channels = 0, length_ms = 0;
  int next = 1;
  for (; next + 1 < argc && std::strncmp(argv[next], "--", 2) == 0; next += 2) {
    const std::string_view option = argv[next];
    uint32_t* value = option == "--rate"       ? &rate
                      : option == "--bits"     ? &bits
                      : option == "--channels" ? &channels
                      : option == "--ms"       ? &length_ms
                                               : nullptr;
    if (!value || !ParseNumber(argv[next + 1], 0xFFFFFF, value)) return Usage();
  }
  if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2) ||
      rate == 0 || argc - next < 2)
    return Usage();
  const char* out_path = argv[next++];
  SMix mix{MakeSoundFormat(rate, bits, channels), length_ms,
           std::vector<SInput>(static_cast<size_t>(argc - next))};
  for (size_t i = 0; i < mix.inputs.size(); ++i)
    if (!ParseInput(argv[next + static_cast<int>(i)], &mix.inputs[i])) return Usage();

  // The device writes the copy that then replaces the output file.
  CFileReplace replace;
  replace.BeginNamed(out_path);
  if (ErrCode error = MixInto(replace.CopyPath(), mix)) return ReportError(error);
  if (ErrCode error = replace.Commit()) return ReportError(error);
  return 0;
}
