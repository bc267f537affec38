// tvkit game build: a game folder as the engine plays it, built from the
// game's source folder (pictures from SVG, animations from recipes, fonts,
// the project, one pack per top-level folder), with a cache of what the
// recipes made.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "child_process.h"
#include "commands.h"
#include "fs/replace.h"
#include "game_jobs.h"
#include "game_plan.h"
#include "sha256.h"

namespace {

namespace fs = std::filesystem;

constexpr int kMaxJobs = 64;

int Usage() {
  std::fputs("usage: tvkit game build [--jobs <n>] [--no-cache] <out dir> <src dir>\n", stderr);
  return ReportError(err::kBadParams);
}

int ReportAll(const std::vector<std::string>& errors) {
  for (const std::string& error : errors) std::fprintf(stderr, "%s\n", error.c_str());
  return 1;
}

// The tool's own bytes: a rebuilt tool may make other outputs.
std::string ToolVersion(const std::string& self) {
  std::ifstream in(self, std::ios::binary);
  CSha256 sha;
  std::vector<char> buffer(1 << 16);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
    sha.Update({buffer.data(), static_cast<size_t>(in.gcount())});
  return sha.FinalHex();
}

ErrCode CopyInto(const std::string& from, const fs::path& to) {
  std::error_code error_code;
  fs::create_directories(to.parent_path(), error_code);
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, error_code);
  return error_code ? err::kWriteFail : err::kOk;
}

// Writes the whole game folder at `folder`.
ErrCode Assemble(const SGamePlan& plan, const fs::path& folder) {
  std::error_code error_code;
  fs::create_directories(folder, error_code);
  if (error_code) return err::kPathNotFound;
  if (ErrCode error = ReplaceFileContents((folder / "tool.ini").c_str(), plan.tool_ini))
    return error;
  for (const auto& [name, files] : plan.packs)
    if (ErrCode error = WritePackFiles((folder / (name + ".pak")).c_str(), files)) return error;
  if (!plan.project.empty())
    if (ErrCode error = CopyInto(plan.project_file, folder / plan.project)) return error;
  for (const SLooseFile& file : plan.loose)
    if (ErrCode error = CopyInto(file.path, folder / file.name)) return error;
  return err::kOk;
}

// Puts the new folder in the old one's place, which is deleted.
ErrCode Swap(const fs::path& out, const fs::path& built) {
  const fs::path old = out.string() + ".old";
  std::error_code error_code;
  fs::remove_all(old, error_code);
  const bool had_old = fs::exists(out);
  if (had_old && (fs::rename(out, old, error_code), error_code)) return err::kAccessDenied;
  if (fs::rename(built, out, error_code), error_code) {
    if (had_old) fs::rename(old, out, error_code);
    return err::kAccessDenied;
  }
  fs::remove_all(old, error_code);
  return err::kOk;
}

// Forgets what this build did not use.
void PruneCache(const std::string& cache, const SGamePlan& plan) {
  std::set<fs::path> used(plan.renders.begin(), plan.renders.end());
  for (const SGameJob& job : plan.jobs) used.insert(job.output);
  std::error_code error_code;
  for (fs::directory_iterator it(cache, error_code), end; !error_code && it != end;
       it.increment(error_code))
    if (!used.count(it->path())) fs::remove_all(it->path(), error_code);
}

void PrintListing(const fs::path& out, const SGamePlan& plan, long long ms) {
  std::error_code error_code;
  for (const auto& [name, files] : plan.packs)
    std::printf("%s.pak\t%zu\t%" PRIuMAX "\n", name.c_str(), files.size(),
                fs::file_size(out / (name + ".pak"), error_code));
  size_t count = 0;
  uintmax_t bytes = 0;
  for (fs::recursive_directory_iterator it(out, error_code), end; !error_code && it != end;
       it.increment(error_code))
    if (it->is_regular_file(error_code)) {
      ++count;
      bytes += it->file_size(error_code);
    }
  std::printf("total\t%zu\t%" PRIuMAX "\t%lld\n", count, bytes, ms);
}

int Build(int jobs, bool fresh, std::string out, const std::string& source) {
  const auto start = std::chrono::steady_clock::now();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  const std::string self = SelfPath();
  const SGameFolders folders{source, out + ".cache", ToolVersion(self)};
  const std::string staging = out + ".new";
  std::error_code error_code;
  fs::remove_all(staging, error_code);
  fs::create_directories(folders.cache, error_code);
  if (error_code) return ReportError(err::kPathNotFound);

  SGamePlan plan;
  std::vector<std::string> errors;
  size_t ran = 0;
  if (!PlanGame(folders, &plan, &errors) ||
      !RunGameJobs(plan.jobs, {self, source, source + "/" + kGamePalette, folders.cache}, jobs,
                   fresh, &ran, &errors))
    return ReportAll(errors);
  if (ErrCode error = Assemble(plan, staging)) {
    fs::remove_all(staging, error_code);
    return ReportError(error);
  }
  if (ErrCode error = Swap(out, staging)) return ReportError(error);
  PruneCache(folders.cache, plan);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  PrintListing(out, plan, std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  return 0;
}

}  // namespace

int RunGame(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "build") != 0) return Usage();
  const char* jobs_text = TakeOption(&argc, argv, "--jobs");
  bool fresh = false;
  std::vector<const char*> operands;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-cache") == 0) {
      fresh = true;
    } else {
      operands.push_back(argv[i]);
    }
  }
  char* end = nullptr;
  const long jobs = jobs_text ? std::strtol(jobs_text, &end, 10) : 2;
  if ((jobs_text && *end) || jobs < 1 || jobs > kMaxJobs || operands.size() != 2) return Usage();
  return Build(static_cast<int>(jobs), fresh, operands[0], operands[1]);
}
