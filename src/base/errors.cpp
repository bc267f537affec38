#include "base/errors.h"

#include <cstring>

namespace {

struct SErrorRow {
  EErrModule module;
  const char* text;
};

constexpr SErrorRow kRows[] = {
#define TV_ERROR_ROW(module, constant, text) {EErrModule::module, text},
    TV_ERROR_TABLE(TV_ERROR_ROW)
#undef TV_ERROR_ROW
};

static_assert(sizeof(kRows) / sizeof(kRows[0]) == err::kRowCount);

}  // namespace

const char* ErrName(ErrCode code) {
  if (code == err::kOk) return "0";
  if (code > err::kRowCount) return "?";
  return kRows[code - 1].text;
}

bool ErrModule(ErrCode code, EErrModule* module) {
  if (code == err::kOk || code > err::kRowCount) return false;
  *module = kRows[code - 1].module;
  return true;
}

ErrCode ErrFromName(const char* name) {
  for (ErrCode row = 0; row < err::kRowCount; ++row)
    if (std::strcmp(kRows[row].text, name) == 0) return row + 1;
  return err::kOk;
}
