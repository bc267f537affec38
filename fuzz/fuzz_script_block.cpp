// Runs arbitrary bytes as a compiled block through the call protocol with a
// small step budget. The first input byte picks the form: odd, the rest is
// the whole block as stored; even, the next bytes choose a header (sizes,
// result and parameter types, optionally a variable table) and what is left
// is the code. Every position gets an argument that fits any type, so the
// signature the header asks for is always covered.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "world/bindings/bindings.h"
#include "script/bytecode.h"
#include "script/script_array.h"
#include "script/script_call.h"
#include "script/script_string.h"
#include "script/script_ini.h"
#include "script/script_machine.h"
#include "script_fuzz_machine.h"

namespace {

constexpr uint64_t kSteps = 10000;
constexpr size_t kHeaderChoiceSize = 12;
constexpr size_t kArgBufferSize = 300;

// The library's type ids, unknown ids and their address forms.
constexpr uint16_t kTypeChoices[] = {1, 3, 6, 7, 8, 10, 11, 2, 200};


uint16_t TypeOf(uint8_t choice) {
  const uint16_t type = kTypeChoices[(choice & 0x7F) % std::size(kTypeChoices)];
  return choice & 0x80 ? type | kAddrFlag : type;
}

// A stored block from the header choices and the code bytes.
std::vector<uint8_t> BuildBlock(const uint8_t* data, size_t size) {
  const uint8_t* choice = data;
  const uint8_t* code = data + kHeaderChoiceSize;
  const size_t code_size = size - kHeaderChoiceSize;
  const bool table = choice[0] & 1;
  const uint16_t param_count = choice[1] % 6;
  const size_t table_size = table ? 140 + 40 * (choice[2] % 4) : 0;
  std::vector<uint8_t> block(kBlockHeaderSize + table_size + code_size, 0);
  block[0] = kBlockMagic;
  block[1] = table;
  PutLe32(&block[kHeaderParamAreaOffset], choice[3]);
  PutLe32(&block[kHeaderStackSizeOffset], GetLe16(choice + 4));
  // Mostly the true code size; sometimes one that claims more.
  PutLe32(&block[kHeaderCodeSizeOffset],
         static_cast<uint32_t>(code_size + (choice[6] == 0xFF ? 1 : 0)));
  const uint16_t result = choice[7] & 1 ? TypeOf(choice[7] >> 1) | kAddrFlag : kVoidType;
  PutLe16(&block[kHeaderResultOffset], result);
  for (uint16_t i = 0; i < param_count; ++i)
    PutLe16(&block[kHeaderParamsOffset + 2 * i], TypeOf(static_cast<uint8_t>(choice[8 + i % 4] + i)));
  PutLe16(&block[kHeaderParamCountOffset], choice[1] == 0xFF ? 17 : param_count);
  if (table) PutLe16(&block[kBlockHeaderSize + 128], choice[2] % 4);
  if (code_size) std::memcpy(&block[kBlockHeaderSize + table_size], code, code_size);
  return block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  CScriptMachine& machine = FuzzMachine(kSteps);
  std::vector<uint8_t> block;
  if (data[0] & 1) {
    block.assign(data + 1, data + size);
  } else {
    if (size < 1 + kHeaderChoiceSize) return 0;
    block = BuildBlock(data + 1, size - 1);
  }

  // One argument per possible position: value bytes for the value types, a
  // text for pstr and str, a buffer for every address position.
  char buffers[kMaxArgs + 1][kArgBufferSize] = {};
  SCallArg args[kMaxArgs + 1];
  for (size_t i = 0; i < std::size(args); ++i) {
    std::memcpy(buffers[i], "text", 5);
    args[i].value[0] = static_cast<uint8_t>(i + 1);
    args[i].text = "arg";
    args[i].pointer = buffers[i];
    args[i].size = kArgBufferSize;
  }
  SRunOutcome outcome;
  CallBlock(machine, block.data(), block.size(), args, &outcome);
  machine.Arrays().Clear();
  machine.Inis().Clear();
  // Strings a failed run left on its stack are unreachable now.
  StrFreeAll();
  return 0;
}
