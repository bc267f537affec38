// Drives the shadow overlay with a byte-coded sequence of writes, reads,
// truncations and commits against a plain model of the file, and checks
// that both always hold the same bytes (on disk too after a commit).
//
// Input: one byte for the base file's size (x 37 bytes), then operations of
// one code byte and their arguments:
//   0 write at u16 position (below 8192), u8 length x 9, filled with a byte
//   1 read at u16 position, u8 length x 9
//   2 truncate at u16 position
//   3 commit
//   4 write at the current position (after a seek), as 0
#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "fs/file_service.h"
#include "fs/memory_file.h"
#include "world/shadow_file.h"

namespace {

// Files as strings, renamed as a whole: an open file keeps the bytes it
// was opened on, as a real file keeps its data across a rename over it.
class CFuzzFileService : public CFileService {
  TV_CLASS(CFuzzFileService, CFileService)

 public:
  std::unique_ptr<CFile> Open(const char* path, uint16_t mode, ErrCode* error) override {
    std::shared_ptr<std::string>& bytes = m_files[path];
    if (mode & kOpenCreate) bytes = std::make_shared<std::string>();
    if (!bytes) {
      m_files.erase(path);
      if (error) *error = err::kFileNotFound;
      return nullptr;
    }
    return std::make_unique<CMemoryFile>(bytes);
  }
  ErrCode Delete(const char* path) override {
    return m_files.erase(path) ? err::kOk : err::kFileNotFound;
  }
  ErrCode RenameOver(const char* old_path, const char* new_path) override {
    auto it = m_files.find(old_path);
    if (it == m_files.end()) return err::kFileNotFound;
    m_files[new_path] = it->second;
    m_files.erase(it);
    return err::kOk;
  }
  ErrCode FlushDir(const char*) override { return err::kOk; }
  std::string Bytes(const std::string& path) { return *m_files[path]; }

 private:
  std::map<std::string, std::shared_ptr<std::string>> m_files;
};

constexpr char kPath[] = "/f/p.prj";
constexpr char kInner[] = "p.prj";

CFuzzFileService* Mount() {
  static CFuzzFileService* fs = [] {
    InitFileService(4);
    auto service = std::make_unique<CFuzzFileService>();
    CFuzzFileService* raw = service.get();
    RegisterMount("/f/", std::move(service), 0);
    return raw;
  }();
  return fs;
}

class CReader {
 public:
  CReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  bool More() const { return m_at < m_size; }
  uint32_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
  uint32_t Position() { return (Byte() | Byte() << 8) & 0x1FFF; }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_at = 0;
};

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CFuzzFileService* fs = Mount();
  CReader in(data, size);
  std::string model(in.Byte() * 37, '\0');
  for (size_t i = 0; i < model.size(); ++i) model[i] = static_cast<char>(i * 7 + 1);
  {
    ErrCode error = err::kOk;
    FsOpenDirect(kPath, kOpenWrite | kOpenCreate | kOpenTruncate, &error)
        ->Write(model.data(), static_cast<uint32_t>(model.size()), nullptr);
  }
  ErrCode error = err::kOk;
  CShadowFile file(kPath, FsOpenDirect(kPath, kOpenRead, &error),
                   std::make_unique<CMemoryFile>());
  for (int ops = 0; in.More() && ops < 200; ++ops) {
    const uint32_t code = in.Byte() % 5;
    if (code == 0 || code == 4) {
      const uint32_t at = in.Position();
      std::string bytes(in.Byte() * 9, static_cast<char>(in.Byte()));
      if (code == 4) Check(file.Seek(static_cast<int32_t>(at), kSeekSet) == err::kOk);
      const auto length = static_cast<uint32_t>(bytes.size());
      Check((code == 0 ? file.WriteAt(bytes.data(), at, length, nullptr)
                       : file.Write(bytes.data(), length, nullptr)) == err::kOk);
      // Writing nothing leaves the size alone, even past the end.
      if (!bytes.empty()) {
        model.resize(std::max(model.size(), at + bytes.size()), '\0');
        model.replace(at, bytes.size(), bytes);
      }
    } else if (code == 1) {
      const uint32_t at = in.Position();
      std::string bytes(in.Byte() * 9, '\0');
      uint32_t count = 0;
      file.ReadAt(bytes.data(), at, static_cast<uint32_t>(bytes.size()), &count);
      const std::string expected = at < model.size() ? model.substr(at, bytes.size()) : "";
      Check(bytes.substr(0, count) == expected);
    } else if (code == 2) {
      const uint32_t at = in.Position();
      Check(file.Seek(static_cast<int32_t>(at), kSeekSet) == err::kOk);
      Check(file.Truncate() == err::kOk);
      model.resize(at, '\0');
    } else {
      Check(file.Commit() == err::kOk);
      Check(fs->Bytes(kInner) == model);
      Check(file.Extents().empty() && file.ShadowBytes() == 0);
    }
    Check(file.GetSize() == model.size());
  }
  return 0;
}
