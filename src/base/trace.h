// Trace channels: lines a run writes for whoever watches it (tests, authors
// chasing a problem), switched on by name.
//
//   TARVOLIN_TRACE=<channel>[,<channel>...]   the channels that are on
//   TARVOLIN_TRACE_FILE=<path>                where lines go (else stderr)
//
// A line is "<ms>\t<channel>\t<field>\t<field>...\n", flushed at once; the
// time is the platform clock's once the platform sets it, else 0. A channel
// that is off costs one test of a bit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

enum ETraceChannel : uint32_t {
  kTracePresent = 1u << 0,
  kTraceCursor = 1u << 1,
  kTraceCapture = 1u << 2,
  kTraceEvent = 1u << 3,
  kTraceHandlers = 1u << 4,
  kTraceViews = 1u << 5,
  kTraceStats = 1u << 6,
};

class CTrace {
 public:
  using Clock = std::function<uint32_t()>;

  CTrace() = default;
  ~CTrace();
  CTrace(const CTrace&) = delete;
  CTrace& operator=(const CTrace&) = delete;

  // Turns on the named channels and opens the file (null or empty: standard
  // error). A name nobody knows gets one warning on standard error. False
  // when the file cannot be opened; the channels stay off then.
  bool Configure(std::string_view channels, const char* path);
  // From TARVOLIN_TRACE and TARVOLIN_TRACE_FILE.
  bool ConfigureFromEnvironment();
  void SetClock(Clock clock) { m_clock = std::move(clock); }

  bool On(ETraceChannel channel) const { return (m_mask & channel) != 0; }
  // One line of TAB-separated fields; the caller tests On first.
  void Line(ETraceChannel channel, std::string_view fields);
  void LineF(ETraceChannel channel, const char* format, ...)
      __attribute__((format(printf, 3, 4)));

 private:
  void Close();

  uint32_t m_mask = 0;
  std::FILE* m_file = nullptr;
  bool m_owns_file = false;
  Clock m_clock;
};

// The process's trace.
CTrace& Tracer();

inline bool Traced(ETraceChannel channel) { return Tracer().On(channel); }
