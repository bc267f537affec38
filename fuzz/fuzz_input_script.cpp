// Feeds arbitrary bytes to the headless back end's input-script reader; each
// event it accepts must be one the pump can deliver or perform.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <string_view>

#include "base/log.h"
#include "platform/headless_platform.h"

namespace {

// What the platform relies on when it delivers or performs the event.
bool IsSound(const SInputEvent& event) {
  const SPlatformMessage& message = event.message;
  switch (event.action) {
    case EInputAction::kMessage:
      if (message.kind == EPlatformMessage::kResize)
        return message.x >= 0 && message.y >= 0;
      if (message.kind == EPlatformMessage::kShot ||
          message.kind == EPlatformMessage::kDump)
        return !message.text.empty();
      return message.kind <= EPlatformMessage::kDump;
    case EInputAction::kClip: {
      // The engine's form: Latin-1 whose line breaks are all CR LF, and that
      // leaves as well-formed UTF-8.
      for (size_t i = 0; i < event.text.size(); ++i)
        if (event.text[i] == '\n' && (i == 0 || event.text[i - 1] != '\r'))
          return false;
      std::vector<uint32_t> code_points;
      return !event.text.empty() &&
             DecodeUtf8(ClipboardToUtf8(event.text), &code_points);
    }
    case EInputAction::kClipSave:
      return !event.text.empty();
    case EInputAction::kAnswer:
      return event.answer >= kIdOk && event.answer <= kIdNo;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Malformed lines are reported on standard error; the fuzzer's own report
  // shares it, so the reader's warnings go to /dev/null only while it runs.
  static const int null_fd = open("/dev/null", O_WRONLY);
  static const int stderr_copy = dup(2);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  dup2(null_fd, 2);
  const std::vector<SInputEvent> events = ParseInputScript(text, "fuzz");
  dup2(stderr_copy, 2);
  uint64_t previous = 0;
  for (const SInputEvent& event : events) {
    // Events come out in time order, within the clock's 32 bits.
    if (event.time_ms < previous || event.time_ms > UINT32_MAX ||
        !IsSound(event))
      __builtin_trap();
    previous = event.time_ms;
  }
  return 0;
}
