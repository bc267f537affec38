// The engine's side of the platform: the platform layer COSLayer (message
// pump, clock, display modes) and the top-level window COSWindow, whose
// window procedure turns the platform's messages into engine events for the
// desktop, whichever back end produced them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/geometry.h"
#include "gfx/bitmap.h"
#include "platform/platform.h"
#include "ui/event.h"
#include "ui/menu.h"

class CCursor;
class CDesktop;
class CEventQueue;
class COSLayer;

// Window option keys.
enum : uint32_t {
  kOptionStyle = 0x10001,         // 0x00C00000 decorated, 0x80000000 borderless
  kOptionClassName = 0x20001,
  kOptionMenu = 0x20002,          // the named menu resource
  kOptionExtendedStyle = 0x20003,
  kOptionHandle = 0x20004,        // get only: the window's id
  kOptionOwner = 0x20005,
  kOptionItemText = 0x20007,      // item, text
  kOptionItemChecked = 0x20008,   // item, number
  kOptionItemEnabled = 0x20009,   // item, number
  kOptionIcon = 0x20018,          // number: the icon resource
  kOptionRepresent = 0x20019,     // rect
  // Platform layer options.
  kOptionNoScreenSaver = 0x2000A,  // number
  kOptionWriteBinary = 0x2000B,    // text: a "Binary" resource to write out
};

struct SOptionValue {
  uint32_t number = 0;
  uint32_t item = 0;
  std::string text;
  TRect rect{};

  static SOptionValue Number(uint32_t number, uint32_t item = 0) {
    SOptionValue value;
    value.number = number;
    value.item = item;
    return value;
  }
  static SOptionValue Text(std::string text, uint32_t item = 0) {
    SOptionValue value;
    value.text = std::move(text);
    value.item = item;
    return value;
  }
};

class COSWindow {
 public:
  static constexpr int kContentWidth = 640;
  static constexpr int kContentHeight = 480;

  COSWindow(COSLayer* layer, std::unique_ptr<CPlatformWindow> window, uint32_t id);
  ~COSWindow();
  COSWindow(const COSWindow&) = delete;
  COSWindow& operator=(const COSWindow&) = delete;

  void SetTitle(const char* title) { m_window->SetTitle(title); }
  void Show() { m_window->Show(); }
  // "Unknown error" for keys the window does not know, and for menu items
  // without a menu or of a menu that lacks them.
  ErrCode SetOption(uint32_t key, const SOptionValue& value);
  ErrCode GetOption(uint32_t key, SOptionValue* value) const;
  // Full screen follows the display mode; out of it the window is decorated.
  void SetFullScreen(bool full);
  bool IsFullScreen() const { return m_full_screen; }

  void SetPalette(std::span<const SRgb> colors);
  const std::array<SRgb, 256>& Palette() const { return m_palette; }
  void SetContentRect(const TRect& rect) { m_content = rect; }
  TRect ContentRect() const { return m_content; }
  void CreateFrameBuffer(int width, int height);
  SPixelView FrameView();
  // Copies the rectangles of the frame (empty: all of it) to the screen.
  void Present(std::span<const TRect> rects);
  void SetRegion(std::vector<TRect> region) { m_region = std::move(region); }

  void SetClient(CDesktop* desktop) { m_client = desktop; }
  CDesktop* Client() const { return m_client; }
  const CMenuModel* Menu() const { return m_menu.get(); }
  CMenuModel* Menu() { return m_menu.get(); }
  // A menu is about to show its items (0xF00 to the desktop).
  void MenuOpening() { Send(kEvMenuOpened); }
  // Reports the command of an enabled item (0x800); others are logged.
  void ChooseMenu(uint32_t command);

  void ShowCursor(bool shown);
  void SetCursor(const CCursor* cursor);
  // Presents that copied pixels so far.
  uint64_t PresentCount() const { return m_presents; }
  // Moves the mouse to a point of the content; one mouse move follows.
  void WarpMouse(TPoint point);
  void SetCapture(bool captured) { m_window->SetCapture(captured); }

  // Turns one platform message into engine events.
  void WindowProc(const SPlatformMessage& message);
  // Once per pump pass: notices a mouse that left the content.
  void Idle();

  uint32_t Id() const { return m_id; }
  CPlatformWindow* PlatformWindow() const { return m_window.get(); }

 private:
  // Sends an event to the desktop at once; its answer.
  uint32_t Send(uint32_t code, uint32_t p1 = 0, uint32_t p2 = 0);
  void OnMouseMessage(uint32_t code, const SPlatformMessage& message);
  void OnMenu(uint32_t command);
  void OnClose();
  void OnPaint();
  void WriteShot(const std::string& path);
  void WriteDump(const std::string& path);

  COSLayer* m_layer;
  std::unique_ptr<CPlatformWindow> m_window;
  uint32_t m_id;
  CDesktop* m_client = nullptr;
  std::unique_ptr<CMenuModel> m_menu;
  std::array<SRgb, 256> m_palette{};
  TRect m_content{0, 0, kContentWidth - 1, kContentHeight - 1};
  int m_frame_width = 0;
  int m_frame_height = 0;
  uint64_t m_presents = 0;
  std::vector<uint8_t> m_frame;
  std::vector<TRect> m_region;
  uint32_t m_style = 0;
  uint32_t m_extended_style = 0;
  uint32_t m_owner = 0;
  std::string m_class_name;
  bool m_full_screen = true;
  bool m_mouse_seen = false;
  TPoint m_last_mouse;
  // The cursor shown, as traced: its image path (empty: the arrow) and hot
  // spot.
  std::string m_cursor_path;
  TPoint m_cursor_hot;
  bool m_cursor_known = false;
};

class COSLayer {
 public:
  // The logical 640 x 480 x 8-bit mode, always mode 1: full screen, scaled.
  static constexpr int kLogicalMode = 1;
  static constexpr uint32_t kDeliverLimit = 100;

  COSLayer(CPlatform* platform, CEventQueue* queue);
  ~COSLayer();
  COSLayer(const COSLayer&) = delete;
  COSLayer& operator=(const COSLayer&) = delete;

  CPlatform* Platform() const { return m_platform; }
  CEventQueue* Queue() const { return m_queue; }
  uint32_t Now() const { return m_platform->TickCount(); }

  // The top-level window for a frame of `height` rows; CREATINGWND when the
  // platform cannot make it.
  std::unique_ptr<COSWindow> CreateWindow(ErrCode* error, int height = COSWindow::kContentHeight);
  void DestroyWindow(COSWindow* window);

  // One pass: every pending platform message, the idle steps, the due
  // events, then a present where something changed. False once the quit
  // message arrived.
  bool Pump();
  // Sleeps until a platform message arrives, the next event is due or
  // `limit_ms` have passed.
  void Wait(uint32_t limit_ms);
  void Quit() { m_platform->PostQuit(); }

  // Called first with every message; true swallows it.
  using MessageHook = std::function<bool(SPlatformMessage*)>;
  void SetMessageHook(MessageHook hook) { m_hook = std::move(hook); }

  // Display modes, numbered from 1: the logical mode, then the platform's.
  int GetCurrentMode() const { return m_current_mode; }
  bool ModeExists(int mode) const { return mode >= 1 && mode <= ModeCount(); }
  // Width, height and depth code (8 bits 1, 16 bits 3, 24 or 32 bits 4).
  bool GetMode(int mode, int* width, int* height, int* depth) const;
  // Never changes the display: the logical mode makes the top-level window
  // full screen, any other takes it out.
  ErrCode SetMode(int mode);

  ErrCode SetOption(uint32_t key, const SOptionValue& value);
  TPoint GetCursorPos() const;

 private:
  int ModeCount() const { return 1 + static_cast<int>(m_modes.size()); }
  COSWindow* WindowOf(const CPlatformWindow* window) const;

  CPlatform* m_platform;
  CEventQueue* m_queue;
  std::vector<COSWindow*> m_windows;
  std::vector<SDisplayMode> m_modes;
  int m_current_mode = kLogicalMode;
  uint32_t m_next_window_id = 1;
  MessageHook m_hook;
};
