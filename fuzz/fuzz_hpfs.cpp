// Mounts arbitrary bytes as a handle-store file system and reads every file
// of every folder it lists, then creates, writes and deletes a file.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fs/memory_file.h"
#include "fs/hpfs.h"

namespace {

constexpr int kMaxFolders = 200;

void ReadFolder(CHPFS* fs, const std::string& folder, int* folders) {
  if (++*folders > kMaxFolders) return;
  FindContext context;
  std::vector<std::pair<std::string, uint32_t>> entries;
  for (ErrCode e = fs->FindFirst(&context, folder.c_str()); e == err::kOk; e = fs->FindNext(&context))
    entries.emplace_back(context.name, context.attributes);
  fs->FindClose(&context);
  for (const auto& [name, attributes] : entries) {
    const std::string path = folder + name;
    if (attributes & kAttrDirectory) {
      ReadFolder(fs, path + "/", folders);
      continue;
    }
    std::unique_ptr<CFile> file = fs->Open(path.c_str(), 0x41, nullptr);
    if (!file) continue;
    std::vector<uint8_t> bytes(file->GetSize());
    file->Read(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ErrCode error = err::kOk;
  std::unique_ptr<CHPFS> fs =
      CHPFS::Mount(std::make_unique<CMemoryFile>(std::span<const uint8_t>(data, size)), &error);
  if (!fs) return 0;
  int folders = 0;
  ReadFolder(fs.get(), "", &folders);
  if (std::unique_ptr<CFile> file = fs->Open("fuzz.txt", 0x0F, nullptr))
    file->Write(data, static_cast<uint32_t>(std::min<size_t>(size, 600)), nullptr);
  fs->Delete("fuzz.txt");
  return 0;
}
