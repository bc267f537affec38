// Writing pack files (the layout is described in pack_fs.cpp): the authors'
// tools build packs with it; the engine only reads them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fs/file.h"

struct SPackItem {
  std::string name;  // normalised as the pack's lookups normalise
  uint32_t size = 0;
  size_t source = 0;  // the caller's number for the item
};

// Writes `write_data(source, out)` for each item, which appends exactly the
// item's size in bytes at the file's position.
using PackDataWriter = std::function<ErrCode(size_t source, CFile& out)>;

// Sorts the items into directory order and writes the whole pack to `out`
// from offset 0: header, front-coded directory, then the data in name order.
// BADPARAMS for an empty or too long name, a duplicate, or a pack past 4 GB.
ErrCode WritePack(CFile& out, std::vector<SPackItem> items,
                  const PackDataWriter& write_data);
