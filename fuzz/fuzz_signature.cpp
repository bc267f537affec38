// Parses arbitrary text as a handler signature and as a registered
// function's signature.
#include <cstdint>
#include <string>

#include "fuzz_machine.h"
#include "script/compiler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const CScriptCompiler& tables = *FuzzTablesMachine().Compiler();
  SParamInfo info;
  ParseSignature(tables, text.c_str(), true, &info);
  ParseSignature(tables, text.c_str(), false, &info);
  return 0;
}
