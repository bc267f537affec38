// Compile speed on generated script text: many handlers' worth of blocks
// with declarations, loops, conditions, calls and string operations, at 1x,
// 4x and 16x the base size. The tokenizer alone over the same text is the
// yardstick: the compiler's own share is what it adds on top.
#include <benchmark/benchmark.h>

#include <string>

#include "script/script_machine.h"
#include "script/tokenizer.h"

namespace {

constexpr int kBaseBlocks = 500;

std::string Source(int blocks) {
  std::string text;
  for (int i = 0; i < blocks; ++i) {
    text += "{\n  int i = 0, n = " + std::to_string(i % 50 + 1) + ";\n";
    text +=
        "  str s = \"abc\";\n"
        "  float f = 1.5;\n"
        "  while i < n do {\n"
        "    i = i + 1;\n"
        "    if i == 5 then s = s + \"x\"; else Write(i * 2 - 1);\n"
        "    if NOT (i < 3) && f > 0.5 then continue;\n"
        "    f = f * 2.0 + i;\n"
        "  }\n"
        "  if StrCmp(s, \"abcx\") == 0 then Write(s);\n"
        "}\n";
  }
  return text;
}

CScriptMachine& Machine() {
  static CScriptMachine* machine = [] {
    auto* created = new CScriptMachine;
    created->Init({});
    return created;
  }();
  return *machine;
}

void BM_Compile(benchmark::State& state) {
  const std::string text = Source(kBaseBlocks * static_cast<int>(state.range(0)));
  CScriptMachine& machine = Machine();
  for (auto _ : state) {
    SCodeBlock block;
    if (!machine.CompileText(text.c_str(), "void, int x, int y, str name", &block))
      state.SkipWithError(machine.TakeErrorLog().c_str());
    benchmark::DoNotOptimize(block.data);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["source_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_Compile)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_TokenizeOnly(benchmark::State& state) {
  const std::string text = Source(kBaseBlocks * static_cast<int>(state.range(0)));
  const STokenEntry* table = Machine().Compiler()->Tokens().Entries();
  for (auto _ : state) {
    CTokenizer tokenizer(text.c_str(), text.size());
    tokenizer.AttachTable(table);
    uint8_t buffer[kTokenBufferSize];
    size_t tokens = 0;
    while (tokenizer.NextToken(buffer, sizeof buffer) == 0) ++tokens;
    benchmark::DoNotOptimize(tokens);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_TokenizeOnly)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
