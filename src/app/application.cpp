#include "app/application.h"

#include <strings.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>

#include "base/log.h"
#include "app/commands.h"
#include "app/exit_report.h"
#include "app/intro_window.h"
#include "app/messages.h"
#include "app/open_override.h"
#include "fs/compressed_file.h"
#include "fs/drives.h"
#include "fs/file_service.h"
#include "fs/mount_config.h"
#include "fs/native_fs.h"
#include "world/bindings/bindings.h"
#include "world/view.h"
#include "world/world.h"
#include "base/random.h"
#include "script/script_array.h"
#include "script/script_call.h"
#include "script/script_ini.h"
#include "script/script_string.h"
#include "sound/mixer.h"
#include "sound/recorder.h"
#include "store/hash_ini.h"
#include "fs/hpfs.h"
#include "gfx/font.h"
#include "gfx/resource_cache.h"
#include "base/trace.h"
#include "ui/desktop.h"
#include "ui/event_queue.h"
#include "ui/menu_bar.h"
#include "ui/message_box.h"
#include "ui/resources.h"
#include "ui/os_layer.h"
#include "world/world.h"

namespace {

constexpr uint16_t kMountCapacity = 50;
constexpr rlim_t kFileHandles = 64;
constexpr uint32_t kConfigSections = 100, kConfigKeys = 1000;
constexpr uint32_t kQueueRecords = 100, kQueueFilters = 10;
constexpr char kDefaultFont[] = "/Tool Interface/Shared/arial10.fnt";
constexpr char kToolMenu[] = "VelmoraToolMenu";
constexpr uint32_t kToolWindowStyle = 0x00CA0000;
constexpr uint32_t kGameWindowStyle = 0x80000000;
constexpr uint32_t kIconResource = 128;
constexpr uint16_t kLockFileMode = 15;
constexpr uint16_t kMixerChannels = 16;
constexpr uint32_t kMixerBufferMs = 200;
// While the mixer runs, the main loop wakes at least this often to refill.
constexpr uint32_t kMixerServiceMs = 50;
// The device formats tried in turn: 22050 Hz 16-bit mono when the device
// takes it, else the nearest it does.
constexpr SoundFormat kDeviceFormats[] = {
    0x562202, 0x562200, 0x2B1102, 0x2B1100, 0xAC4402, 0xAC4400,
    0x562203, 0x562201, 0x2B1103, 0x2B1101, 0xAC4403, 0xAC4401};
constexpr const char* kFixedInstallError =
    "Installation is incorrect. Please reinstall.";

bool HasKey(const CHashIni& config, const char* section, const char* key) {
  return config.GetString(section, key) != nullptr;
}

bool IntSwitch(const CHashIni& config, const char* key) {
  int32_t value = 0;
  config.GetInt("main", key, &value);
  return value != 0;
}

// The leading decimal digits of the text; 0 when there are none.
int32_t LeadingNumber(const char* text) {
  int32_t value = 0;
  for (; text && *text >= '0' && *text <= '9'; ++text)
    value = value * 10 + (*text - '0');
  return value;
}

ConfigEntries FsEntries(const CHashIni& config) {
  return SectionEntries(config, "FS");
}

}  // namespace

bool IsToolCommandLine(int argc, const char* const* argv) {
  return argc == 2 && std::strcmp(argv[1], "-tool") == 0;
}

// The order of start-up. Rows without a function belong to subsystems that
// this build does not contain yet.
const CApplication::SStartStep CApplication::kStartSteps[] = {
    {"file service", &CApplication::InitFileService},
    {"platform file system", &CApplication::MountPlatformFileSystem},
    {"directories and drives", &CApplication::RecordDirectories},
    {"configuration path", &CApplication::FormatConfigPath},
    {"configuration", &CApplication::LoadConfig},
    {"message caption", &CApplication::ReadCaption},
    {"single instance", &CApplication::CheckSingleInstance},
    {"switches", &CApplication::ReadSwitches},
    {"CD check", &CApplication::CheckCd},
    {"file systems", &CApplication::MountFileSystems},
    {"shared graphics state", &CApplication::InitGraphics},
    {"resource cache", &CApplication::CreateResourceCache},
    {"event queue and top-level window", &CApplication::CreateTopLevelWindow},
    {"sound", &CApplication::StartSound},
    {"mode", &CApplication::ChooseMode},
    {"screen saver and palette", &CApplication::SetFirstPalette},
    {"frame buffer", &CApplication::CreateFrameBuffer},
    {"desktop", &CApplication::CreateDesktop},
    {"script registrations", &CApplication::StartScriptMachine},
    {"first presentation", &CApplication::ShowDesktop},
    {"file-open override", &CApplication::InstallFileOpenOverride},
    {"autoload", &CApplication::Autoload},
};

// The order of shutdown after the main loop; final cleanup follows.
const CApplication::SShutdownStep CApplication::kShutdownSteps[] = {
    {"script arrays", &CApplication::FreeScriptArrays},
    {"palettes, game and project", &CApplication::CloseGame},
    {"credits", &CApplication::PlayCredits},
    {"display mode", nullptr},
    {"exit report", &CApplication::WriteExitReport},
    {"cursor", &CApplication::ShowCursorAgain},
    {"open entry", &CApplication::RemoveFileOpenOverride},
    {"desktop, platform layer and event queue", &CApplication::DestroyWindows},
    {"sound", &CApplication::StopSound},
    {"memory device contexts", nullptr},
    {"log file", &CApplication::CloseLogFile},
    {"tool configuration", &CApplication::WriteToolConfig},
    {"file systems and script machine", &CApplication::UnmountFileSystems},
};

CApplication::CApplication(std::unique_ptr<CPlatform> platform, bool tool_mode)
    : m_platform(std::move(platform)),
      m_tool_mode(tool_mode),
      m_recorder(std::make_unique<CRecorder>(m_platform.get())) {
  SetMessageBoxHandler([platform = m_platform.get()](const char* caption, const char* text,
                                                     uint32_t flags) {
    return platform->MessageBox(caption, text, flags);
  });
  Tracer().ConfigureFromEnvironment();
  Tracer().SetClock([platform = m_platform.get()] { return platform->TickCount(); });
}

CApplication::~CApplication() {
  Tracer().SetClock(nullptr);
  SetMessageBoxHandler(nullptr);
  SetMessageConfig(nullptr);
}

int CApplication::Run() {
  for (const SStartStep& step : kStartSteps) {
    if (!step.run) continue;
    LogMessage(kLogEngine, "Start-up: %s\n", step.name);
    switch ((this->*step.run)()) {
      case EStep::kNext:
        continue;
      case EStep::kReturn:
        ShutdownFileService();
        return 0;
      case EStep::kEarlyCleanup:
      case EStep::kFinalCleanup:
        FinalCleanup();
        return 0;
    }
  }
  MainLoop();
  LeaveCurrentView();
  TraceRunStatistics();
  for (const SShutdownStep& step : kShutdownSteps) {
    if (!step.run) continue;
    LogMessage(kLogEngine, "Shutdown: %s\n", step.name);
    (this->*step.run)();
  }
  FinalCleanup();
  return 0;
}

CApplication::EStep CApplication::InitFileService() {
  ::InitFileService(kMountCapacity);
  return EStep::kNext;
}

CApplication::EStep CApplication::MountPlatformFileSystem() {
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < kFileHandles &&
      limit.rlim_max >= kFileHandles) {
    limit.rlim_cur = kFileHandles;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  RegisterMount("", std::make_unique<CWinFileService>(), 0);
  return EStep::kNext;
}

CApplication::EStep CApplication::RecordDirectories() {
  const SDirectories directories{m_platform->ExecutableDirectory(),
                                 m_platform->RuntimeDirectory(),
                                 m_platform->CurrentDirectory()};
  ScanDrives(directories, m_platform->DriveRoots());
  return EStep::kNext;
}

CApplication::EStep CApplication::FormatConfigPath() {
  m_config_path = ExecutableDirectoryRecord().path + "tool.ini";
  return EStep::kNext;
}

CApplication::EStep CApplication::LoadConfig() {
  m_config = std::make_unique<CHashIni>(kConfigSections, kConfigKeys);
  if (m_config->Load(m_config_path.c_str()) != err::kOk) {
    ShowMessageBox("Error", kFixedInstallError, kMbOk);
    return EStep::kFinalCleanup;
  }
  return EStep::kNext;
}

CApplication::EStep CApplication::ReadCaption() {
  SetMessageConfig(m_config.get());
  return EStep::kNext;
}

CApplication::EStep CApplication::CheckSingleInstance() {
  bool existed = false;
  m_mutex = m_platform->CreateNamedMutex("TOVM Mutex", &existed);
  if (!existed) {
    m_lock_path = SystemDirectoryRecord().path + "Tarvolin.mtx";
    m_lock_file = FsOpen(m_lock_path.c_str(), kLockFileMode, nullptr);
  }
  if (existed || !m_lock_file) {
    ShowStartupMessage("AlreadyRunning");
    return EStep::kReturn;
  }
  return EStep::kNext;
}

CApplication::EStep CApplication::ReadSwitches() {
  m_flags.slow = IntSwitch(*m_config, "Slow");
  m_flags.crash_log = IntSwitch(*m_config, "CrashLog");
  SetLogMode(!m_tool_mode, m_flags.crash_log);
  return EStep::kNext;
}

CApplication::EStep CApplication::CheckCd() {
  const char* value = m_config->GetString("FS", "/CD/");
  if (!value || std::strlen(value) < 7) return EStep::kNext;
  const char* directory = value + 6;
  while (*directory == ' ') ++directory;
  const std::string pack = std::string(directory) + "Pack2.pak";
  if (FsExists(pack.c_str())) return EStep::kNext;
  ShowStartupMessage("CDNotFound");
  return EStep::kFinalCleanup;
}

CApplication::EStep CApplication::MountFileSystems() {
  const ConfigEntries entries = FsEntries(*m_config);
  ErrCode error;
  {
    // Packs and stores may themselves be stored compressed.
    CDecompressingHook hook;
    error = MountFromConfig(entries);
  }
  if (error != err::kOk) {
    UnmountFromConfig(entries);
    ShowStartupMessage("CDNotFound");
    return EStep::kFinalCleanup;
  }
  m_mounted = true;
  m_tool_interface_mount = ShippedToolInterface(entries);
  MountFromConfig(m_tool_interface_mount);
  return EStep::kNext;
}

CApplication::EStep CApplication::InitGraphics() {
  ErrCode error = err::kOk;
  m_default_font = CFont::Load(kDefaultFont, &error);
  if (!m_default_font)
    LogMessage(kLogEngine, "No default font %s (%s)\n", kDefaultFont, ErrName(error));
  return EStep::kNext;
}

CApplication::EStep CApplication::CreateResourceCache() {
  m_resources = std::make_unique<CRLCache>(std::make_unique<CFileLoader>(), CRLCache::kTableSize,
                                           CRLCache::kBudget, FileResourceSize);
  return EStep::kNext;
}

int CApplication::ContentHeight() const {
  // The tool's menu bar sits above the game's 640 x 480.
  return COSWindow::kContentHeight + (m_tool_mode ? CUIMenu::kBarHeight : 0);
}

CApplication::EStep CApplication::CreateTopLevelWindow() {
  m_queue = std::make_unique<CEventQueue>(kQueueRecords, kQueueFilters);
  m_os_layer = std::make_unique<COSLayer>(m_platform.get(), m_queue.get());
  m_commands = std::make_unique<CCommandFilter>(m_os_layer.get(), !m_tool_mode);
  m_queue->AddFilter(m_commands.get(), 0);
  ErrCode error = err::kOk;
  m_top_level = m_os_layer->CreateWindow(&error, ContentHeight());
  if (!m_top_level) {
    LogMessage(kLogEngine, "No top-level window (%s)\n", ErrName(error));
    return EStep::kFinalCleanup;
  }
  m_top_level->SetTitle("Tarvolin");
  if (HasKey(*m_config, "main", "IntegerScale"))
    m_top_level->PlatformWindow()->SetIntegerScale(true);
  return EStep::kNext;
}

CApplication::EStep CApplication::StartSound() {
  if (HasKey(*m_config, "main", "NoSound")) m_flags.wave_device = -1;
  m_mixer = std::make_unique<CWaveOutMixer>(m_platform.get());
  if (m_flags.wave_device != 0) m_mixer->SelectDevice(m_flags.wave_device);
  const SoundFormat* format = std::find_if(
      std::begin(kDeviceFormats), std::end(kDeviceFormats),
      [&](SoundFormat candidate) { return m_mixer->SupportsFormat(candidate); });
  if (format == std::end(kDeviceFormats) ||
      m_mixer->Open(*format, kMixerChannels, kMixerBufferMs) != err::kOk ||
      m_mixer->Start() != err::kOk) {
    m_mixer.reset();
    ShowStartupMessage("SoundUnavailable");
    return EStep::kEarlyCleanup;
  }
  return EStep::kNext;
}

CApplication::EStep CApplication::ChooseMode() {
  if (m_tool_mode) {
    m_top_level->SetFullScreen(false);
    m_top_level->SetOption(kOptionMenu, SOptionValue::Text(kToolMenu));
    m_top_level->SetOption(kOptionStyle, SOptionValue::Number(kToolWindowStyle));
    return EStep::kNext;
  }
  m_flags.game_mode = true;
  if (HasKey(*m_config, "main", "NoModeSwitch")) {
    m_top_level->SetFullScreen(false);
    return EStep::kNext;
  }
  if (m_os_layer->SetMode(COSLayer::kLogicalMode) != err::kOk) {
    ShowStartupMessage("CannotSwitchVideoMode");
    return EStep::kFinalCleanup;
  }
  m_top_level->SetOption(kOptionStyle, SOptionValue::Number(kGameWindowStyle));
  return EStep::kNext;
}

CApplication::EStep CApplication::SetFirstPalette() {
  m_os_layer->SetOption(kOptionNoScreenSaver, SOptionValue::Number(1));
  // Tool mode shows its tools before any game sets a palette.
  std::vector<SRgb> colours(256);
  if (m_tool_mode && LoadPaletteColours(kUiPalette, &colours) != err::kOk)
    LogMessage(kLogTool, "No UI palette %s\n", kUiPalette);
  m_top_level->SetPalette(colours);
  return EStep::kNext;
}

CApplication::EStep CApplication::CreateFrameBuffer() {
  int width = 0, height = 0, depth = 0;
  m_os_layer->GetMode(m_os_layer->GetCurrentMode(), &width, &height, &depth);
  const int content_height = ContentHeight();
  const auto left = static_cast<int16_t>(std::max(0, width / 2 - COSWindow::kContentWidth / 2));
  const auto top = static_cast<int16_t>(std::max(0, height / 2 - content_height / 2));
  m_top_level->SetContentRect({left, top, static_cast<int16_t>(left + COSWindow::kContentWidth - 1),
                               static_cast<int16_t>(top + content_height - 1)});
  m_top_level->CreateFrameBuffer(COSWindow::kContentWidth, content_height);
  return EStep::kNext;
}

CApplication::EStep CApplication::CreateDesktop() {
  m_desktop = std::make_unique<CAppDesktop>(m_top_level.get(), m_queue.get(), m_commands.get(),
                                            !m_tool_mode);
  m_desktop->SetStyle(m_desktop->GetStyle() & ~kStyleColorUpdate, false);
  m_desktop->SetBackground(CDesktop::kEngineBackground);
  m_desktop->SetResources(m_resources.get(), m_default_font.get());
  if (m_tool_mode) {
    new CUIMenu(m_desktop.get(), m_top_level.get());
    const TRect whole = m_desktop->GetRect();
    m_desktop->SetStageRect({whole.left, static_cast<int16_t>(whole.top + CUIMenu::kBarHeight),
                             whole.right, whole.bottom});
  }
  // From here on boxes are the engine's own; they answer through
  // continuations, so the main loop stays the only loop.
  SetEngineBoxHandler([this](const char* caption, const char* text, uint32_t flags) {
    if (std::string_view(m_platform->Name()) == "headless")
      std::fprintf(stderr, "%s: %s\n", caption, text);
    ErrCode error = err::kOk;
    if (!CMessageBox::Open(m_desktop.get(), caption, text, flags, nullptr, &error))
      return m_platform->MessageBox(caption, text, flags);
    return 0;
  });
  return EStep::kNext;
}

CApplication::EStep CApplication::ShowDesktop() {
  m_desktop->Invalidate(m_desktop->GetRect(), nullptr, false);
  m_desktop->Present();
  m_top_level->Show();
  m_top_level->SetOption(kOptionIcon, SOptionValue::Number(kIconResource));
  if (!Pump()) m_flags.quit_requested = true;
  return EStep::kNext;
}

CApplication::EStep CApplication::InstallFileOpenOverride() {
  m_flags.outside_pack_first = HasKey(*m_config, "main", "OutsidePAKFirst");
  const int32_t limit =
      LeadingNumber(m_config->GetString("main", "AnimReadLimit"));
  if (limit != 0) {
    m_flags.anim_read_limit = limit;
    LogMessage(kLogEngine, "Anim Read Limit: %d\n", limit);
  }
  InstallOpenOverride(
      {ExecutableDirectoryRecord().path, m_flags.outside_pack_first});
  return EStep::kNext;
}

// A project that cannot be loaded leaves the tool without one; a game
// without its world has nothing to run.
CApplication::EStep CApplication::Autoload() {
  const char* name = m_config->GetString("main", "autoload");
  if (!name) return EStep::kNext;
  const std::string path =
      name[0] == '/' ? std::string(name) : ExecutableDirectoryRecord().path + name;
  if (m_commands->LoadProject(path) != err::kOk ||
      m_commands->CheckScriptVersion() != err::kOk) {
    ShowStartupMessage("BadInstall");
    if (!m_tool_mode) m_os_layer->Quit();
    return EStep::kNext;
  }
  if (!m_tool_mode || m_config->GetString("main", "autorun")) Autorun();
  return EStep::kNext;
}

void CApplication::Autorun() {
  const char* autorun = m_config->GetString("main", "autorun");
  if (autorun && strcasecmp(autorun, "Intro") == 0) {
    CIntroWindow::SOptions options;
    options.slow = m_flags.slow;
    options.tool_mode = m_tool_mode;
    options.finished = [this] { SignIn(); };
    new CIntroWindow(m_desktop.get(), std::move(options));
    return;
  }
  if (autorun && strcasecmp(autorun, "SignIn") == 0)
    LogMessage(kLogEngine, "autorun %s: not built yet\n", autorun);
  PostCommand(kCmdNewGame);
}

// Until players sign in, the game starts for everyone at once.
void CApplication::SignIn() {
  m_top_level->ShowCursor(true);
  PostCommand(kCmdNewGame);
}

void CApplication::PlayCredits() {
  if (!m_flags.credits_pending) return;
  CIntroWindow::SOptions options;
  options.mode = CIntroWindow::EMode::kCredits;
  options.slow = m_flags.slow;
  options.tool_mode = m_tool_mode;
  options.finished = [this] { m_flags.credits_pending = false; };
  new CIntroWindow(m_desktop.get(), std::move(options));
  bool running = Pump();
  while (running && m_flags.credits_pending) {
    m_os_layer->Wait(m_mixer ? kMixerServiceMs : kWaitForever);
    if (m_mixer) m_mixer->Process();
    running = Pump();
  }
}

void CApplication::PostCommand(uint32_t command) {
  SEventRecord record;
  record.delivery = kDeliverWindow;
  record.target = m_desktop->Id();
  record.code = kEvMenuCommand;
  record.p1 = command;
  record.posted = record.due = m_queue->Now();
  m_queue->Post(record);
}

void CApplication::CloseGame() {
  if (m_commands) m_commands->CloseProject();
}

void CApplication::MainLoop() {
  while (!m_flags.quit_requested && Pump() && !m_flags.credits_pending) {
    ServiceSound();
    m_os_layer->Wait(m_mixer || m_recorder->Active() ? kMixerServiceMs : kWaitForever);
  }
  m_recorder->Stop();
}

void CApplication::ServiceSound() {
  if (!m_recorder->Active()) {
    if (m_mixer) m_mixer->Process();
  } else if (m_recorder->Elapsed() < CRecorder::kMaxMs) {
    m_recorder->Service();
  } else if (CWGame* game = m_commands->Game()) {
    game->World().StopRecording();
  } else {
    m_recorder->Stop();
  }
}

void CApplication::LeaveCurrentView() {
  CWGame* game = m_commands ? m_commands->Game() : nullptr;
  if (CWPlaneViewWindow* view = game ? game->World().CurrentView() : nullptr)
    view->CallSite("OnExit");
}

bool CApplication::Pump() {
  if (!m_os_layer->Pump()) m_flags.quit_requested = true;
  return !m_flags.quit_requested;
}

void CApplication::TraceRunStatistics() const {
  if (!Traced(kTraceStats)) return;
  const auto cpu_ms = static_cast<unsigned long long>(std::clock()) * 1000 / CLOCKS_PER_SEC;
  Tracer().LineF(kTraceStats, "virtual_ms=%u\tframes=%llu\thandler_calls=%llu\tcpu_ms=%llu",
                 m_platform->TickCount(),
                 static_cast<unsigned long long>(m_top_level ? m_top_level->PresentCount() : 0),
                 static_cast<unsigned long long>(m_script ? m_script->Calls().handler_calls : 0),
                 cpu_ms);
}

void CApplication::WriteExitReport() {
  if (m_flags.crash_reported) return;
  m_flags.crash_reported = true;
  if (!m_flags.crash_log) return;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  ::WriteExitReport(local.tm_mon + 1, local.tm_mday);
}

void CApplication::ShowCursorAgain() { m_top_level->ShowCursor(true); }

void CApplication::RemoveFileOpenOverride() { RemoveOpenOverride(); }

void CApplication::DestroyWindows() {
  SetEngineBoxHandler(nullptr);
  if (m_queue && m_commands) m_queue->RemoveFilter(m_commands.get());
  m_commands.reset();
  m_desktop.reset();
  m_top_level.reset();
  m_os_layer.reset();
  m_queue.reset();
}

void CApplication::StopSound() {
  if (m_script) SetScriptMixer(*m_script, nullptr);
  m_mixer.reset();
}

void CApplication::CloseLogFile() {
  if (HasLogSink()) SetLogSink(nullptr);
}

void CApplication::WriteToolConfig() {
  if (!m_tool_mode) return;
  const std::string path = ExecutableDirectoryRecord().path + "Tool.ini";
  if (ErrCode error = m_config->Save(path.c_str()))
    LogMessage(kLogEngine, "Cannot write %s (%s)\n", path.c_str(),
               ErrName(error));
}

// The world and engine modules join the library here as their
// subsystems arrive; a machine that cannot start leaves nothing to run.
CApplication::EStep CApplication::StartScriptMachine() {
  m_script = std::make_unique<CScriptMachine>();
  if (m_script->Init(kWorldModules) != err::kOk) return EStep::kFinalCleanup;
  int32_t step_limit = 0;
  if (m_config->GetInt("main", "ScriptStepLimit", &step_limit) == err::kOk && step_limit > 0)
    m_script->Calls().step_limit = static_cast<uint64_t>(step_limit);
  m_script->Calls().tool_mode = m_tool_mode;
  SetScriptPlatform(*m_script, m_platform.get());
  SetScriptMixer(*m_script, m_mixer.get());
  m_commands->SetStage(
      {m_script.get(), m_queue.get(), m_desktop.get(), m_tool_mode, m_recorder.get()});
  if (SeedEngineRandomAtStart() != err::kOk) {
    LogMessage(kLogEngine, "%s\n", kSeedError);
    ShowMessageBox(MessageCaption(), kSeedError, kMbOk);
    return EStep::kFinalCleanup;
  }
  return EStep::kNext;
}

void CApplication::FreeScriptArrays() {
  if (m_script) {
    m_script->Arrays().Clear();
    m_script->Inis().Clear();
  }
  StrFreeAll();
}

void CApplication::UnmountFileSystems() {
  if (m_mounted) UnmountFromConfig(FsEntries(*m_config));
  UnmountFromConfig(m_tool_interface_mount);
  m_tool_interface_mount.clear();
  m_mounted = false;
  m_script.reset();
  m_resources.reset();
  m_default_font.reset();
}

void CApplication::FinalCleanup() {
  SetMessageConfig(nullptr);
  m_config.reset();
  if (m_lock_file) {
    m_lock_file.reset();
    FsDelete(m_lock_path.c_str());
  }
  m_script.reset();
  ShutdownFileService();
  m_mixer.reset();
  m_resources.reset();
  m_default_font.reset();
  DestroyWindows();
}
