// Mounts the entries of a file-system section and unmounts them again. The
// input is the section's lines ("prefix=kind, argument") up to the first NUL;
// the bytes after it are the one file of the file system below, "/f", so
// that "Pack" and "HPFS" entries naming it read arbitrary contents.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fs/file_service.h"
#include "fs/memory_file.h"
#include "fs/mount_config.h"

namespace {

class COneFileService : public CFileService {
 public:
  explicit COneFileService(std::string_view bytes) : m_bytes(bytes) {}
  std::unique_ptr<CFile> Open(const char* path, uint16_t, ErrCode* error) override {
    if (std::string_view(path) == "/f") return std::make_unique<CMemoryFile>(m_bytes);
    if (error) *error = err::kFileNotFound;
    return nullptr;
  }
  bool Exists(const char* path) override { return std::string_view(path) == "/f"; }

 private:
  std::string m_bytes;
};

ConfigEntries Entries(std::string_view text) {
  ConfigEntries entries;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    const size_t equals = line.find('=');
    if (equals != std::string_view::npos)
      entries.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const ConfigEntries entries = Entries(input.substr(0, nul));
  InitFileService(50);
  RegisterMount("", std::make_unique<COneFileService>(
                        nul == std::string_view::npos ? "" : input.substr(nul + 1)),
                0);
  MountFromConfig(entries);
  for (const auto& [prefix, value] : entries)
    if (std::unique_ptr<CFile> file = FsOpen((prefix + "f").c_str(), 0x41, nullptr)) {
      uint8_t bytes[64];
      file->Read(bytes, sizeof bytes, nullptr);
    }
  UnmountFromConfig(entries);
  ShutdownFileService();
  return 0;
}
