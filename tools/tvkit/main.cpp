// tvkit: the authors' command-line tool.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "fs/file_service.h"
#include "fs/native_fs.h"

namespace {

struct SCommand {
  const char* name;
  const char* help;
  int (*run)(int argc, char** argv);
};

constexpr SCommand kCommands[] = {
    {"ini", "get <file> <section> <key>: print a value; fmt <in> <out>: rewrite a file",
     RunIni},
    {"pack", "build <out.pak> <dir>, list <pak>, cat <pak> <path>: pack files",
     RunPack},
    {"lz", "pack --codec lzss|lzis ... <in> <out>, unpack <in> <out>: compressed files",
     RunLz},
    {"bmp", "info <file>: geometry and compression; convert <in> <out> [--lzss <param>] [--top-down]; "
            "from-xpm <out.bmp> <in.xpm> --palette <file.gpl> [--key <index>]; "
            "from-png --palette <file.gpl> [--key <i>] [--dither ordered|none] [--lzss <param>] <out.bmp> <in.png>",
     RunBmp},
    {"ani", "info <file>; frame <file> <ms> <out.bmp>; build <out.ani> <fps> <frames.bmp>...; "
            "compose --palette <file.gpl> --root <src dir> <out.ani> <recipe.ini>",
     RunAni},
    {"font", "build <font.ttf> <pixel height> <out.fnt>; render <font.fnt> <text> <out.bmp>",
     RunFont},
    {"wav", "info <file>; decode <in> <out>; adpcm <in> <out>; play <file>: WAV sounds as the engine plays them",
     RunWav},
    {"mix", "--rate --bits --channels --ms <out> <in>[@l,r[,loop]]...: mix on the null device",
     RunMix},
    {"vb", "new|import|export|ls|get|set|rm|check <project.prj> ...: edit a project's value base",
     RunVb},
    {"script", "compile --sig <signature> <file> [-o <block>] [--dump]; types", RunScript},
    {"ui", "tree|show <template.ini> [<object>]: a template as a tree or in a window; box: a message box",
     RunUi},
    {"world", "build <out.prj> <src dir>: a project from sources; globals <project.prj>: its globals",
     RunWorld},
    {"game", "build [--jobs <n>] [--no-cache] <out dir> <src dir>: a game folder from its sources",
     RunGame},
};

void PrintUsage(FILE* out) {
  std::fputs("usage: tvkit <command> [arguments]\n\ncommands:\n", out);
  for (const SCommand& command : kCommands)
    std::fprintf(out, "  %-8s %s\n", command.name, command.help);
}

// The native file system for the tool's whole run.
class CNativeFiles {
 public:
  CNativeFiles() { MountNativeFileSystem(); }
  ~CNativeFiles() { ShutdownFileService(); }
  CNativeFiles(const CNativeFiles&) = delete;
  CNativeFiles& operator=(const CNativeFiles&) = delete;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 1;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    PrintUsage(stdout);
    return 0;
  }
  for (const SCommand& command : kCommands) {
    if (std::strcmp(argv[1], command.name) != 0) continue;
    CNativeFiles files;
    return command.run(argc - 1, argv + 1);
  }
  PrintUsage(stderr);
  return 1;
}
