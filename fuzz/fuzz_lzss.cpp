// Decodes arbitrary bytes as an LZSS block (the first byte picks the bit
// lengths, the second the output capacity), then checks that the encoder's
// stream for the same bytes decodes back to them.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fs/lzss.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

constexpr uint8_t kParameters[] = {0xA1, 0xA5, 0xB2, 0xB4, 0xC1, 0xC3, 0xC4, 0xC5};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 65536) return 0;
  const uint8_t parameter = data[0];
  const uint32_t capacity = data[1] * 64u;
  const std::vector<uint8_t> stream(data + 2, data + size);
  std::vector<uint8_t> out(capacity);
  uint32_t length = capacity;
  const ErrCode error = LzssDecode(parameter, stream.data(),
                                   static_cast<uint32_t>(stream.size()), out.data(), &length);
  Check(error != err::kOk || length <= capacity);

  const uint8_t known = kParameters[parameter % 8];
  const auto n = static_cast<uint32_t>(stream.size());
  std::vector<uint8_t> encoded(n * 9 / 8 + 2);
  uint32_t encoded_length = static_cast<uint32_t>(encoded.size());
  Check(LzssEncode(known, stream.data(), n, encoded.data(), &encoded_length, nullptr) ==
        err::kOk);
  encoded.resize(encoded_length);
  // One spare byte keeps the buffer real for empty input.
  std::vector<uint8_t> back(n + 1);
  uint32_t back_length = n;
  Check(LzssDecode(known, encoded.data(), encoded_length, back.data(), &back_length) ==
        err::kOk);
  back.resize(n);
  Check(back_length == n && back == stream);
  return 0;
}
