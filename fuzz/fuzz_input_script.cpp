// Feeds arbitrary bytes to the headless back end's input-script reader; each
// event it accepts must be one the pump can deliver.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <string_view>

#include "platform/headless_platform.h"

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
    // Events come out in time order.
    if (event.time_ms < previous) __builtin_trap();
    previous = event.time_ms;
  }
  return 0;
}
