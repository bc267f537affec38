#include "pack_files.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "fs/file_service.h"
#include "fs/pack_fs.h"
#include "fs/pack_writer.h"
#include "fs/replace.h"
#include "stream_copy.h"

ErrCode WritePackFiles(const char* out_path, const std::vector<SPackFile>& files) {
  std::vector<SPackItem> items;
  for (size_t i = 0; i < files.size(); ++i) {
    std::error_code error_code;
    const uintmax_t size = std::filesystem::file_size(files[i].path, error_code);
    if (error_code) return err::kFileNotFound;
    if (size > UINT32_MAX || files[i].name.size() > kPackNameLimit) return err::kBadParams;
    items.push_back({NormalisePackName(files[i].name.c_str()), static_cast<uint32_t>(size), i});
  }
  return WriteReplacing(out_path, 0, [&](CFile& out) {
    return WritePack(out, std::move(items), [&](size_t source, CFile& pack) {
      ErrCode open_error = err::kOk;
      std::unique_ptr<CFile> in =
          FsOpen(files[source].path.c_str(), kOpenRead | kOpenShareRead, &open_error);
      return in ? CopyFile(*in, pack) : open_error;
    });
  });
}
