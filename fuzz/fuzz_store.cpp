// Opens arbitrary bytes as a project: the store, the value base on it, a
// walk over every value with every typed reader, the integrity check, and
// a few changes and a flush on whatever opened.
#include <cstdint>
#include <string>

#include "fs/memory_file.h"
#include "store/value_base.h"
#include "store/vb_check.h"
#include "store/vb_ini.h"
#include "store/vb_walker.h"

namespace {

// Shared containers may repeat a sub-tree many times over.
constexpr int kMaxVisits = 20000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CMemoryFile file(std::span<const uint8_t>(data, size));
  CBFHP store;
  if (store.Open(&file) != err::kOk) return 0;
  CObjectCache cache(64, 16 * 1024);
  CValueBase vb(&store, &cache);
  if (vb.Init() != err::kOk) return 0;

  CVBWalker walker(&vb);
  int visits = 0;
  walker.Walk([&](CVBContainer* container, const std::string& name, const uint8_t* value) {
    ValueIniText(value);
    container->GetString(name);
    container->GetLong(name);
    container->GetPoint(name);
    container->GetRect(name);
    if (ValueType(value) == kValueScript && ValueSize(value) >= kScriptValueSize) {
      const StoreHandle source = ValueWord(value, 0);
      if (vb.GetData(source)) vb.ReleaseData(source);
    }
    return ++visits >= kMaxVisits ? 1 : 0;
  });
  CheckValueBase(&vb);

  if (CVBContainer* root = vb.OpenContainer(vb.Root())) {
    const int32_t number = static_cast<int32_t>(size);
    root->SetValue("fuzz", MakeValue(kValueLong, &number, 4).data());
    uint32_t cursor = 0;
    Atom atom = 0;
    if (root->NextValue(&cursor, &atom, nullptr) == err::kOk) root->DeleteValueByAtom(atom);
    vb.CloseContainer(root);
  }
  vb.Flush();
  return 0;
}
