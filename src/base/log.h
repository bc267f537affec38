// Diagnostics: the leveled log, the trace buffer, assertions and error boxes.
//
// A log line goes to the log file when one is open, then either to the log
// view (the authoring tool's log palette) or, while no view exists, to the
// early-log buffer that the view takes over when it appears. In game mode the
// log is silent unless the crash log is enabled. TARVOLIN_LOG=1 in the
// environment copies every line to standard error, in both modes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/errors.h"

enum : uint32_t {
  kLogTool = 0x01,
  kLogEngine = 0x02,
  kLogScripts = 0x04,
  kLogResource = 0x08,
  kLogWarning = 0x10,
};

// The name of the lowest category bit set ("Tool       ", "Engine", ...).
const char* LogCategoryName(uint32_t category);

class CLogSink {
 public:
  virtual ~CLogSink() = default;
  virtual void Write(std::string_view text) = 0;
};

class CLogView {
 public:
  virtual ~CLogView() = default;
  virtual void AddLine(uint32_t category, std::string_view text) = 0;
};

inline constexpr size_t kLogLineSize = 256;
inline constexpr size_t kEarlyLogBlockSize = 65536;
inline constexpr size_t kEarlyLogLimit = 61440;

void LogMessage(uint32_t category, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Game mode with the crash log off silences the log.
void SetLogMode(bool game_mode, bool crash_log);
// The log file; null closes it.
void SetLogSink(std::unique_ptr<CLogSink> sink);
bool HasLogSink();
// The log view (not owned); null removes it.
void SetLogView(CLogView* view);

// The early-log buffer: whether it exists and what it holds.
bool HasEarlyLog();
std::string_view EarlyLogText();
// Hands the early-log text over (to a new log view) and frees the buffer.
std::string TakeEarlyLog();
// Puts a departing view's text into a fresh early-log buffer (cut to fit).
void RestoreEarlyLog(std::string_view text);

// Message boxes: the platform installs the handler; without one, boxes are
// written to standard error. Flags and results are the platform's values.
enum : uint32_t {
  kMbOk = 0x0,
  kMbAbortRetryIgnore = 0x2,
  kMbIconStop = 0x10,
  kMbSystemModal = 0x1000,
  kMbTaskModal = 0x2000,
};
enum : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdAbort = 3,
  kIdRetry = 4,
  kIdIgnore = 5,
  kIdYes = 6,
  kIdNo = 7,
};
using MessageBoxHandler =
    std::function<int(const char* caption, const char* text, uint32_t flags)>;
void SetMessageBoxHandler(MessageBoxHandler handler);
// While set, ShowMessageBox opens the engine's own boxes through it instead
// (they answer later, not as a result); assertion reports keep the
// platform's.
void SetEngineBoxHandler(MessageBoxHandler handler);
// Shows a box owned by no window; the task-modal bit is always added.
int ShowMessageBox(const char* caption, const char* text, uint32_t flags);
// The authoring tool's error report: caption "Error (0x%08lx)".
void ShowErrorBox(const char* text, ErrCode code);

// Platform debugger output; copied to standard error under TARVOLIN_LOG=1.
void DebugOutput(const char* text);

// The shared trace buffer (16384 bytes) and its optional hook. TraceOut's
// text also goes to the debugger output.
inline constexpr size_t kTraceBufferSize = 16384;
using TraceHook = void (*)(const char* text);
void SetTraceHook(TraceHook hook);
const char* TraceBuffer();
void TraceOut(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Trace(const char* file, int line, const char* text);

// Assertion report. With boxes enabled (the default) Abort ends the process
// with exit code 0; AssertReport only formats the report.
void SetAssertBoxes(bool enabled);
void Assert(bool failed, const char* expression, const char* file, int line);
void AssertReport(bool failed, const char* expression, const char* file,
                  int line);
