// The script functions over named arrays and loaded INI files: rows of the
// engine's registration module, which registers them at native slots 321 to
// 339.
#pragma once

#include <cstdint>
#include <span>

#include "script/registration_rows.h"

inline constexpr uint16_t kArrayFunctionsBase = 321;

// The functions in their registration order.
std::span<const SRow> ArrayFunctionRows();
