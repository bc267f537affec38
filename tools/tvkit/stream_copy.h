// Copying between open files and to standard output, for the subcommands.
#pragma once

#include <cstdio>

#include "fs/file.h"

// Copies from the file's position to its end, appending at `out`'s position.
ErrCode CopyFile(CFile& in, CFile& out);
ErrCode CopyToStream(CFile& in, FILE* out);
