// Copying between open files and to standard output, and reading whole
// files, for the subcommands.
#pragma once

#include <cstdio>
#include <string>

#include "fs/file.h"

// Copies from the file's position to its end, appending at `out`'s position.
ErrCode CopyFile(CFile& in, CFile& out);
ErrCode CopyToStream(CFile& in, FILE* out);

// The whole file, opened through the file service.
ErrCode ReadWholeFile(const char* path, std::string* bytes);
