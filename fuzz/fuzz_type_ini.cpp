// Loads arbitrary bytes as the type-system INI description.
#include <cstdint>
#include <string_view>

#include "fs/memory_file.h"
#include "script/type_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CMemoryFile file(std::string_view(reinterpret_cast<const char*>(data), size));
  CScriptCompiler::FromIni(&file);
  return 0;
}
