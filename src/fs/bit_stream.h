// Bit streams of the block codecs: bits are taken from the most significant
// end of each byte first.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/errors.h"

// The 8 bytes at `p` as one big-endian number.
inline uint64_t LoadBigEndian64(const uint8_t* p) {
  uint64_t value;
  std::memcpy(&value, p, sizeof value);
  return __builtin_bswap64(value);
}

// The 64 bits starting at bit `position` of the source, left-aligned; bits
// past the end of the source read as 0.
inline uint64_t PeekBits64(const uint8_t* source, uint32_t length,
                           uint64_t position) {
  const uint64_t byte = position >> 3;
  uint64_t value = 0;
  if (byte + 8 <= length) {
    value = LoadBigEndian64(source + byte);
  } else {
    for (uint64_t i = 0; i < 8; ++i)
      value = value << 8 | (byte + i < length ? source[byte + i] : 0);
  }
  return value << (position & 7);
}

// Writes bits into a buffer of fixed capacity, and keeps the lead: how far
// the output a decoder has produced after a token runs ahead of the bytes it
// has consumed by then. A stream decodes in place from the end of a buffer
// of B bytes when lead + slack <= B - stream length.
class CBitWriter {
 public:
  CBitWriter(uint8_t* destination, uint32_t capacity)
      : m_out(destination), m_capacity(capacity) {}

  // `count` (at most 32) low bits of `value`.
  void Put(uint32_t value, int count) {
    m_bits = m_bits << count | (value & ((uint64_t{1} << count) - 1));
    m_pending += count;
    m_total += count;
    while (m_pending >= 8) {
      m_pending -= 8;
      Byte(static_cast<uint8_t>(m_bits >> m_pending));
    }
  }
  // After a token that ends at output position `output`.
  void Token(uint32_t output) {
    m_lead = std::max(m_lead, static_cast<int64_t>(output) -
                                  static_cast<int64_t>(m_total >> 3));
  }
  uint64_t BitCount() const { return m_total; }
  // Writes the partial last byte, then `padding` zero bytes; answers
  // BUFFERTOOSMALL if anything did not fit, else the length in `*length`.
  ErrCode Finish(uint32_t padding, uint32_t* length) {
    if (m_pending) Byte(static_cast<uint8_t>(m_bits << (8 - m_pending)));
    m_pending = 0;
    while (padding--) Byte(0);
    if (m_overflow) return err::kBufferTooSmall;
    *length = m_written;
    return err::kOk;
  }
  int64_t Lead() const { return m_lead; }

 private:
  void Byte(uint8_t byte) {
    if (m_written < m_capacity)
      m_out[m_written++] = byte;
    else
      m_overflow = true;
  }

  uint8_t* m_out;
  uint32_t m_capacity;
  uint32_t m_written = 0;
  bool m_overflow = false;
  uint64_t m_bits = 0;
  int m_pending = 0;
  uint64_t m_total = 0;
  int64_t m_lead = 0;
};
