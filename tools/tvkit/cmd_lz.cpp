// tvkit lz: writes compressed files and reads them back the way the engine
// opens files while mounting.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands.h"
#include "fs/compressed_file.h"
#include "fs/file_service.h"
#include "fs/lzis.h"
#include "fs/lzss.h"
#include "fs/replace.h"
#include "stream_copy.h"

namespace {

int Usage() {
  std::fputs(
      "usage: tvkit lz pack --codec lzss|lzis [--param <byte>|--level <1-3>]\n"
      "                     [--block <K>] <in> <out>\n"
      "       tvkit lz unpack <in> <out>\n",
      stderr);
  return ReportError(err::kBadParams);
}

struct SPackOptions {
  std::string codec;
  long parameter = -1;  // --param or --level
  bool level = false;
  unsigned long block = kDefaultBlockSize;
  const char* in = nullptr;
  const char* out = nullptr;
};

bool ParseNumber(const char* text, unsigned long* value) {
  char* end = nullptr;
  *value = std::strtoul(text, &end, 0);
  return *text && *end == '\0';
}

bool ParsePackOptions(int argc, char** argv, SPackOptions* options) {
  int i = 2;
  for (; i + 1 < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
    const std::string name = argv[i];
    unsigned long number = 0;
    if (name == "--codec") {
      options->codec = argv[i + 1];
    } else if ((name == "--param" || name == "--level") && options->parameter < 0 &&
               ParseNumber(argv[i + 1], &number) && number <= 0xFF) {
      options->parameter = static_cast<long>(number);
      options->level = name == "--level";
    } else if (name == "--block" && ParseNumber(argv[i + 1], &number)) {
      options->block = number;
    } else {
      return false;
    }
  }
  if (argc - i != 2) return false;
  options->in = argv[i];
  options->out = argv[i + 1];
  const bool lzis = options->codec == "lzis";
  if (!lzis && options->codec != "lzss") return false;
  // LZSS takes a parameter byte, LZIS a level.
  if (options->parameter >= 0 && options->level != lzis) return false;
  if (options->parameter < 0)
    options->parameter = lzis ? kLzisDefaultLevel : kLzssDefaultParameter;
  return options->block > 0 && options->block <= kMaxBlockSize;
}

int Pack(int argc, char** argv) {
  SPackOptions options;
  if (!ParsePackOptions(argc, argv, &options)) return Usage();
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> in = FsOpen(options.in, kOpenRead | kOpenShareRead, &error);
  if (!in) return ReportError(error);
  const auto block = static_cast<uint32_t>(options.block);
  const auto parameter = static_cast<uint8_t>(options.parameter);
  error = WriteReplacing(options.out, kOpenRead, [&](CFile& out) {
    std::unique_ptr<CCompressedFile> compressed;
    if (options.codec == "lzis")
      compressed = std::make_unique<CLzisFile>(out, block, parameter);
    else
      compressed = std::make_unique<CLzssFile>(out, block, parameter);
    if (ErrCode open_error = compressed->OpenError()) return open_error;
    if (ErrCode copy_error = CopyFile(*in, *compressed)) return copy_error;
    return compressed->Flush();
  });
  return error ? ReportError(error) : 0;
}

int Unpack(const char* in_path, const char* out_path) {
  ErrCode error = err::kOk;
  std::unique_ptr<CFile> in;
  {
    CDecompressingHook hook;
    in = FsOpen(in_path, kOpenRead | kOpenShareRead, &error);
  }
  if (!in) return ReportError(error);
  error = WriteReplacing(out_path, 0, [&](CFile& out) { return CopyFile(*in, out); });
  return error ? ReportError(error) : 0;
}

}  // namespace

int RunLz(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "pack") == 0) return Pack(argc, argv);
  if (argc == 4 && std::strcmp(argv[1], "unpack") == 0) return Unpack(argv[2], argv[3]);
  return Usage();
}
