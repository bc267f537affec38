// Opens arbitrary bytes as a compressed file and reads it at positions taken
// from the input's tail; a small file that opened is also written in the
// middle, flushed and read back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fs/compressed_file.h"
#include "fs/memory_file.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

uint32_t Le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  // Files with huge blocks only cost time.
  if (size >= 12 && Le32(data + 8) > (1u << 20)) return 0;
  auto bytes = std::make_shared<std::string>(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<CFile> file = OpenCompressed(std::make_unique<CMemoryFile>(bytes));
  auto* compressed = KindOf<CCompressedFile>(file.get());
  if (!compressed || compressed->StateWord() != 1) return 0;
  const uint32_t file_size = file->GetSize();
  std::vector<uint8_t> buffer(4096);
  for (size_t i = 0; i + 4 <= size && i < 64; i += 4) {
    const uint32_t position = file_size ? Le32(data + size - 4 - i) % (file_size + 16) : 0;
    const uint32_t length = data[i] * 16u;
    uint32_t count = 0;
    if (file->ReadAt(buffer.data(), position, length, &count) == err::kOk)
      Check(count <= length && position + count <= file_size);
  }
  if (file_size == 0 || file_size > 65536) return 0;
  // Writing needs the whole file readable.
  std::vector<uint8_t> all(file_size);
  if (file->ReadAt(all.data(), 0, file_size, nullptr) != err::kOk) return 0;
  const uint32_t middle = file_size / 2;
  const uint32_t part = std::min<uint32_t>(static_cast<uint32_t>(size), file_size - middle);
  if (file->WriteAt(data, middle, part, nullptr) != err::kOk) return 0;
  std::memcpy(all.data() + middle, data, part);
  Check(file->Flush() == err::kOk);
  file.reset();
  std::unique_ptr<CFile> again = OpenCompressed(std::make_unique<CMemoryFile>(bytes));
  std::vector<uint8_t> back(file_size);
  Check(again->StateWord() == 1 && again->GetSize() == file_size);
  Check(again->ReadAt(back.data(), 0, file_size, nullptr) == err::kOk);
  Check(back == all);
  return 0;
}
