// tvkit script: compiles a script with the engine's registrations, or prints
// the tables the engine's scripts compile against.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "fs/file_service.h"
#include "script/bytecode.h"
#include "script/code_dump.h"
#include "script/script_machine.h"

namespace {

int Usage() {
  std::fputs(
      "usage: tvkit script compile --sig \"<signature>\" <file> [-o <block file>] [--dump]\n"
      "       tvkit script types\n",
      stderr);
  return ReportError(err::kBadParams);
}

ErrCode ReadText(const char* path, std::string* text) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> file = FsOpen(path, kOpenRead, &error);
  if (!file) return error;
  text->resize(file->GetSize());
  uint32_t count = 0;
  if (ErrCode read = file->Read(text->data(), static_cast<uint32_t>(text->size()), &count))
    return read;
  text->resize(count);
  return err::kOk;
}

ErrCode WriteBlock(const char* path, const SCodeBlock& block) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> file = FsOpen(path, kOpenWrite | kOpenCreate | kOpenTruncate, &error);
  if (!file) return error;
  uint32_t count = 0;
  return file->Write(block.data, static_cast<uint32_t>(block.size), &count);
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
  if (ErrCode error = ReadText(source, &text)) return ReportError(error);
  CScriptMachine machine;
  if (ErrCode error = machine.Init({})) return ReportError(error);
  SParamInfo params;
  if (!ParseSignature(*machine.Compiler(), signature, true, &params))
    return ReportError(err::kBadParamString);
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

int Types() {
  CScriptMachine machine;
  if (ErrCode error = machine.Init({})) return ReportError(error);
  const std::string dump = machine.Compiler()->Dump();
  std::fwrite(dump.data(), 1, dump.size(), stdout);
  return 0;
}

}  // namespace

int RunScript(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "compile") == 0) return Compile(argc, argv);
  if (argc == 2 && std::strcmp(argv[1], "types") == 0) return Types();
  return Usage();
}
