#include "commands.h"

#include <cstdio>

int ReportError(ErrCode code) {
  std::fprintf(stderr, "error: %s\n", ErrName(code));
  return 1;
}
