#include "fs/upward.h"

#include "base/errors.h"
#include "gfx/bitmap.h"
#include "platform/platform.h"
