// Reads arbitrary bytes as a font file; a font that loads is drawn, its
// lines broken, and it is written and read back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "fs/memory_file.h"
#include "gfx/font.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CMemoryFile file(std::string_view(reinterpret_cast<const char*>(data), size));
  ErrCode error = err::kOk;
  const std::unique_ptr<CFont> font = CFont::Read(&file, &error);
  if (!font) return 0;
  char all[256];
  for (int c = 0; c < 256; ++c) all[c] = static_cast<char>(c);
  const std::string_view text(all, sizeof all);
  std::vector<uint8_t> pixels(64 * 32);
  const SPixelView target{pixels.data(), 64, 64, 32};
  font->DrawText(target, -3, 2, text, 7, TRect{0, 0, 63, 31});
  font->BreakLines(text, 40);
  font->MeasureText(text);

  CMemoryFile copy;
  Check(font->Write(&copy) == err::kOk);
  copy.Seek(0, kSeekSet);
  const std::unique_ptr<CFont> back = CFont::Read(&copy, &error);
  Check(back && back->ByteSize() == font->ByteSize() &&
        back->CharCount() == font->CharCount());
  return 0;
}
