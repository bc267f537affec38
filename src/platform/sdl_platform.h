// The SDL2 back end: one SDL window per platform window, the 8-bit frame
// converted through the palette into a streaming texture.
//
// Double clicks are paired here rather than by SDL: a down of the same
// button within kDoubleClickMs (by the events' time stamps) and
// kDoubleClickDistance frame pixels of the previous down is the double
// click; the down after it starts over. Alt+Enter toggles full screen and
// gives no key messages; in full screen neither do Alt+Tab, Alt+Esc and
// Alt+Space.
//
// SDL's own signal handlers are off; SIGINT and SIGTERM come through
// CQuitSignal, and a wait notices them within kSignalCheckMs. Windows must
// be destroyed before their platform, which shuts SDL down.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/frame_mapping.h"
#include "platform/platform.h"
#include "platform/platform_support.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Cursor;
struct SDL_Surface;
union SDL_Event;

struct SSdlDeleter {
  void operator()(SDL_Window* window) const;
  void operator()(SDL_Renderer* renderer) const;
  void operator()(SDL_Texture* texture) const;
  void operator()(SDL_Cursor* cursor) const;
};

class CSdlPlatform;

// Scaling is sharp: the frame is enlarged by the whole factor above the
// scale (nearest neighbour) into an intermediate texture, which is filtered
// down to the final size. One CFrameMapping serves drawing, the mouse,
// warps and the cursor's size.
//
// SDL's software renderer draws into the window surface and shows all of it
// at every present. At whole scales such windows skip the renderer: the
// changed rectangles are converted straight into the window surface, each
// frame pixel a scale x scale block, and only they are shown. Everything is
// drawn again after a change of palette, mapping, path or surface, and
// after the window was exposed.
class CSdlWindow final : public CPlatformWindow {
 public:
  // Null with CREATINGWND when SDL cannot make the window, its renderer or
  // its texture.
  static std::unique_ptr<CSdlWindow> Create(CSdlPlatform* platform, int width,
                                            int height, ErrCode* error);
  ~CSdlWindow() override;
  CSdlWindow(const CSdlWindow&) = delete;
  CSdlWindow& operator=(const CSdlWindow&) = delete;

  void SetTitle(const char* title) override;
  void SetIcon(const SArgbImage* image) override;
  void Show() override;
  void SetPalette(std::span<const SRgb> colors) override;
  void Present(const uint8_t* pixels, int width, int height, int pitch,
               std::span<const TRect> rects) override;
  SPresentedFrame Presented() const override;
  void ShowCursor(bool shown) override;
  // Images of 0 or more than kMaxCursorSide pixels a side give the arrow.
  void SetCursorImage(const SCursorImage* image) override;
  void WarpMouse(int x, int y) override;
  void SetCapture(bool captured) override;
  bool SetFullScreen(bool full) override;
  bool IsFullScreen() const override;
  void SetDecorated(bool decorated) override;
  void SetIntegerScale(bool integer_only) override;

  static constexpr int kMaxCursorSide = 256;

  // Where the frame shows now.
  const CFrameMapping& Mapping() const { return m_mapping; }

 private:
  friend class CSdlPlatform;
  friend class CSdlEventInjector;

  struct SCursorSource {
    int width = 0, height = 0, hot_x = 0, hot_y = 0;
    std::vector<uint8_t> pixels;
    std::array<SRgb, 256> palette{};
    uint8_t transparent = 0;
  };

  CSdlWindow(CSdlPlatform* platform, int width, int height);
  // Follows the window's size: the mapping, the intermediate texture and
  // the cursor's scale.
  void UpdateMapping();
  // Shows the changed rectangles of m_frame, or all of it when due.
  void Show(std::vector<TRect> changed);
  // The window surface when the frame goes there rather than through the
  // renderer; null otherwise.
  SDL_Surface* DirectSurface() const;
  void PaintSurface(SDL_Surface* surface, const std::vector<TRect>& rects,
                    bool whole);
  void Convert(const TRect& rect);
  // Brings the intermediate texture up to date for the rectangles.
  void Enlarge(const std::vector<TRect>& rects);
  // Draws the picture into the renderer without showing it.
  void Compose();
  void ApplyCursor();
  // The cursor enlarged `factor` times: in colour, else in black and white;
  // null when SDL makes neither.
  SDL_Cursor* MakeCursor(int factor) const;
  // The windowed size: the largest whole scale within 85 % of the display.
  void FitWindowed();
  // Whether a motion to (x, y) of the window is SDL's echo of a warp; the
  // echo is taken.
  bool TakeWarpEcho(int x, int y);
  // Whether the client size differs from the one last reported.
  bool TakeResize(int width, int height);

  CSdlPlatform* m_platform;
  CFrameShadow m_frame;
  std::array<uint32_t, 256> m_colors{};  // ARGB
  std::array<SRgb, 256> m_palette{};
  std::array<uint32_t, 256> m_surface_colors{};  // in m_surface's format
  bool m_repaint = true;  // everything at the next present
  // The window surface shown on at the last present, null after one through
  // the renderer; SDL owns it, and it is only compared.
  SDL_Surface* m_surface = nullptr;
  bool m_software_renderer = false;
  CFrameMapping m_mapping;
  bool m_integer_only = false;
  int m_target_factor = 0;  // of m_target; 0 without one
  std::unique_ptr<SDL_Window, SSdlDeleter> m_window;
  std::unique_ptr<SDL_Renderer, SSdlDeleter> m_renderer;
  std::unique_ptr<SDL_Texture, SSdlDeleter> m_texture;
  std::unique_ptr<SDL_Texture, SSdlDeleter> m_target;
  std::unique_ptr<SDL_Cursor, SSdlDeleter> m_cursor;
  std::optional<SCursorSource> m_cursor_source;
  int m_cursor_factor = 0;
  bool m_warp_pending = false;
  int m_warp_x = 0, m_warp_y = 0;
  int m_reported_width = 0, m_reported_height = 0;
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

// SDL's default capture device, read by dequeueing (no callback).
class CSdlAudioInput final : public CAudioInput {
 public:
  explicit CSdlAudioInput(uint32_t device);
  ~CSdlAudioInput() override;
  CSdlAudioInput(const CSdlAudioInput&) = delete;
  CSdlAudioInput& operator=(const CSdlAudioInput&) = delete;

  void Read(std::vector<uint8_t>* samples) override;

 private:
  uint32_t m_device;
};

class CSdlPlatform final : public CPlatform {
 public:
  static constexpr uint32_t kSignalCheckMs = 100;
  static constexpr uint32_t kDoubleClickMs = 500;
  static constexpr int kDoubleClickDistance = 2;

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

  std::vector<SDisplayMode> DisplayModes() override;
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
  // Inputs too must be destroyed before their platform.
  std::unique_ptr<CAudioInput> OpenAudioInput(ErrCode* error) override;

 private:
  bool AudioReady();

  friend class CSdlWindow;
  struct SDown {
    CPlatformWindow* window = nullptr;
    uint8_t button = 0;
    uint32_t time = 0;
    int x = 0, y = 0;
  };

  CSdlPlatform() = default;
  // Whether translated messages wait; takes a quit signal first.
  bool HasPending();
  void Translate(const SDL_Event& event);
  void TranslateWindowEvent(const SDL_Event& event);
  void TranslateKey(const SDL_Event& event);
  void Push(EPlatformMessage kind, CPlatformWindow* window);
  // Whether a down pairs with the previous one into a double click.
  bool PairsDown(const SDown& down);

  std::deque<SPlatformMessage> m_pending;
  std::vector<CSdlWindow*> m_windows;
  std::optional<SDown> m_last_down;
  std::vector<int> m_swallowed_keys;  // scancodes whose release is dropped
  CQuitSignal m_quit_signal;
  enum class EAudioState : uint8_t { kUntried, kReady, kMissing };
  EAudioState m_audio = EAudioState::kUntried;
};
