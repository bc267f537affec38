// Little-endian integers in byte buffers. Every file format of the engine
// stores its numbers this way whatever the host's order; the loads and
// stores go through memcpy so that unaligned positions are fine and the
// compiler makes single moves of them.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace byte_order_detail {

template <class T>
T FromLittle(T value) {
  if constexpr (std::endian::native == std::endian::big) {
    if constexpr (sizeof(T) == 2) return static_cast<T>(__builtin_bswap16(value));
    else return static_cast<T>(__builtin_bswap32(value));
  }
  return value;
}

}  // namespace byte_order_detail

inline uint16_t GetLe16(const uint8_t* at) {
  uint16_t value;
  std::memcpy(&value, at, 2);
  return byte_order_detail::FromLittle(value);
}

inline uint32_t GetLe32(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, 4);
  return byte_order_detail::FromLittle(value);
}

inline void PutLe16(uint8_t* at, uint16_t value) {
  value = byte_order_detail::FromLittle(value);
  std::memcpy(at, &value, 2);
}

inline void PutLe32(uint8_t* at, uint32_t value) {
  value = byte_order_detail::FromLittle(value);
  std::memcpy(at, &value, 4);
}

// Appends to a growing byte container (std::vector<uint8_t>, std::string).
template <class Bytes>
void AppendLe16(Bytes* out, uint16_t value) {
  uint8_t bytes[2];
  PutLe16(bytes, value);
  out->insert(out->end(), bytes, bytes + 2);
}

template <class Bytes>
void AppendLe32(Bytes* out, uint32_t value) {
  uint8_t bytes[4];
  PutLe32(bytes, value);
  out->insert(out->end(), bytes, bytes + 4);
}
