// The SDL2 back end: one SDL window per platform window, the 8-bit frame
// converted through the palette into a streaming texture.
//
// SDL's own signal handlers are off; SIGINT and SIGTERM come through
// CQuitSignal, and a wait notices them within kSignalCheckMs. Windows must
// be destroyed before their platform, which shuts SDL down.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/platform_support.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Cursor;
union SDL_Event;

struct SSdlDeleter {
  void operator()(SDL_Window* window) const;
  void operator()(SDL_Renderer* renderer) const;
  void operator()(SDL_Texture* texture) const;
  void operator()(SDL_Cursor* cursor) const;
};

class CSdlWindow final : public CPlatformWindow {
 public:
  // Null with CREATINGWND when SDL cannot make the window, its renderer or
  // its texture.
  static std::unique_ptr<CSdlWindow> Create(int width, int height,
                                            ErrCode* error);

  void SetTitle(const char* title) override;
  void SetIcon(const SArgbImage* image) override;
  void Show() override;
  // Entries beyond the given ones turn black.
  void SetPalette(std::span<const SRgb> colors) override;
  // After a palette change the whole picture is shown in the new colours, as
  // on a palette display.
  void Present(const uint8_t* pixels, int width, int height, int pitch,
               std::span<const TRect> rects) override;
  SPresentedFrame Presented() const override;
  void ShowCursor(bool shown) override;
  void SetCursorImage(const SCursorImage* image) override;
  void WarpMouse(int x, int y) override;
  void SetCapture(bool captured) override;
  bool SetFullScreen(bool full) override;
  bool IsFullScreen() const override;
  void SetDecorated(bool decorated) override;
  void SetIntegerScale(bool integer_only) override;

 private:
  CSdlWindow(int width, int height);
  void Convert(const TRect& rect);

  CFrameShadow m_frame;
  std::array<uint32_t, 256> m_colors{};  // ARGB
  std::array<SRgb, 256> m_palette{};
  bool m_palette_changed = true;
  std::unique_ptr<SDL_Window, SSdlDeleter> m_window;
  std::unique_ptr<SDL_Renderer, SSdlDeleter> m_renderer;
  std::unique_ptr<SDL_Texture, SSdlDeleter> m_texture;
  std::unique_ptr<SDL_Cursor, SSdlDeleter> m_cursor;
};

// An SDL audio device fed by queueing (no callback): a buffer counts as
// played once SDL's queue has shrunk below the bytes queued after it.
class CSdlAudioOutput final : public CAudioOutput {
 public:
  CSdlAudioOutput(uint32_t device, const SAudioFormat& format);
  ~CSdlAudioOutput() override;
  CSdlAudioOutput(const CSdlAudioOutput&) = delete;
  CSdlAudioOutput& operator=(const CSdlAudioOutput&) = delete;

  ErrCode Write(const void* data, uint32_t size) override;
  uint32_t PendingBuffers() override;
  void Reset() override;
  void GetVolume(uint16_t* left, uint16_t* right) override;
  void SetVolume(uint16_t left, uint16_t right) override;

 private:
  uint32_t m_device;
  SAudioFormat m_format;
  uint64_t m_written = 0;
  std::deque<uint64_t> m_ends;  // m_written after each pending buffer
  uint16_t m_left = kFullAudioVolume;
  uint16_t m_right = kFullAudioVolume;
  std::vector<uint8_t> m_scratch;
};

class CSdlPlatform final : public CPlatform {
 public:
  static constexpr uint32_t kSignalCheckMs = 100;

  // Null with WINDOWSYSTEM when SDL cannot start its video, or finds only
  // its offscreen or dummy driver without SDL_VIDEODRIVER naming it.
  static std::unique_ptr<CPlatform> Create(ErrCode* error);
  ~CSdlPlatform() override;
  CSdlPlatform(const CSdlPlatform&) = delete;
  CSdlPlatform& operator=(const CSdlPlatform&) = delete;

  const char* Name() const override { return "sdl"; }
  // An SDL message box, or the line on standard error when SDL cannot show
  // one.
  int MessageBox(const char* caption, const char* text,
                 uint32_t flags) override;
  void SetScreenSaverAllowed(bool allowed) override;

  uint32_t TickCount() override;
  uint64_t HighResCounter() override;
  uint64_t HighResFrequency() override;

  bool PeekMessage(SPlatformMessage* message) override;
  void WaitMessage(uint32_t timeout_ms) override;
  void PostQuit() override;

  std::string GetClipboardText() override;
  void SetClipboardText(std::string_view text) override;

  std::unique_ptr<CPlatformWindow> CreateWindow(int width, int height,
                                                ErrCode* error) override;

  // SDL's audio starts with the first question about it; without a usable
  // audio driver there are no devices and nothing opens. Outputs must be
  // destroyed before their platform.
  int AudioDeviceCount() override;
  std::string AudioDeviceName(int device) override;
  bool AudioSupportsFormat(int device, const SAudioFormat& format) override;
  std::unique_ptr<CAudioOutput> OpenAudio(int device,
                                          const SAudioFormat& format,
                                          ErrCode* error) override;

 private:
  bool AudioReady();

  CSdlPlatform() = default;
  // Whether translated messages wait; takes a quit signal first.
  bool HasPending();
  void Translate(const SDL_Event& event);
  void Push(EPlatformMessage kind, CPlatformWindow* window);

  std::deque<SPlatformMessage> m_pending;
  CQuitSignal m_quit_signal;
  enum class EAudioState : uint8_t { kUntried, kReady, kMissing };
  EAudioState m_audio = EAudioState::kUntried;
};
