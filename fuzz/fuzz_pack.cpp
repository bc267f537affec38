// Loads arbitrary bytes as a pack; when they load, every entry must be found
// by its own name, listed, existing and readable, and lookups of names taken
// from the input must agree with a plain walk of the directory.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "fs/memory_file.h"
#include "fs/pack_fs.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto bytes = std::make_shared<std::string>(reinterpret_cast<const char*>(data), size);
  CPackFS pack(std::make_unique<CMemoryFile>(bytes));
  if (pack.Load() != err::kOk) return 0;
  const CPackDirectory& directory = pack.Directory();

  std::set<std::string> names;
  SPackEntry entry;
  uint32_t count = 0;
  for (bool more = directory.FindPrefix("", &entry); more; more = directory.Next(&entry)) {
    Check(entry.index == count++);
    names.insert(entry.name);
    SPackData found;
    Check(directory.Find(entry.name, &found));
    Check(found.offset == entry.data.offset && found.size == entry.data.size);
    ErrCode error = err::kOk;
    std::unique_ptr<CFile> file = pack.Open(entry.name.c_str(), kOpenRead, &error);
    if (entry.name == NormalisePackName(entry.name.c_str())) {
      Check(file && error == err::kOk);
      std::string contents(file->GetSize(), '\0');
      uint32_t read = 0;
      // An empty file is at its end at once.
      Check(file->Read(contents.data(), file->GetSize() + 1, &read) ==
            (entry.data.size ? err::kOk : err::kEof));
      Check(read == entry.data.size);
      Check(contents == bytes->substr(entry.data.offset, entry.data.size));
      Check(pack.Exists(entry.name.c_str()) == (entry.name.back() != '\\'));
    }
  }
  Check(count == directory.Count());

  // Names cut from the input: found exactly when the walk saw them.
  for (size_t start = 0; start + 1 < size && start < 64; start += 3) {
    const std::string key(reinterpret_cast<const char*>(data) + start,
                          std::min<size_t>(data[start] % 16, size - start - 1));
    SPackData found;
    Check(directory.Find(key, &found) == (names.count(key) != 0));
    pack.Exists(key.c_str());
  }

  FindContext context;
  for (ErrCode e = pack.FindFirst(&context, ""); e == err::kOk; e = pack.FindNext(&context)) {
    Check(context.name != nullptr);
    if (context.attributes & kAttrDirectory) {
      FindContext inner;
      for (ErrCode f = pack.FindFirst(&inner, context.name); f == err::kOk;
           f = pack.FindNext(&inner))
        Check(inner.name != nullptr);
      pack.FindClose(&inner);
    }
  }
  pack.FindClose(&context);
  return 0;
}
