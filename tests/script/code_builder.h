// Expected instruction bytes, written instruction by instruction.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

class CCode {
 public:
  CCode& Call(uint16_t f) { return Op(10).U16(f); }
  CCode& PushA(uint32_t st) { return Op(12).U32(st); }
  CCode& PushE(uint16_t idx) { return Op(13).U16(idx); }
  CCode& ConsV(uint16_t f) { return Op(14).U16(f); }
  CCode& ConsI(uint16_t f, int32_t v) { return Op(15).U16(f).U32(static_cast<uint32_t>(v)); }
  CCode& ConsF(uint16_t f, double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, 8);
    return Op(16).U16(f).U32(static_cast<uint32_t>(bits)).U32(static_cast<uint32_t>(bits >> 32));
  }
  CCode& ConsS(uint16_t f, const std::string& text) {
    Op(17).U16(f);
    m_bytes.insert(m_bytes.end(), text.begin(), text.end());
    return Op(0);
  }
  CCode& ConsA(uint16_t f, uint32_t st) { return Op(18).U16(f).U32(st); }
  CCode& ConsE(uint16_t f, uint16_t idx) { return Op(19).U16(f).U16(idx); }
  CCode& Jump(int32_t off) { return Op(20).U32(static_cast<uint32_t>(off)); }
  CCode& JFalse(uint16_t f, int32_t off) { return Op(21).U16(f).U32(static_cast<uint32_t>(off)); }
  CCode& End() { return Op(23); }
  CCode& Line(uint32_t line) { return Op(24).U32(line); }
  CCode& ConsB(uint16_t f, bool v) { return Op(25).U16(f).Op(v ? 1 : 0); }
  CCode& ConsD(uint16_t f) { return Op(26).U16(f); }
  CCode& Null() { return Op(27); }
  CCode& DbgCall(uint16_t f, int32_t change) {
    return Op(11).U16(f).U32(static_cast<uint32_t>(change));
  }
  // Bytes of malformed code.
  CCode& Raw(std::initializer_list<uint8_t> bytes) {
    m_bytes.insert(m_bytes.end(), bytes);
    return *this;
  }
  CCode& U16(uint16_t v) { return Op(static_cast<uint8_t>(v)).Op(static_cast<uint8_t>(v >> 8)); }
  const std::vector<uint8_t>& Bytes() const { return m_bytes; }

 private:
  CCode& Op(uint8_t b) {
    m_bytes.push_back(b);
    return *this;
  }
  CCode& U32(uint32_t v) { return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16)); }
  std::vector<uint8_t> m_bytes;
};
