// Feeds arbitrary text to the GIMP palette reader; what it accepts holds 1
// to 256 entries.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "gfx/gpl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CPalette palette;
  if (ParseGpl(std::string_view(reinterpret_cast<const char*>(data), size), &palette)) return 0;
  if (palette.Count() < 1 || palette.Count() > 256) std::abort();
  return 0;
}
