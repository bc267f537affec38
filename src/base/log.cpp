#include "base/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct SLogState {
  bool silenced = false;
  std::unique_ptr<CLogSink> sink;
  CLogView* view = nullptr;
  std::unique_ptr<char[]> early;  // kEarlyLogBlockSize bytes once allocated
  size_t early_length = 0;
  MessageBoxHandler box_handler = nullptr;
  MessageBoxHandler engine_box_handler = nullptr;
  TraceHook trace_hook = nullptr;
  bool assert_boxes = true;
  char trace[kTraceBufferSize] = {};
};

SLogState& State() {
  static SLogState state;
  return state;
}

bool CopyToStderr() {
  static const bool enabled = [] {
    const char* value = std::getenv("TARVOLIN_LOG");
    return value && std::strcmp(value, "1") == 0;
  }();
  return enabled;
}

void AppendEarly(std::string_view text) {
  SLogState& state = State();
  if (!state.early) {
    state.early.reset(new (std::nothrow) char[kEarlyLogBlockSize]);
    if (!state.early) return;
    state.early_length = 0;
    state.early[0] = '\0';
  }
  if (state.early_length + text.size() > kEarlyLogLimit) return;
  std::memcpy(state.early.get() + state.early_length, text.data(), text.size());
  state.early_length += text.size();
  state.early[state.early_length] = '\0';
}

// Formats into `buffer`; a text that does not fit keeps its final line feed.
size_t FormatLine(char* buffer, size_t size, const char* format, va_list args) {
  const int wanted = std::vsnprintf(buffer, size, format, args);
  if (wanted < 0) {
    buffer[0] = '\0';
    return 0;
  }
  size_t length = static_cast<size_t>(wanted);
  if (length >= size) {
    length = size - 1;
    if (format[std::strlen(format) - 1] == '\n') buffer[length - 1] = '\n';
  }
  return length;
}

// One line of standard error: a box's caption and text with its line breaks
// folded into blanks.
int StderrBox(const char* caption, const char* text, uint32_t flags) {
  std::string line = std::string(caption) + ": " + text;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.pop_back();
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  std::fprintf(stderr, "%s\n", line.c_str());
  return (flags & 0xF) == kMbAbortRetryIgnore ? kIdIgnore : kIdOk;
}

int ShowBox(const char* caption, const char* text, uint32_t flags) {
  MessageBoxHandler handler = State().box_handler;
  return handler ? handler(caption, text, flags) : StderrBox(caption, text, flags);
}

}  // namespace

const char* LogCategoryName(uint32_t category) {
  static const char* const kNames[] = {"Tool       ", "Engine", "Scripts",
                                       "Resource", "Warning"};
  for (int bit = 0; bit < 5; ++bit)
    if (category & (1u << bit)) return kNames[bit];
  return "";
}

void LogMessage(uint32_t category, const char* format, ...) {
  SLogState& state = State();
  if (state.silenced && !CopyToStderr()) return;
  char line[kLogLineSize];
  va_list args;
  va_start(args, format);
  const size_t length = FormatLine(line, sizeof line, format, args);
  va_end(args);
  const std::string_view text(line, length);
  if (CopyToStderr()) {
    std::fprintf(stderr, "%s: %.*s%s", LogCategoryName(category),
                 static_cast<int>(length), line,
                 length && line[length - 1] == '\n' ? "" : "\n");
  }
  if (state.silenced) return;
  if (state.sink) state.sink->Write(text);
  if (state.view) {
    state.view->AddLine(category, text);
    return;
  }
  AppendEarly(text);
}

void SetLogMode(bool game_mode, bool crash_log) {
  State().silenced = game_mode && !crash_log;
}

void SetLogSink(std::unique_ptr<CLogSink> sink) { State().sink = std::move(sink); }
bool HasLogSink() { return State().sink != nullptr; }
void SetLogView(CLogView* view) { State().view = view; }

bool HasEarlyLog() { return State().early != nullptr; }

std::string_view EarlyLogText() {
  const SLogState& state = State();
  if (!state.early) return {};
  return std::string_view(state.early.get(), state.early_length);
}

std::string TakeEarlyLog() {
  SLogState& state = State();
  std::string text(EarlyLogText());
  state.early.reset();
  state.early_length = 0;
  return text;
}

void RestoreEarlyLog(std::string_view text) {
  SLogState& state = State();
  state.early.reset();
  state.early_length = 0;
  if (text.empty()) return;
  AppendEarly(text.substr(0, kEarlyLogLimit));
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
  State().box_handler = handler;
}

void SetEngineBoxHandler(MessageBoxHandler handler) {
  State().engine_box_handler = handler;
}

int ShowMessageBox(const char* caption, const char* text, uint32_t flags) {
  if (const MessageBoxHandler& engine = State().engine_box_handler)
    return engine(caption, text, flags | kMbTaskModal);
  return ShowBox(caption, text, flags | kMbTaskModal);
}

void ShowErrorBox(const char* text, ErrCode code) {
  char caption[32];
  std::snprintf(caption, sizeof caption, "Error (0x%08lx)",
                static_cast<unsigned long>(code));
  ShowMessageBox(caption, text, kMbOk);
}

void DebugOutput(const char* text) {
  if (CopyToStderr()) std::fputs(text, stderr);
}

void SetTraceHook(TraceHook hook) { State().trace_hook = hook; }
const char* TraceBuffer() { return State().trace; }

void TraceOut(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(State().trace, kTraceBufferSize, format, args);
  va_end(args);
  DebugOutput(State().trace);
}

void Trace(const char* file, int line, const char* text) {
  SLogState& state = State();
  std::snprintf(state.trace, kTraceBufferSize, "Trace %s(%d): %s", file, line,
                text);
  if (state.trace_hook) state.trace_hook(state.trace);
  DebugOutput(state.trace);
}

void SetAssertBoxes(bool enabled) { State().assert_boxes = enabled; }

void AssertReport(bool failed, const char* expression, const char* file,
                  int line) {
  if (!failed) return;
  // The engine never sets an assertion context, so its text is empty.
  std::snprintf(State().trace, kTraceBufferSize,
                "Assert failed %s(%d): %s\n%s\n", file, line, expression, "");
}

void Assert(bool failed, const char* expression, const char* file, int line) {
  if (!failed) return;
  AssertReport(failed, expression, file, line);
  if (!State().assert_boxes) return;
  const int answer = ShowBox("Error", State().trace,
                             kMbSystemModal | kMbIconStop | kMbAbortRetryIgnore);
  if (answer == kIdAbort) std::exit(0);
}
