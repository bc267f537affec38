// Runs the bytes as an input script through the real pump on a fixed window
// tree. Lines that write files write them into the run's own folder only;
// afterwards the frame must equal a full repaint and the desktop must name
// only live windows.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "ui/ui_rig.h"
#include "ui_fuzz.h"

namespace {

// The script with the file name of every shot, dump and clipsave line
// replaced by one in the rig's folder. Lines are split into words as the
// script reader splits them, after their comment is cut off.
std::string ConfineFileNames(std::string_view text) {
  std::string script;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const std::string_view content = line.substr(0, line.find('#'));
    std::string_view words[2];
    std::string_view rest = content;
    for (std::string_view& word : words) {
      rest.remove_prefix(std::min(rest.find_first_not_of(" \t"), rest.size()));
      word = rest.substr(0, std::min(rest.find_first_of(" \t"), rest.size()));
      rest.remove_prefix(word.size());
    }
    const std::string_view verb = words[1];
    if (verb == "shot" || verb == "dump" || verb == "clipsave")
      script.append(words[0]).append(" ").append(verb).append(" {dir}out");
    else
      script.append(line);
    script += '\n';
  }
  return script;
}

// The reader warns of every line it skips on standard error, which the
// fuzzer's own report shares; the warnings go to /dev/null instead.
std::unique_ptr<CUiRig> QuietRig(const std::string& script) {
  static const int null_fd = open("/dev/null", O_WRONLY);
  static const int stderr_copy = dup(2);
  dup2(null_fd, 2);
  auto rig = std::make_unique<CUiRig>(script);
  dup2(stderr_copy, 2);
  return rig;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::unique_ptr<CUiRig> rig =
      QuietRig(ConfineFileNames({reinterpret_cast<const char*>(data), size}));
  CDesktop& desktop = rig->Desktop();
  // A captures while the left button is down; B toggles its colour on left
  // down and holds C, a transparent frame; D destroys itself on right down;
  // E has the focus and turns modal, or back, on a key down.
  new CFuzzWindow(&desktop, {100, 100, 299, 299}, kStyleVisible, 1, CFuzzWindow::kCaptures);
  auto* b = new CFuzzWindow(&desktop, {200, 200, 399, 399}, kStyleVisible, 2,
                            CFuzzWindow::kToggles);
  new CFuzzWindow(b, {250, 250, 269, 269}, kStyleVisible | kStyleTransparent, 3, 0);
  new CFuzzWindow(&desktop, {400, 50, 499, 149}, kStyleVisible, 4, CFuzzWindow::kSelfDestroys);
  auto* e = new CFuzzWindow(&desktop, {50, 320, 179, 439}, kStyleVisible, 5,
                            CFuzzWindow::kModalByKey);
  desktop.SetFocus(e);
  desktop.Invalidate(desktop.GetRect(), nullptr, false);
  desktop.Present();
  rig->Run();
  desktop.Present();
  std::vector<uint8_t> scratch;
  CheckPresentedFrame(desktop, &scratch);
  CheckDesktopReferences(desktop);
  return 0;
}
