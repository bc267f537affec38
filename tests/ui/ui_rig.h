// The real window system on the headless platform: queue, platform layer,
// top-level window and desktop, driven by an input script and traced to a
// file, with a grey-ramp palette (entry n is (n, n, n)).
#pragma once

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/trace.h"
#include "fs/file_service.h"
#include "fs/mount_config.h"
#include "fs/native_fs.h"
#include "gfx/font.h"
#include "gfx/resource_cache.h"
#include "platform/headless_platform.h"
#include "support/temp_dir.h"
#include "ui/controls.h"
#include "ui/desktop.h"
#include "ui/event_queue.h"
#include "ui/os_layer.h"

class CUiRig {
 public:
  // On the headless platform, reading `script`; "{dir}" in it stands for the
  // rig's own folder.
  explicit CUiRig(const std::string& script = "") {
    std::string text = script;
    for (size_t at; (at = text.find("{dir}")) != std::string::npos;)
      text.replace(at, 5, m_dir.Path());
    m_dir.WriteFile("input.txt", text);
    SHeadlessOptions options;
    options.script_path = script.empty() ? "" : m_dir.Join("input.txt");
    options.idle_quit_ms = 100;
    Start(std::make_unique<CHeadlessPlatform>(options));
  }
  explicit CUiRig(std::unique_ptr<CPlatform> platform) { Start(std::move(platform)); }
  ~CUiRig() {
    UnmountFromConfig(m_tool_interface);
    m_desktop.reset();
    m_top.reset();
    m_layer.reset();
    m_platform.reset();
    Tracer().Configure("", nullptr);
    Tracer().SetClock(nullptr);
    ShutdownFileService();
  }

  // Pumps as the main loop does until the script's quit.
  void Run() {
    while (m_layer->Pump()) m_layer->Wait(kWaitForever);
  }
  // Mounts the built tool interface as "/Tool Interface/" and gives the
  // desktop its font; false without the font.
  bool UseToolInterface(const std::string& folder) {
    m_tool_interface = {{kToolInterfacePrefix, "Trans, " + folder}};
    MountFromConfig(m_tool_interface);
    ErrCode error = err::kOk;
    m_font = CFont::Load("/Tool Interface/Shared/arial10.fnt", &error);
    m_desktop->SetResources(&m_resources, m_font.get());
    return m_font != nullptr;
  }
  // One pump pass over whatever is pending.
  void Pump() { m_layer->Pump(); }
  std::vector<std::string> TraceLines(const std::string& containing = "") const {
    std::istringstream in(m_dir.ReadFile("trace.txt"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      // Drop the time field.
      line = line.substr(line.find('\t') + 1);
      if (line.find(containing) != std::string::npos) lines.push_back(line);
    }
    return lines;
  }
  const CTempDir& Dir() const { return m_dir; }
  CDesktop& Desktop() { return *m_desktop; }
  CEventQueue& Queue() { return *m_queue; }
  CPlatform& Platform() { return *m_platform; }
  COSLayer& Layer() { return *m_layer; }
  COSWindow& Top() { return *m_top; }

 private:
  void Start(std::unique_ptr<CPlatform> platform) {
    InitFileService(50);
    RegisterMount("", std::make_unique<CWinFileService>(), 0);
    m_platform = std::move(platform);
    Tracer().Configure("event,present,capture,cursor", m_dir.Join("trace.txt").c_str());
    Tracer().SetClock([this] { return m_platform->TickCount(); });
    m_queue = std::make_unique<CEventQueue>(100, 10);
    m_layer = std::make_unique<COSLayer>(m_platform.get(), m_queue.get());
    ErrCode error = err::kOk;
    m_top = m_layer->CreateWindow(&error);
    m_top->CreateFrameBuffer(COSWindow::kContentWidth, COSWindow::kContentHeight);
    std::vector<SRgb> grey(256);
    for (int i = 0; i < 256; ++i)
      grey[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)};
    m_top->SetPalette(grey);
    m_desktop = std::make_unique<CDesktop>(m_top.get(), m_queue.get());
    m_desktop->SetResources(&m_resources, nullptr);
  }

  CTempDir m_dir;
  ConfigEntries m_tool_interface;
  std::unique_ptr<CFont> m_font;
  CRLCache m_resources{std::make_unique<CFileLoader>(), CRLCache::kTableSize, CRLCache::kBudget,
                       FileResourceSize};
  std::unique_ptr<CPlatform> m_platform;
  std::unique_ptr<CEventQueue> m_queue;
  std::unique_ptr<COSLayer> m_layer;
  std::unique_ptr<COSWindow> m_top;
  std::unique_ptr<CDesktop> m_desktop;
};

// A dialog that records what reaches it: "<code> <p1> <p2> @<ms>".
class CRecordingDialog : public CUIDialog {
 public:
  explicit CRecordingDialog(CWindow* parent) : CUIDialog(parent) {}
  uint32_t OnEvent(const SEventRecord& record) override {
    char line[64];
    std::snprintf(line, sizeof line, "%X %u %u @%u", record.code, record.p1, record.p2,
                  Desktop()->Queue()->Now());
    reports.push_back(line);
    return 0;
  }
  std::vector<std::string> reports;
};
