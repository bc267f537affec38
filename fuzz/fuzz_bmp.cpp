// Feeds arbitrary bytes to the BMP reader, with compressed pixels decoded at
// load and lazily, touches every pixel of what it accepts, and writes it back
// out: the written file must read back with the same pixels.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fs/memory_file.h"
#include "gfx/bmp.h"

namespace {

void Check(const CBitmap& bitmap) {
  CBitmapLock lock(bitmap);
  if (!lock) return;
  uint32_t sum = 0;
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width() * bitmap.Bits() / 8; ++x) sum += lock.View().Row(y)[x];
  if (sum == 0xFFFFFFFF) std::abort();  // keeps the reads
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (bool at_load : {true, false}) {
    SetBmpDecodeAtLoad(at_load);
    CMemoryFile file(std::span<const uint8_t>(data, size));
    ErrCode error = err::kOk;
    std::unique_ptr<CBitmap> bitmap = ReadBmp(&file, &error, false);
    if (!bitmap) continue;
    Check(*bitmap);
    CMemoryFile out;
    if (WriteBmp(&out, *bitmap, kTopDown)) continue;
    out.Seek(0, kSeekSet);
    std::unique_ptr<CBitmap> back = ReadBmp(&out, &error, false);
    if (!back || back->Width() != bitmap->Width() || back->Height() != bitmap->Height())
      std::abort();
    for (int y = 0; y < bitmap->Height(); y += 7)
      for (int x = 0; x < bitmap->Width(); x += 5)
        if (back->GetPixel(x, y) != bitmap->GetPixel(x, y)) std::abort();
  }
  SetBmpDecodeAtLoad(false);
  return 0;
}
