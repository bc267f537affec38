// tvkit script: compiles or runs a script with the engine's registrations,
// or prints the tables the engine's scripts compile against.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/random.h"
#include "commands.h"
#include "fs/file_service.h"
#include "fs/replace.h"
#include "world/bindings/bindings.h"
#include "script/bytecode.h"
#include "script/code_dump.h"
#include "script/library.h"
#include "script/script_call.h"
#include "script/script_machine.h"
#include "script/script_string.h"
#include "script/value_text.h"

namespace {

int Usage() {
  std::fputs(
      "usage: tvkit script compile --sig \"<signature>\" <file> [-o <block file>] [--dump]\n"
      "       tvkit script run --sig \"<signature>\" <file> [--steps <n>] [<arg> ...]\n"
      "       tvkit script types\n"
      "       tvkit script natives\n",
      stderr);
  return ReportError(err::kBadParams);
}

ErrCode ReadText(const char* path, std::string* text) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> file = FsOpen(path, kOpenRead | kOpenShareRead, &error);
  if (!file) return error;
  text->resize(file->GetSize());
  uint32_t count = 0;
  if (ErrCode read = file->Read(text->data(), static_cast<uint32_t>(text->size()), &count))
    return read;
  text->resize(count);
  return err::kOk;
}

// Reads the script and starts a machine with the engine's registrations
// for its signature.
ErrCode Prepare(const char* source, const char* signature, std::string* text,
                CScriptMachine* machine, SParamInfo* params) {
  if (ErrCode error = ReadText(source, text)) return error;
  if (ErrCode error = machine->Init(kWorldModules)) return error;
  if (!ParseSignature(*machine->Compiler(), signature, true, params)) return err::kBadParamString;
  return err::kOk;
}

ErrCode WriteBlock(const char* path, const SCodeBlock& block) {
  return ReplaceFileContents(
      path, std::string_view(reinterpret_cast<const char*>(block.data), block.size));
}

int Compile(int argc, char** argv) {
  const char* signature = nullptr;
  const char* source = nullptr;
  const char* output = nullptr;
  bool dump = false;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sig") == 0 && i + 1 < argc) signature = argv[++i];
    else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) output = argv[++i];
    else if (std::strcmp(argv[i], "--dump") == 0) dump = true;
    else if (!source) source = argv[i];
    else return Usage();
  }
  if (!signature || !source) return Usage();
  std::string text;
  CScriptMachine machine;
  SParamInfo params;
  if (ErrCode error = Prepare(source, signature, &text, &machine, &params))
    return ReportError(error);
  SCodeBlock block;
  const bool compiled = machine.CompileText(text.c_str(), signature, &block);
  // The diagnostics stay in the tool's output, not in a comp_err.txt.
  const std::string log = machine.TakeErrorLog();
  if (!compiled) {
    std::fwrite(log.data(), 1, log.size(), stderr);
    return 1;
  }
  if (output)
    if (ErrCode error = WriteBlock(output, block)) return ReportError(error);
  if (dump) {
    const SCodeDump lines = DumpCode(block.data + kBlockHeaderSize,
                                     block.size - kBlockHeaderSize, 0, block.size);
    std::fwrite(lines.text.data(), 1, lines.text.size(), stdout);
  }
  return 0;
}

// Collects what the log receives while a script runs.
class CLogCapture : public CLogSink {
 public:
  explicit CLogCapture(std::string* text) : m_text(text) {}
  void Write(std::string_view text) override { m_text->append(text); }

 private:
  std::string* m_text;
};

// One position of the signature: the variable the call reads and writes.
struct SRunValue {
  uint16_t type = 0;
  const char* name = "";
  uint8_t bytes[8] = {};
  std::string text;
  char buffer[kMaxStrLength + 1] = {};
  bool null_text = false;
};

bool ParseInts(const char* text, int count, int32_t* out) {
  char* end = nullptr;
  for (int i = 0; i < count; ++i) {
    out[i] = static_cast<int32_t>(std::strtol(text, &end, 10));
    if (end == text) return false;
    text = end;
    if (i + 1 < count) {
      if (*text != ',') return false;
      ++text;
    }
  }
  return *text == '\0';
}

// Converts a command-line argument by the position's type id.
bool ParseValue(uint16_t id, const char* text, SRunValue* value) {
  int32_t words[4] = {};
  switch (id) {
    case lib::kInt:
      if (!ParseInts(text, 1, words)) return false;
      std::memcpy(value->bytes, words, 4);
      return true;
    case lib::kFloat: {
      char* end = nullptr;
      const double number = std::strtod(text, &end);
      if (end == text || *end) return false;
      std::memcpy(value->bytes, &number, 8);
      return true;
    }
    case lib::kBool:
      if (!std::strcmp(text, "1") || !std::strcmp(text, "true")) value->bytes[0] = 1;
      else if (std::strcmp(text, "0") && std::strcmp(text, "false")) return false;
      return true;
    case lib::kPoint:
    case lib::kRect: {
      const int count = id == lib::kPoint ? 2 : 4;
      if (!ParseInts(text, count, words)) return false;
      for (int i = 0; i < count; ++i) {
        const auto half = static_cast<int16_t>(words[i]);
        std::memcpy(value->bytes + 2 * i, &half, 2);
      }
      return true;
    }
    case lib::kPstr:
    case lib::kStr:
      value->text = text;
      std::snprintf(value->buffer, sizeof value->buffer, "%s", text);
      return true;
    default:
      return false;
  }
}

SCallArg ArgumentOf(SRunValue& value) {
  const uint16_t id = value.type & 0xFF;
  if (IsAddress(value.type)) {
    if (id == lib::kPstr || id == lib::kStr) {
      SCallArg arg = SCallArg::Buffer(value.buffer, sizeof value.buffer);
      if (id == lib::kStr) arg.null_out = &value.null_text;
      return arg;
    }
    return SCallArg::Ref(value.bytes);
  }
  if (id == lib::kPstr || id == lib::kStr) return SCallArg::Text(value.text.c_str());
  SCallArg arg;
  std::memcpy(arg.value, value.bytes, sizeof arg.value);
  return arg;
}

std::string PrintValue(const SRunValue& value) {
  SValueView view{TypeId(value.type), value.bytes, std::nullopt};
  if ((view.type == lib::kPstr || view.type == lib::kStr) && !value.null_text)
    view.text = value.buffer;
  return ValueText(view);
}

int Run(int argc, char** argv) {
  const char* signature = nullptr;
  const char* source = nullptr;
  std::vector<const char*> values;
  uint64_t steps = kDefaultStepLimit;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sig") == 0 && i + 1 < argc) signature = argv[++i];
    else if (std::strcmp(argv[i], "--steps") == 0 && i + 1 < argc)
      steps = std::strtoull(argv[++i], nullptr, 10);
    else if (!source) source = argv[i];
    else values.push_back(argv[i]);
  }
  if (!signature || !source) return Usage();
  if (SeedEngineRandomAtStart() != err::kOk) {
    std::fprintf(stderr, "error: %s\n", kSeedError);
    return 1;
  }
  std::string text;
  CScriptMachine machine;
  machine.Calls().step_limit = steps;
  SParamInfo params;
  if (ErrCode error = Prepare(source, signature, &text, &machine, &params))
    return ReportError(error);
  if (values.size() != params.count) return Usage();
  std::vector<SRunValue> positions(params.count + 1);
  positions[0].type = params.result;
  for (uint16_t i = 0; i < params.count; ++i) {
    SRunValue& value = positions[i + 1];
    value.type = params.params[i].type;
    value.name = params.params[i].name;
    if (!ParseValue(value.type & 0xFF, values[i], &value)) return Usage();
  }
  std::vector<SCallArg> args;
  for (size_t i = params.result == kVoidType ? 1 : 0; i < positions.size(); ++i)
    args.push_back(ArgumentOf(positions[i]));

  std::string output;
  SetLogSink(std::make_unique<CLogCapture>(&output));
  SRunOutcome outcome;
  const ErrCode error = CompileAndCall(machine, text.c_str(), signature, args, &outcome);
  SetLogSink(nullptr);
  const std::string log = machine.TakeErrorLog();
  std::fwrite(log.data(), 1, log.size(), stderr);
  std::fwrite(output.data(), 1, output.size(), stdout);
  if (!output.empty() && output.back() != '\n') std::fputc('\n', stdout);
  if (error) return ReportError(error);
  if (outcome.out_of_steps) {
    std::fputs("error: step limit reached\n", stderr);
    return 1;
  }
  if (outcome.error) return ReportError(outcome.error);
  if (params.result != kVoidType) std::printf("result: %s\n", PrintValue(positions[0]).c_str());
  for (size_t i = 1; i < positions.size(); ++i)
    if (IsAddress(positions[i].type))
      std::printf("%s: %s\n", positions[i].name, PrintValue(positions[i]).c_str());
  return 0;
}

int Types() {
  CScriptMachine machine;
  if (ErrCode error = machine.Init(kWorldModules)) return ReportError(error);
  const std::string dump = machine.Compiler()->Dump();
  std::fwrite(dump.data(), 1, dump.size(), stdout);
  return 0;
}

int Natives() {
  CScriptMachine machine;
  if (ErrCode error = machine.Init(kWorldModules)) return ReportError(error);
  const std::string listing = NativeListing(machine);
  std::fwrite(listing.data(), 1, listing.size(), stdout);
  return 0;
}

}  // namespace

int RunScript(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "compile") == 0) return Compile(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "run") == 0) return Run(argc, argv);
  if (argc == 2 && std::strcmp(argv[1], "types") == 0) return Types();
  if (argc == 2 && std::strcmp(argv[1], "natives") == 0) return Natives();
  return Usage();
}
