#include "commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

int ReportError(ErrCode code) {
  std::fprintf(stderr, "error: %s\n", ErrName(code));
  return 1;
}

const char* TakeOption(int* argc, char** argv, const char* name) {
  for (int i = 2; i + 1 < *argc; ++i) {
    if (std::strcmp(argv[i], name) != 0) continue;
    const char* value = argv[i + 1];
    std::copy(argv + i + 2, argv + *argc, argv + i);
    *argc -= 2;
    return value;
  }
  return nullptr;
}
