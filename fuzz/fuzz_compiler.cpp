// Compiles arbitrary text against the engine's tables with a few fixed
// signatures; the first input byte picks the signature.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_machine.h"

namespace {

const char* const kSignatures[] = {"void", "bool, int x", "int, int* a, str s",
                                   "void, int, int, str", "float, TRect* rc, TPoint p, bool b"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char* signature = kSignatures[data[0] % (sizeof kSignatures / sizeof kSignatures[0])];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  SCodeBlock block;
  FuzzTablesMachine().CompileText(text.c_str(), signature, &block);
  FuzzTablesMachine().TakeErrorLog();
  return 0;
}
