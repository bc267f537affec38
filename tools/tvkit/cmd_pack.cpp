// tvkit pack: builds pack files from a folder, lists them and prints the
// files inside them.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "commands.h"
#include "fs/file_service.h"
#include "fs/pack_fs.h"
#include "pack_files.h"
#include "stream_copy.h"

namespace {

int Usage() {
  std::fputs(
      "usage: tvkit pack build <out.pak> <dir>\n"
      "       tvkit pack list <pak>\n"
      "       tvkit pack cat <pak> <path>\n",
      stderr);
  return ReportError(err::kBadParams);
}

int Build(const char* out_path, const char* directory) {
  namespace fs = std::filesystem;
  std::vector<SPackFile> files;
  std::error_code error_code;
  for (fs::recursive_directory_iterator it(directory, error_code), end;
       !error_code && it != end; it.increment(error_code)) {
    if (!it->is_regular_file(error_code)) continue;
    files.push_back({fs::relative(it->path(), directory).generic_string(), it->path().string()});
  }
  if (error_code) return ReportError(err::kPathNotFound);
  const ErrCode error = WritePackFiles(out_path, files);
  return error ? ReportError(error) : 0;
}

// The pack's file system over the pack file, loaded.
std::unique_ptr<CPackFS> LoadPack(const char* path, ErrCode* error) {
  std::unique_ptr<CFile> file = FsOpen(path, kOpenRead | kOpenShareRead, error);
  if (!file) return nullptr;
  auto pack = std::make_unique<CPackFS>(std::move(file));
  *error = pack->Load();
  return *error ? nullptr : std::move(pack);
}

int List(const char* path) {
  ErrCode error = err::kOk;
  std::unique_ptr<CPackFS> pack = LoadPack(path, &error);
  if (!pack) return ReportError(error);
  const CPackDirectory& directory = pack->Directory();
  SPackEntry entry;
  for (bool more = directory.FindPrefix("", &entry); more; more = directory.Next(&entry))
    std::printf("%s\t%u\t%u\n", entry.name.c_str(), entry.data.offset, entry.data.size);
  return 0;
}

int Cat(const char* path, const char* name) {
  ErrCode error = err::kOk;
  std::unique_ptr<CPackFS> pack = LoadPack(path, &error);
  if (!pack) return ReportError(error);
  std::unique_ptr<CFile> file = pack->Open(name, kOpenRead | kOpenShareRead, &error);
  if (!file) return ReportError(error);
  error = CopyToStream(*file, stdout);
  return error ? ReportError(error) : 0;
}

}  // namespace

int RunPack(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "build") == 0) return Build(argv[2], argv[3]);
  if (argc == 3 && std::strcmp(argv[1], "list") == 0) return List(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "cat") == 0) return Cat(argv[2], argv[3]);
  return Usage();
}
