#include "app/exit_report.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/log.h"
#include "base/memory.h"
#include "fs/file_service.h"

namespace {

constexpr const char* kReportName = "crash.log";
constexpr uint16_t kAppendMode = kOpenWrite;
constexpr uint16_t kCreateMode = kOpenWrite | kOpenCreate | kOpenTruncate;

void WriteText(CFile* file, std::string_view text) {
  file->Write(text.data(), static_cast<uint32_t>(text.size()), nullptr);
}

void LogMemorySummary() {
  LogMessage(kLogEngine, "\n******** TOTAL MEMORY USAGE: **************\n");
  LogMessage(kLogEngine, "Max memory used: %d bytes\n",
             static_cast<int>(MemPeakTotal()));
  LogMessage(kLogEngine, "Max memory used for handles: %d bytes\n",
             static_cast<int>(MemPeakHandles()));
  LogMessage(kLogEngine, "Max memory used for ptrs: %d bytes\n",
             static_cast<int>(MemPeakPtrs()));
  LogMessage(kLogEngine, "%s\n", std::string(43, '*').c_str());
}

}  // namespace

void WriteExitReport(int month, int day) {
  std::unique_ptr<CFile> file = FsOpen(kReportName, kAppendMode, nullptr);
  if (!file) file = FsOpen(kReportName, kCreateMode, nullptr);
  if (!file) return;
  file->Seek(0, kSeekEnd);

  char build_line[128];
  std::snprintf(build_line, sizeof build_line, "| PC %s %d/%02d\n", kBuildLabel,
                month, day);
  WriteText(file.get(), " __________________\n");
  WriteText(file.get(), build_line);
  WriteText(file.get(), "'^^^^^^^^^^^^^^^^^^\n");

  LogMemorySummary();
  if (HasEarlyLog()) WriteText(file.get(), EarlyLogText());
  WriteText(file.get(), "\n\n");
}
