// Decodes arbitrary bytes as an LZIS block (the first byte picks the output
// capacity), then checks that the encoder's stream for the same bytes, at a
// level the first byte picks, decodes back to them.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fs/lzis.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 65536) return 0;
  const uint32_t capacity = data[0] * 128u;
  const std::vector<uint8_t> stream(data + 1, data + size);
  std::vector<uint8_t> out(capacity);
  uint32_t length = capacity;
  const ErrCode error =
      LzisDecode(stream.data(), static_cast<uint32_t>(stream.size()), out.data(), &length);
  Check(error != err::kOk || length <= capacity);

  const auto n = static_cast<uint32_t>(stream.size());
  std::vector<uint8_t> encoded(n * 2 + 300);
  uint32_t encoded_length = static_cast<uint32_t>(encoded.size());
  const auto level = static_cast<uint8_t>(data[0] % 3 + 1);
  Check(LzisEncode(level, stream.data(), n, encoded.data(), &encoded_length, nullptr) ==
        err::kOk);
  encoded.resize(encoded_length);
  // One spare byte keeps the buffer real for empty input.
  std::vector<uint8_t> back(n + 1);
  uint32_t back_length = n;
  Check(LzisDecode(encoded.data(), encoded_length, back.data(), &back_length) == err::kOk);
  back.resize(n);
  Check(back_length == n && back == stream);
  return 0;
}
