// Little-endian 32-bit words of a file image, read, written and built by
// byte offset, for tests that check a format byte for byte.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/byte_order.h"

inline uint32_t WordAt(const std::string& bytes, size_t offset) {
  return GetLe32(reinterpret_cast<const uint8_t*>(bytes.data()) + offset);
}

// The words at `offsets`.
inline std::vector<uint32_t> Words(const std::string& bytes,
                                   std::initializer_list<size_t> offsets) {
  std::vector<uint32_t> words;
  for (size_t offset : offsets) words.push_back(WordAt(bytes, offset));
  return words;
}

inline void PutWord(std::string* bytes, size_t offset, uint32_t value) {
  PutLe32(reinterpret_cast<uint8_t*>(bytes->data()) + offset, value);
}

inline std::string Le32(uint32_t value) {
  std::string out;
  AppendLe32(&out, value);
  return out;
}
