// Imports arbitrary INI text into a new value base. Whatever the import
// answers, the flushed project must pass the integrity check, and what was
// imported must export again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fs/memory_file.h"
#include "store/hash_ini.h"
#include "store/value_base.h"
#include "store/vb_check.h"
#include "store/vb_ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CHashIni ini(7, 31);
  ini.LoadText(std::string_view(reinterpret_cast<const char*>(data), size));
  CMemoryFile file;
  CBFHP store;
  if (store.Create(&file, 256, CBFHP::kNoLimit) != err::kOk) std::abort();
  CObjectCache cache(64, 16 * 1024);
  CValueBase vb(&store, &cache);
  if (vb.Init() != err::kOk) std::abort();
  {
    COpenContainer root(&vb, vb.Root());
    ImportIni(&vb, root.get(), &ini);
    // Importing twice replaces every value, which must free what it held.
    ImportIni(&vb, root.get(), &ini);
  }
  if (vb.Flush() != err::kOk) std::abort();
  if (!CheckValueBase(&vb).empty()) std::abort();
  CHashIni out(7, 31);
  COpenContainer root(&vb, vb.Root());
  if (ExportIni(&vb, root.get(), &out) != err::kOk) std::abort();
  return 0;
}
