// Feeds arbitrary bytes to the RLM animation reader and plays them: every
// frame in order up to the last one, once more with a tight read limit, and
// then backwards with looping on, so restarts and chunk changes are taken.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fs/memory_file.h"
#include "gfx/anim.h"

namespace {

// Frames up to 64 K pixels and 200 frames: enough for every path, small
// enough to keep the runs fast.
constexpr uint32_t kMaxPixels = 1u << 16;
constexpr uint32_t kMaxFrames = 200;

void Play(std::span<const uint8_t> bytes, uint32_t read_limit, bool backwards) {
  CAnimReader reader;
  reader.SetReadLimit(read_limit);
  if (reader.OpenFile(std::make_unique<CMemoryFile>(bytes))) return;
  reader.SetLoop(backwards);
  const uint32_t frames = std::min(reader.FrameCount(), kMaxFrames);
  for (uint32_t i = 0; i < frames + 1; ++i) {
    const uint32_t time = backwards ? frames - i : i;
    // Several updates at one time, as a reader that fell behind catches up.
    for (int update = 0; update < 4; ++update) {
      if (!reader.ShowTime(time)) return;
      if (!reader.FrameChanged()) break;
      const TRect& changed = reader.GetChangedRect();
      if (changed.right >= reader.Width() || changed.bottom >= reader.Height()) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 8) {
    const uint32_t width = data[4] | data[5] << 8;
    const uint32_t height = data[6] | data[7] << 8;
    if (width * height > kMaxPixels) return 0;
  }
  const std::span<const uint8_t> bytes(data, size);
  Play(bytes, CAnimReader::kDefaultReadLimit, false);
  Play(bytes, 64, false);
  Play(bytes, CAnimReader::kDefaultReadLimit, true);
  return 0;
}
