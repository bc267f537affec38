// Feeds arbitrary bytes to the decoration board's file reader. What it
// accepts is written back and read again: the same pieces, byte for byte
// the same file up to the pieces' end.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "world/decoration.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<SDecorationRecord> records;
  if (ReadDecorationRecords(std::span(data, size), &records) != err::kOk) {
    if (!records.empty()) std::abort();
    return 0;
  }
  const std::vector<uint8_t> written = WriteDecorationRecords(records);
  std::vector<SDecorationRecord> again;
  if (ReadDecorationRecords(written, &again) != err::kOk || again.size() != records.size())
    std::abort();
  for (size_t i = 0; i < records.size(); ++i)
    if (again[i].x != records[i].x || again[i].y != records[i].y || again[i].name != records[i].name ||
        records[i].name.size() >= kDecorationNameSize)
      std::abort();
  // Names end at their NUL: what follows it in the input may differ.
  if (written.size() > size || std::memcmp(written.data(), data, 8) != 0) std::abort();
  return 0;
}
