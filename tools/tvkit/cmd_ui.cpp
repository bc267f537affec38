// tvkit ui: UI templates built on a headless desktop.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/trace.h"
#include "commands.h"
#include "fs/drives.h"
#include "fs/mount_config.h"
#include "gfx/font.h"
#include "gfx/resource_cache.h"
#include "platform/headless_platform.h"
#include "store/hash_ini.h"
#include "ui/controls.h"
#include "ui/desktop.h"
#include "ui/event_queue.h"
#include "ui/message_box.h"
#include "ui/os_layer.h"
#include "ui/resources.h"
#include "ui/tree_dump.h"

namespace {

int Usage() {
  std::fputs(
      "usage: tvkit ui tree <template.ini> [<object>] [--game <dir>]\n"
      "       tvkit ui show <template.ini> [<object>] [--game <dir>] [--palette <file.gpl>]\n"
      "       tvkit ui box [--flags <n>] <caption> <text> [--game <dir>]\n",
      stderr);
  return ReportError(err::kBadParams);
}

constexpr char kDefaultFont[] = "/Tool Interface/Shared/arial10.fnt";
constexpr size_t kConfigSections = 10;
constexpr size_t kConfigKeys = 50;

// The mounts of a game folder's tool.ini as the engine makes them (relative
// folders from the game folder), then the shipped tool interface unless the
// game mounts its own; without a game, the shipped one alone.
ErrCode MountGame(const char* game, ConfigEntries* mounted) {
  if (game) {
    std::string folder = game;
    if (folder.back() != '/') folder += '/';
    ScanDrives({folder, folder, folder}, {});
    CHashIni config(kConfigSections, kConfigKeys);
    if (ErrCode error = config.Load((folder + "tool.ini").c_str())) return error;
    *mounted = SectionEntries(config, "FS");
    if (ErrCode error = MountFromConfig(*mounted)) return error;
  }
  const ConfigEntries shipped = ShippedToolInterface(*mounted);
  mounted->insert(mounted->end(), shipped.begin(), shipped.end());
  return MountFromConfig(shipped);
}

// The window system as the engine assembles it, on a platform of its own,
// with a resource cache for the templates' files, in the UI palette.
class CUiSession {
 public:
  CUiSession(std::unique_ptr<CPlatform> platform, const char* game)
      : m_platform(std::move(platform)),
        m_queue(100, 10),
        m_layer(m_platform.get(), &m_queue),
        m_resources(std::make_unique<CFileLoader>(), CRLCache::kTableSize, CRLCache::kBudget,
                    FileResourceSize) {
    Tracer().SetClock([this] { return m_platform->TickCount(); });
    m_top = m_layer.CreateWindow(&m_error);
    if (!m_top) return;
    m_top->SetTitle("Tarvolin");
    m_top->SetFullScreen(false);
    m_top->CreateFrameBuffer(COSWindow::kContentWidth, COSWindow::kContentHeight);

    m_desktop = std::make_unique<CDesktop>(m_top.get(), &m_queue);
    if ((m_error = MountGame(game, &m_mounts))) return;
    std::vector<SRgb> colours;
    if (LoadPaletteColours(kUiPalette, &colours) == err::kOk) m_top->SetPalette(colours);
    CObject* font = nullptr;
    if (m_resources.Lock(kResourceFont, kDefaultFont, &font, 0) == err::kOk)
      m_font = KindOf<CFont>(font);
    m_desktop->SetResources(&m_resources, m_font);
  }
  ~CUiSession() {
    m_desktop.reset();
    m_top.reset();
    if (m_font) m_resources.Unlock(kResourceFont, m_font);
    UnmountFromConfig(m_mounts);
    Tracer().SetClock(nullptr);
  }
  CUiSession(const CUiSession&) = delete;
  CUiSession& operator=(const CUiSession&) = delete;

  ErrCode Error() const { return m_error; }
  CDesktop& Desktop() { return *m_desktop; }
  COSLayer& Layer() { return m_layer; }
  COSWindow& Top() { return *m_top; }

 private:
  std::unique_ptr<CPlatform> m_platform;
  CEventQueue m_queue;
  COSLayer m_layer;
  CRLCache m_resources;
  ErrCode m_error = err::kOk;
  ConfigEntries m_mounts;
  CFont* m_font = nullptr;
  std::unique_ptr<COSWindow> m_top;
  std::unique_ptr<CDesktop> m_desktop;
};

// Builds the template's dialog; an error only when nothing could be built.
ErrCode BuildDialog(CUIDialog* dialog, int argc, char** argv) {
  const ErrCode error = dialog->LoadTemplate(argv[2], argc == 4 ? argv[3] : "");
  return dialog->FirstChild() ? err::kOk : error;
}

int Tree(int argc, char** argv, const char* game) {
  if (argc < 3 || argc > 4) return Usage();
  CUiSession session(std::make_unique<CHeadlessPlatform>(SHeadlessOptions{}), game);
  if (session.Error() != err::kOk) return ReportError(session.Error());
  if (ErrCode error = BuildDialog(new CUIDialog(&session.Desktop()), argc, argv))
    return ReportError(error);
  std::fputs(DumpTree(session.Desktop(), nullptr).c_str(), stdout);
  return 0;
}

// Prints every notification that reaches it.
class CShownDialog final : public CUIDialog {
 public:
  explicit CShownDialog(CWindow* parent) : CUIDialog(parent) {}
  uint32_t OnEvent(const SEventRecord& record) override {
    if ((record.code & 0xFFFFFF00) == 0x12345600)
      std::printf("%u\tnotify\t0x%08X\t0x%X\t0x%X\n", Desktop()->Queue()->Now(), record.code,
                  record.p1, record.p2);
    return CUIDialog::OnEvent(record);
  }
};

int Show(int argc, char** argv, const char* game) {
  // "--palette <file.gpl>" replaces the UI palette.
  const char* palette = TakeOption(&argc, argv, "--palette");
  if (argc < 3 || argc > 4) return Usage();
  Tracer().ConfigureFromEnvironment();
  ErrCode error = err::kOk;
  std::unique_ptr<CPlatform> platform = CPlatform::Create(&error);
  if (!platform) return ReportError(error);
  CUiSession session(std::move(platform), game);
  if (session.Error() != err::kOk) return ReportError(session.Error());
  if (palette) {
    std::vector<SRgb> colours;
    if ((error = LoadPaletteColours(palette, &colours))) return ReportError(error);
    session.Top().SetPalette(colours);
  }
  auto* dialog = new CShownDialog(&session.Desktop());
  if ((error = BuildDialog(dialog, argc, argv))) return ReportError(error);
  bool ended = false;
  dialog->DoModal([&](uint32_t id) {
    std::printf("%u\tend\t0x%X\n", session.Layer().Now(), id);
    ended = true;
    session.Layer().Quit();
  });
  session.Desktop().Invalidate(session.Desktop().GetRect(), nullptr, false);
  session.Desktop().Present();
  session.Top().Show();
  while (session.Layer().Pump()) session.Layer().Wait(kWaitForever);
  if (!ended) std::printf("%u\tend\t0x0\n", session.Layer().Now());
  return 0;
}

// A box's line on standard error, as the headless platform writes its own.
void EchoBox(const CPlatform& platform, const std::string& caption, const std::string& text) {
  if (std::string_view(platform.Name()) == "headless")
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

int Box(int argc, char** argv, const char* game) {
  uint32_t flags = 0;
  int first = 2;
  if (argc > 3 && std::strcmp(argv[2], "--flags") == 0) {
    char* end = nullptr;
    flags = static_cast<uint32_t>(std::strtoul(argv[3], &end, 0));
    if (*end) return Usage();
    first = 4;
  }
  if (argc != first + 2) return Usage();
  ErrCode error = err::kOk;
  std::unique_ptr<CPlatform> platform = CPlatform::Create(&error);
  if (!platform) return ReportError(error);
  const CPlatform& shown_on = *platform;
  CUiSession session(std::move(platform), game);
  if (session.Error() != err::kOk) return ReportError(session.Error());
  EchoBox(shown_on, argv[first], argv[first + 1]);
  uint32_t answer = 0;
  if (!CMessageBox::Open(&session.Desktop(), argv[first], argv[first + 1], flags,
                         [&](uint32_t id) {
                           answer = id;
                           session.Layer().Quit();
                         },
                         &error))
    return ReportError(error);
  session.Desktop().Invalidate(session.Desktop().GetRect(), nullptr, false);
  session.Desktop().Present();
  session.Top().Show();
  while (session.Layer().Pump()) session.Layer().Wait(kWaitForever);
  std::printf("%u\n", answer);
  return 0;
}

}  // namespace

int RunUi(int argc, char** argv) {
  const char* game = TakeOption(&argc, argv, "--game");
  if (argc >= 2 && std::strcmp(argv[1], "tree") == 0) return Tree(argc, argv, game);
  if (argc >= 2 && std::strcmp(argv[1], "show") == 0) return Show(argc, argv, game);
  if (argc >= 2 && std::strcmp(argv[1], "box") == 0) return Box(argc, argv, game);
  return Usage();
}
