#include "game_jobs.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "child_process.h"
#include "svg.h"

namespace {

using Command = std::vector<std::string> (*)(const SGameJob& job, const SJobTools& tools);

std::vector<std::string> PictureCommand(const SGameJob& job, const SJobTools& tools) {
  return {tools.self, "bmp", "from-png", "--palette", tools.palette, "--key", "1",
          "--lzss", kGameLzss, job.output, job.args[1]};
}
std::vector<std::string> AnimationCommand(const SGameJob& job, const SJobTools& tools) {
  return {tools.self, "ani", "compose", "--palette", tools.palette, "--root", tools.source,
          "--renders", tools.renders, job.output, job.args[0]};
}
std::vector<std::string> FontCommand(const SGameJob& job, const SJobTools& tools) {
  return {tools.self, "font", "build", job.args[0], job.args[1], job.output};
}
std::vector<std::string> WorldCommand(const SGameJob& job, const SJobTools& tools) {
  return {tools.self, "world", "build", job.output, job.args[0]};
}

// By EGameJob.
constexpr Command kCommands[] = {PictureCommand, AnimationCommand, FontCommand, WorldCommand};

bool NeedsRenderer(const SGameJob& job) {
  return job.kind == EGameJob::kPicture || job.kind == EGameJob::kAnimation;
}

void RemoveQuietly(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

// A line "<file>[(<line>, <col>)]: <text>" of the world's build about one
// of its files, placed in the source folder as an error.
std::string PlacedInWorld(const SGameJob& job, const std::string& line) {
  const size_t colon = line.find(": ");
  if (job.kind != EGameJob::kWorld || colon == std::string::npos) return line;
  const std::string place = line.substr(0, colon);
  std::error_code error_code;
  if (!std::filesystem::is_regular_file(
          std::filesystem::path(job.args[0]) / place.substr(0, place.find('(')), error_code))
    return line;
  const std::string text = line.substr(colon + 2);
  return job.source + "/" + place + ": " + (text.starts_with("error: ") ? "" : "error: ") + text;
}

// The lines a failed run wrote; its bare "error: ..." lines placed at the
// job's source file.
std::vector<std::string> Complaints(const SGameJob& job, const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line.starts_with("error: ") ? job.source + ": " + line : PlacedInWorld(job, line));
  if (lines.empty()) lines.push_back(job.source + ": error: its recipe failed");
  return lines;
}

bool RunJob(const SGameJob& job, const SJobTools& tools, std::vector<std::string>* messages) {
  const std::string log = job.output + ".log";
  std::string message;
  if (job.kind == EGameJob::kPicture && !RenderSvgOnce(job.args[0], job.args[1], &message)) {
    messages->push_back(job.source + ": error: " + message);
    return false;
  }
  const bool ok = RunChild(kCommands[static_cast<int>(job.kind)](job, tools), "", log) == 0;
  if (!ok) *messages = Complaints(job, log);
  RemoveQuietly(log);
  return ok;
}

}  // namespace

bool RunGameJobs(const std::vector<SGameJob>& jobs, const SJobTools& tools, int parallel,
                 bool fresh, size_t* ran, std::vector<std::string>* errors) {
  // Jobs with equal keys make the same output once.
  std::vector<size_t> pending;
  std::set<std::string> outputs;
  bool renderer = false;
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (!outputs.insert(jobs[i].output).second) continue;
    if (!fresh && std::filesystem::exists(jobs[i].output)) continue;
    pending.push_back(i);
    renderer |= NeedsRenderer(jobs[i]);
  }
  // Pictures first: the animations then find most of their layers rendered.
  std::stable_partition(pending.begin(), pending.end(),
                        [&](size_t job) { return jobs[job].kind == EGameJob::kPicture; });
  if (renderer && FindOnPath("rsvg-convert").empty()) {
    errors->push_back(std::string("error: ") + kRsvgMissing);
    return false;
  }
  std::atomic<size_t> next = 0, done = 0;
  std::atomic<bool> failed = false;
  std::mutex lock;
  std::map<size_t, std::vector<std::string>> failures;  // by job, for a stable order
  const auto work = [&] {
    for (size_t at = next++; at < pending.size() && !failed; at = next++) {
      std::vector<std::string> messages;
      ++done;
      if (RunJob(jobs[pending[at]], tools, &messages)) continue;
      failed = true;
      const std::lock_guard guard(lock);
      failures[pending[at]] = std::move(messages);
    }
  };
  {
    std::vector<std::jthread> workers;
    for (int i = 0; i < parallel && static_cast<size_t>(i) < pending.size(); ++i)
      workers.emplace_back(work);
  }
  *ran = done;
  for (auto& [job, messages] : failures) errors->insert(errors->end(), messages.begin(), messages.end());
  return failures.empty();
}
