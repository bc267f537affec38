// Feeds arbitrary bytes to the tokenizer until the end or its first error,
// over a text in memory and over a stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fs/file.h"
#include "fuzz_machine.h"
#include "script/tokenizer.h"

namespace {

// A stream over the input that hands out a few bytes at a time.
class CChunkFile : public CFile {
 public:
  CChunkFile(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  ErrCode Read(void* buffer, uint32_t length, uint32_t* count) override {
    const size_t n = std::min<size_t>({size_t{length}, m_size - m_pos, size_t{97}});
    std::memcpy(buffer, m_data + m_pos, n);
    m_pos += n;
    *count = static_cast<uint32_t>(n);
    return n ? err::kOk : err::kEof;
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 0;
};

void Drain(CTokenSource* source) {
  source->AttachTable(FuzzTablesMachine().Compiler()->Tokens().Entries());
  uint8_t buffer[kTokenBufferSize];
  while (source->NextToken(buffer, sizeof buffer) == 0) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CTokenizer memory(text.c_str(), text.size());
  Drain(&memory);
  CChunkFile file(data, size);
  CTokenizer stream(&file, "fuzz");
  Drain(&stream);
  return 0;
}
