// Preprocesses arbitrary text until its end or the first error. Includes
// find no files: no file system is mounted.
#include <cstdint>
#include <string>

#include "fuzz_machine.h"
#include "script/preprocessor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CPreprocessor preprocessor("fuzz", "inc;other",
                             FuzzTablesMachine().Compiler()->Tokens().Entries());
  if (preprocessor.StartText(text.c_str()) != 0) return 0;
  uint8_t buffer[kTokenBufferSize];
  while (preprocessor.NextToken(buffer, sizeof buffer) == 0) {
  }
  return 0;
}
