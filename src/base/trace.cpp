#include "base/trace.h"

#include <cstdarg>
#include <cstdlib>

namespace {

struct SChannelName {
  const char* name;
  ETraceChannel channel;
};

constexpr SChannelName kChannels[] = {
    {"present", kTracePresent}, {"cursor", kTraceCursor},
    {"capture", kTraceCapture}, {"event", kTraceEvent},
    {"handlers", kTraceHandlers}, {"views", kTraceViews},
    {"stats", kTraceStats},
};

const char* ChannelName(ETraceChannel channel) {
  for (const SChannelName& entry : kChannels)
    if (entry.channel == channel) return entry.name;
  return "?";
}

}  // namespace

CTrace::~CTrace() { Close(); }

void CTrace::Close() {
  if (m_owns_file) std::fclose(m_file);
  m_file = nullptr;
  m_owns_file = false;
  m_mask = 0;
}

bool CTrace::Configure(std::string_view channels, const char* path) {
  Close();
  uint32_t mask = 0;
  while (!channels.empty()) {
    const size_t comma = channels.find(',');
    const std::string_view name = channels.substr(0, comma);
    channels.remove_prefix(comma == std::string_view::npos ? channels.size()
                                                           : comma + 1);
    if (name.empty()) continue;
    bool known = false;
    for (const SChannelName& entry : kChannels) {
      if (name == entry.name) {
        mask |= entry.channel;
        known = true;
      }
    }
    if (!known)
      std::fprintf(stderr, "TARVOLIN_TRACE: unknown channel \"%.*s\"\n",
                   static_cast<int>(name.size()), name.data());
  }
  if (mask == 0) return true;
  if (path && *path) {
    m_file = std::fopen(path, "w");
    if (!m_file) {
      std::fprintf(stderr, "TARVOLIN_TRACE_FILE: cannot open %s\n", path);
      return false;
    }
    m_owns_file = true;
  } else {
    m_file = stderr;
  }
  m_mask = mask;
  return true;
}

bool CTrace::ConfigureFromEnvironment() {
  const char* channels = std::getenv("TARVOLIN_TRACE");
  return Configure(channels ? channels : "", std::getenv("TARVOLIN_TRACE_FILE"));
}

void CTrace::Line(ETraceChannel channel, std::string_view fields) {
  if (!On(channel)) return;
  const uint32_t now = m_clock ? m_clock() : 0;
  std::fprintf(m_file, "%u\t%s\t%.*s\n", now, ChannelName(channel),
               static_cast<int>(fields.size()), fields.data());
  std::fflush(m_file);
}

void CTrace::LineF(ETraceChannel channel, const char* format, ...) {
  if (!On(channel)) return;
  char fields[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(fields, sizeof fields, format, arguments);
  va_end(arguments);
  Line(channel, fields);
}

CTrace& Tracer() {
  static CTrace trace;
  return trace;
}
