// Feeds arbitrary bytes as a saved game's INI to the script arrays'
// persistence reader, then checks that the arrays read write a form that
// reads back to the same form, runs the shuffles on them, and that every
// string is released when the arrays go.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/random.h"
#include "script/script_array.h"
#include "store/hash_ini.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string SavedForm(const CScriptArrays& arrays) {
  CHashIni ini(31, 4093);
  arrays.Save(&ini);
  return ini.Text();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t live = StrLiveCount();
  {
    CHashIni ini(7, 31);
    Check(ini.LoadText(std::string_view(reinterpret_cast<const char*>(data), size)) ==
          err::kOk);
    CScriptArrays arrays;
    arrays.Load(ini);
    const std::string form = SavedForm(arrays);

    CHashIni again(31, 4093);
    Check(again.LoadText(form) == err::kOk);
    CScriptArrays reread;
    reread.Load(again);
    Check(SavedForm(reread) == form);

    CRandom random(static_cast<uint32_t>(size));
    for (const CScriptArray& array : arrays.Arrays()) {
      CScriptArray* target = arrays.Find(array.Name());
      const int32_t n = target->Size();
      target->Scramble(n / 3, n / 2, 1, random);
      target->Scramble2(0, n < 64 ? n : 63, 1, random);
      int32_t index = 0;
      target->FindInt(0, &index);
    }
  }
  Check(StrLiveCount() == live);
  return 0;
}
