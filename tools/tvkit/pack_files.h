// Building a pack from files on disk.
#pragma once

#include <string>
#include <vector>

#include "base/errors.h"

struct SPackFile {
  std::string name;  // inside the pack, "/" between folders
  std::string path;  // the file to store
};

// Replaces `out_path` with a pack of the files. BADPARAMS for a name the
// pack cannot hold or a file past 4 GB.
ErrCode WritePackFiles(const char* out_path, const std::vector<SPackFile>& files);
