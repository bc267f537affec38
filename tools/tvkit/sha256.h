// SHA-256 (FIPS 180-2): the build cache's keys.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class CSha256 {
 public:
  CSha256();
  void Update(std::string_view bytes);
  // The digest of everything given; the object is spent afterwards.
  std::array<uint8_t, 32> Final();
  // Final() as 64 lower-case hexadecimal digits.
  std::string FinalHex();

 private:
  void Compress(const uint8_t* block);

  std::array<uint32_t, 8> m_state;
  uint8_t m_block[64] = {};
  size_t m_filled = 0;
  uint64_t m_length = 0;  // bytes given so far
};
