#include "script/code_dump.h"

#include <cstdio>
#include <cstring>

#include "script/bytecode.h"

namespace {

// The text of the instruction at `at`, or false when it is not dumpable or
// runs past the end of the code; `length` receives its size.
bool InstructionText(const uint8_t* at, size_t left, char* text, size_t size,
                     size_t* length) {
  const uint8_t op = at[0] & 0x7F;
  const auto need = [&](size_t n) {
    *length = n;
    return left >= n;
  };
  const auto f = [&] { return static_cast<int>(GetLe16(at + 1)); };
  switch (op) {
    case kOpCall:
      if (!need(kCallLength)) return false;
      std::snprintf(text, size, "CALL\t\tf:%d\n", f());
      return true;
    case kOpDbgCall:
      if (!need(7)) return false;
      std::snprintf(text, size, "DBG_CALL\t\tf:%d, st:%d\n", f(),
                    static_cast<int>(GetLe32(at + 3)));
      return true;
    case kOpPushA:
      if (!need(kPushALength)) return false;
      std::snprintf(text, size, "PUSH_A\t\tst:%d\n", static_cast<int>(GetLe32(at + 1)));
      return true;
    case kOpPushE:
      if (!need(kPushELength)) return false;
      std::snprintf(text, size, "PUSH_E\t\tidx:%d\n", f());
      return true;
    case kOpConsV:
      if (!need(kCallLength)) return false;
      std::snprintf(text, size, "CONS_V\t\tf:%d\n", f());
      return true;
    case kOpConsI:
      if (!need(kConsILength)) return false;
      std::snprintf(text, size, "CONS_I\t\tf:%d, %d\n", f(), static_cast<int>(GetLe32(at + 3)));
      return true;
    case kOpConsF: {
      if (!need(kConsFLength)) return false;
      double value = 0;
      std::memcpy(&value, at + 3, 8);
      std::snprintf(text, size, "CONS_F\t\tf:%d, %f\n", f(), value);
      return true;
    }
    case kOpConsS: {
      if (!need(3)) return false;
      const void* nul = std::memchr(at + 3, 0, left - 3);
      if (!nul) return false;
      *length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - at) + 1;
      std::snprintf(text, size, "CONS_S\t\tf:%d, \"%s\"\n", f(),
                    reinterpret_cast<const char*>(at + 3));
      return true;
    }
    case kOpConsA:
      if (!need(kConsALength)) return false;
      std::snprintf(text, size, "CONS_A\t\tf:%d, st:%d\n", f(), static_cast<int>(GetLe32(at + 3)));
      return true;
    case kOpConsE:
      if (!need(kConsELength)) return false;
      std::snprintf(text, size, "CONS_E\t\tf:%d, idx:%d\n", f(), static_cast<int>(GetLe16(at + 3)));
      return true;
    case kOpJump:
      if (!need(kJumpLength)) return false;
      std::snprintf(text, size, "JUMP\t\tcodeoff:%d\n", static_cast<int32_t>(GetLe32(at + 1)));
      return true;
    case kOpJFalse:
    case kOpJTrue:
      if (!need(kJFalseLength)) return false;
      std::snprintf(text, size, "%s\t\tf:%d, codeoff:%d\n", op == kOpJFalse ? "JFALSE" : "JTRUE",
                    f(), static_cast<int32_t>(GetLe32(at + 3)));
      return true;
    case kOpSrcLine:
      if (!need(kSrcLineLength)) return false;
      std::snprintf(text, size, "\n\tSRC_LINE - %d\n", static_cast<int>(GetLe32(at + 1)));
      return true;
    case kOpConsB:
      if (!need(kConsBLength)) return false;
      std::snprintf(text, size, "CONS_B\t\tf:%d, %s\n", f(), at[3] ? "true" : "false");
      return true;
    default:
      break;
  }
  // END and NULL_INSTR have no 0x80 form.
  if (at[0] == kOpEnd && need(1)) {
    std::snprintf(text, size, "END\n");
    return true;
  }
  if (at[0] == kOpNullInstr && need(1)) {
    std::snprintf(text, size, "NULL_INSTR\n");
    return true;
  }
  return false;
}

}  // namespace

SCodeDump DumpCode(const uint8_t* code, size_t size, size_t start, size_t limit) {
  SCodeDump dump;
  size_t at = start;
  while (at < size && dump.count < limit) {
    char text[512];
    size_t length = 0;
    if (!InstructionText(code + at, size - at, text, sizeof text, &length)) {
      dump.stopped = true;
      dump.opcode = code[at];
      break;
    }
    char line[600];
    std::snprintf(line, sizeof line, "%lu: %s", static_cast<unsigned long>(at), text);
    dump.text += line;
    ++dump.count;
    at += length;
  }
  return dump;
}
