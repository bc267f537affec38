// The headless back end's reader of its input file: whatever it accepts is
// whole frames of the file's own bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/platform_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> samples;
  if (!ReadPcmWav({data, size}, kAudioInputFormat, &samples)) return 0;
  if (samples.size() % kAudioInputFormat.FrameBytes() != 0 || samples.size() + kWavHeaderSize > size)
    __builtin_trap();
  return 0;
}
