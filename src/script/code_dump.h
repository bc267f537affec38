// The instruction dump: one text line per instruction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct SCodeDump {
  std::string text;    // the "%lu: %s" lines
  size_t count = 0;    // instructions dumped
  bool stopped = false;  // ended at an undumpable or invalid opcode
  uint8_t opcode = 0;    // that opcode
};

// Dumps up to `limit` instructions of `code` from offset `start`.
SCodeDump DumpCode(const uint8_t* code, size_t size, size_t start, size_t limit);
