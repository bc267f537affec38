// tvkit ui: UI templates built on a headless desktop.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "commands.h"
#include "gfx/font.h"
#include "gfx/resource_cache.h"
#include "platform/headless_platform.h"
#include "ui/controls.h"
#include "ui/desktop.h"
#include "ui/event_queue.h"
#include "ui/os_layer.h"
#include "ui/tree_dump.h"

namespace {

int Usage() {
  std::fputs("usage: tvkit ui tree <template.ini> [<object>]\n", stderr);
  return ReportError(err::kBadParams);
}

// The window system on the headless platform, as the engine assembles it,
// with a resource cache for the templates' files.
class CHeadlessDesktop {
 public:
  CHeadlessDesktop()
      : m_platform(SHeadlessOptions{}),
        m_queue(100, 10),
        m_layer(&m_platform, &m_queue),
        m_resources(std::make_unique<CFileLoader>(), CRLCache::kTableSize, CRLCache::kBudget,
                    FileResourceSize) {
    ErrCode error = err::kOk;
    m_top = m_layer.CreateWindow(&error);
    m_top->CreateFrameBuffer(COSWindow::kContentWidth, COSWindow::kContentHeight);
    m_desktop = std::make_unique<CDesktop>(m_top.get(), &m_queue);
    m_desktop->SetResources(&m_resources, nullptr);
  }
  ~CHeadlessDesktop() {
    m_desktop.reset();
    m_top.reset();
  }
  CHeadlessDesktop(const CHeadlessDesktop&) = delete;
  CHeadlessDesktop& operator=(const CHeadlessDesktop&) = delete;

  CDesktop& Desktop() { return *m_desktop; }

 private:
  CHeadlessPlatform m_platform;
  CEventQueue m_queue;
  COSLayer m_layer;
  CRLCache m_resources;
  std::unique_ptr<COSWindow> m_top;
  std::unique_ptr<CDesktop> m_desktop;
};

int Tree(int argc, char** argv) {
  if (argc < 3 || argc > 4) return Usage();
  CHeadlessDesktop headless;
  auto* dialog = new CUIDialog(&headless.Desktop());
  if (ErrCode error = dialog->LoadTemplate(argv[2], argc == 4 ? argv[3] : "")) {
    // Objects that were built still show; a missing file shows nothing.
    if (!dialog->FirstChild()) return ReportError(error);
  }
  std::fputs(DumpTree(headless.Desktop(), nullptr).c_str(), stdout);
  return 0;
}

}  // namespace

int RunUi(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "tree") == 0) return Tree(argc, argv);
  return Usage();
}
