// Compiles arbitrary text with a few fixed signatures (the first input byte
// picks one) and runs what compiles with a small step budget. The stack size
// the compiler writes must hold every run: STACK_LIMITS is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "world/bindings/bindings.h"
#include "script/script_array.h"
#include "script/script_call.h"
#include "script/script_ini.h"
#include "script/script_machine.h"
#include "script/script_string.h"
#include "script_fuzz_machine.h"

namespace {

constexpr uint64_t kSteps = 10000;

const char* const kSignatures[] = {"void", "int", "bool, int* x, int* y", "void, str s"};


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  CScriptMachine& machine = FuzzMachine(kSteps);
  const size_t which = data[0] % std::size(kSignatures);
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  SCodeBlock block;
  const bool compiled = machine.CompileText(text.c_str(), kSignatures[which], &block);
  machine.TakeErrorLog();
  if (!compiled) return 0;

  int32_t result = 0;
  int32_t x = 3;
  int32_t y = -4;
  const SCallArg int_args[] = {SCallArg::Ref(&result)};
  const SCallArg point_args[] = {SCallArg::Ref(&result), SCallArg::Ref(&x), SCallArg::Ref(&y)};
  const SCallArg text_args[] = {SCallArg::Text("fuzz")};
  const std::span<const SCallArg> args[] = {{}, int_args, point_args, text_args};
  SRunOutcome outcome;
  CallBlock(machine, block.data, block.size, args[which], &outcome);
  if (outcome.error == err::kStackLimits) std::abort();
  machine.Arrays().Clear();
  StrFreeAll();  // what a failed run left on its stack
  machine.Inis().Clear();
  return 0;
}
