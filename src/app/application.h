// The application: brings every subsystem up in one fixed order, runs the
// main loop, and tears them down again.
//
// Start-up and shutdown are tables of named steps, run top to bottom. A step
// whose subsystem is not part of this build is a row without a function, so
// that the order stays visible in one place and later subsystems drop into
// their row.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fs/mount_config.h"
#include "platform/platform.h"
#include "script/script_machine.h"

class CAppDesktop;
class CCommandFilter;
class CEventQueue;
class CFile;
class CFont;
class CHashIni;
class COSLayer;
class COSWindow;
class CRecorder;
class CResourceLoader;
class CWaveOutMixer;

struct SProcessFlags {
  bool slow = false;
  bool crash_log = false;
  bool game_mode = false;
  bool outside_pack_first = false;
  int32_t anim_read_limit = -1;
  int32_t wave_device = 0;
  bool credits_pending = false;
  bool quit_requested = false;  // kept from whichever pump saw the quit
  bool crash_reported = false;
};

// Tool mode is the exact command line "-tool"; anything else is game mode.
bool IsToolCommandLine(int argc, const char* const* argv);

class CApplication {
 public:
  CApplication(std::unique_ptr<CPlatform> platform, bool tool_mode);
  ~CApplication();
  CApplication(const CApplication&) = delete;
  CApplication& operator=(const CApplication&) = delete;

  // Runs the whole life of the program; the answer is the exit code (0).
  int Run();

  const SProcessFlags& Flags() const { return m_flags; }

  // How a start-up step ends: go on, or leave for one of the cleanups.
  enum class EStep : uint8_t { kNext, kEarlyCleanup, kFinalCleanup, kReturn };

 private:
  struct SStartStep {
    const char* name;
    EStep (CApplication::*run)();
  };
  struct SShutdownStep {
    const char* name;
    void (CApplication::*run)();
  };
  static const SStartStep kStartSteps[];
  static const SShutdownStep kShutdownSteps[];

  EStep InitFileService();
  EStep MountPlatformFileSystem();
  EStep RecordDirectories();
  EStep FormatConfigPath();
  EStep LoadConfig();
  EStep ReadCaption();
  EStep CheckSingleInstance();
  EStep ReadSwitches();
  EStep CheckCd();
  EStep MountFileSystems();
  EStep InitGraphics();
  EStep CreateResourceCache();
  // Rows of the frame: the game's, and the tool's menu bar above them.
  int ContentHeight() const;
  EStep CreateTopLevelWindow();
  EStep StartSound();
  EStep ChooseMode();
  EStep SetFirstPalette();
  EStep CreateFrameBuffer();
  EStep CreateDesktop();
  EStep StartScriptMachine();
  void FreeScriptArrays();
  EStep ShowDesktop();
  EStep InstallFileOpenOverride();
  EStep Autoload();
  // What `main`/`autorun` asks for once the project is loaded.
  void Autorun();
  // Opens the sign-in at the intro's end.
  void SignIn();
  // The credits, when the sign-in asked for them, until they end or a quit.
  void PlayCredits();
  void PostCommand(uint32_t command);

  void CloseGame();
  // A running recording is stopped when the loop ends.
  void MainLoop();
  // One pass's sound: the recorder while a recording runs, else the mixer.
  void ServiceSound();
  // The current view hears "OnExit" once the main loop has ended.
  void LeaveCurrentView();
  // One pump pass; false once the quit message arrived.
  bool Pump();

  void WriteExitReport();
  // The "stats" trace line of the run, written when the main loop ends.
  void TraceRunStatistics() const;
  void ShowCursorAgain();
  void RemoveFileOpenOverride();
  void DestroyWindows();
  void StopSound();
  void CloseLogFile();
  void WriteToolConfig();
  void UnmountFileSystems();
  void FinalCleanup();

  std::unique_ptr<CPlatform> m_platform;
  bool m_tool_mode;
  SProcessFlags m_flags;
  std::string m_config_path;
  std::unique_ptr<CHashIni> m_config;
  std::unique_ptr<CNamedMutex> m_mutex;
  std::unique_ptr<CFile> m_lock_file;
  std::string m_lock_path;
  bool m_mounted = false;
  // Mounted when the configuration mounts no tool interface.
  ConfigEntries m_tool_interface_mount;
  std::unique_ptr<CFont> m_default_font;
  std::unique_ptr<CResourceLoader> m_resources;
  std::unique_ptr<CEventQueue> m_queue;
  std::unique_ptr<COSLayer> m_os_layer;
  std::unique_ptr<COSWindow> m_top_level;
  std::unique_ptr<CCommandFilter> m_commands;
  std::unique_ptr<CAppDesktop> m_desktop;
  std::unique_ptr<CWaveOutMixer> m_mixer;
  std::unique_ptr<CRecorder> m_recorder;
  // Saves its compile-error log as it goes.
  std::unique_ptr<CScriptMachine> m_script;
};
