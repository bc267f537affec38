// tvkit ini: reads a value of an INI file, or rewrites a file in the INI
// writer's form.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "store/hash_ini.h"

namespace {

// The bucket counts of the engine's large INI readers.
constexpr uint32_t kSectionBuckets = 100;
constexpr uint32_t kKeyBuckets = 1000;

int Usage() {
  std::fputs(
      "usage: tvkit ini get <file> <section> <key>\n"
      "       tvkit ini fmt <in> <out>\n",
      stderr);
  return ReportError(err::kBadParams);
}

int Get(const char* path, const char* section, const char* key) {
  CHashIni ini(kSectionBuckets, kKeyBuckets);
  if (ErrCode error = ini.Load(path)) return ReportError(error);
  const char* value = ini.GetString(section, key);
  if (!value) return ReportError(err::kNotFound);
  std::fwrite(value, 1, std::strlen(value), stdout);
  std::fputc('\n', stdout);
  return 0;
}

int Format(const char* in, const char* out) {
  CHashIni ini(kSectionBuckets, kKeyBuckets);
  if (ErrCode error = ini.Load(in)) return ReportError(error);
  if (ErrCode error = ini.Save(out)) return ReportError(error);
  return 0;
}

}  // namespace

int RunIni(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "get") == 0)
    return Get(argv[2], argv[3], argv[4]);
  if (argc == 4 && std::strcmp(argv[1], "fmt") == 0) return Format(argv[2], argv[3]);
  return Usage();
}
