// Builds the bytes as a UI template on a headless desktop, runs it modally,
// clicks, double-clicks, wheels, moves through and types at every object it
// made (caret keys, Space, Backspace, Shift+End, Ctrl+Z), lets the due events
// run, and checks that the frame equals a full repaint and that
// the desktop names only live windows.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/virtual_keys.h"
#include "ui/controls.h"
#include "ui/event_queue.h"
#include "ui/ui_rig.h"
#include "ui_fuzz.h"

namespace {

// The builder reports unknown styles on standard error, which the fuzzer's
// own report shares; they go to /dev/null instead.
class CQuietStderr {
 public:
  CQuietStderr() : m_copy(dup(2)) {
    const int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 2);
    close(null_fd);
  }
  ~CQuietStderr() {
    dup2(m_copy, 2);
    close(m_copy);
  }
  CQuietStderr(const CQuietStderr&) = delete;
  CQuietStderr& operator=(const CQuietStderr&) = delete;

 private:
  int m_copy;
};

void Send(CDesktop& desktop, uint32_t code, uint32_t p1 = 0, uint32_t p2 = 0) {
  desktop.SendEvent(desktop.Id(), code, p1, p2);
}

// Everything below the desktop, as ids: handlers may destroy windows.
void CollectIds(const CWindow& window, std::vector<uint32_t>* ids) {
  for (const CWindow* child = window.FirstChild(); child; child = child->NextSibling()) {
    ids->push_back(child->Id());
    CollectIds(*child, ids);
  }
}

void Exercise(CDesktop& desktop, CEventQueue& queue, uint32_t id) {
  const CWindow* window = queue.WindowById(id);
  if (!window) return;
  const uint32_t centre = PackPoint(RectCenter(window->GetRect()));
  for (uint32_t code : {kEvMouseMove, kEvLeftDown, kEvLeftUp, kEvLeftDouble, kEvLeftUp,
                        kEvRightDown, kEvRightUp})
    Send(desktop, code, centre);
  Send(desktop, kEvWheel, centre, static_cast<uint32_t>(-1));
  Send(desktop, kEvWheel, centre, 1);
  for (uint16_t key : {kVkDown, kVkRight, kVkEnd, kVkSpace, kVkBack, kVkLeft, kVkHome})
    Send(desktop, kEvKeyDown, uint32_t{key} << 16);
  Send(desktop, kEvKeyDown, uint32_t{kVkTab} << 16);
  Send(desktop, kEvKeyDown, 'a' | uint32_t{'A'} << 16);
  Send(desktop, kEvChar, 'a');
  // Shift and Ctrl ride on the keys' second parameter.
  Send(desktop, kEvKeyDown, uint32_t{kVkEnd} << 16, kModShift);
  Send(desktop, kEvKeyDown, 'Z' | uint32_t{'Z'} << 16, kModControl);
  queue.DeliverDue(queue.Now() + 5000, 100);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const CQuietStderr quiet;
  CUiRig rig;
  rig.Dir().WriteFile("Fuzz.ini", std::string(reinterpret_cast<const char*>(data), size));
  CDesktop& desktop = rig.Desktop();
  auto* dialog = new CUIDialog(&desktop);
  dialog->LoadTemplate(rig.Dir().Join("Fuzz.ini"));
  dialog->DoModal(nullptr);
  desktop.Invalidate(desktop.GetRect(), nullptr, false);
  desktop.Present();
  std::vector<uint32_t> ids;
  CollectIds(desktop, &ids);
  for (uint32_t id : ids) Exercise(desktop, rig.Queue(), id);
  for (uint16_t key : {kVkReturn, kVkEscape}) Send(desktop, kEvKeyDown, uint32_t{key} << 16);
  desktop.Invalidate(desktop.GetRect(), nullptr, false);
  desktop.Present();
  std::vector<uint8_t> scratch;
  CheckPresentedFrame(desktop, &scratch);
  CheckDesktopReferences(desktop);
  return 0;
}
