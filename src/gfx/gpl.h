// GIMP palettes (the accepted form is described at the top of gpl.cpp).
#pragma once

#include <string_view>

#include "base/errors.h"
#include "gfx/palette.h"

// Sets `palette` to the file's entries in order. INVALIDFORMAT for anything
// outside the accepted form; `palette` is then unchanged.
ErrCode ParseGpl(std::string_view text, CPalette* palette);
