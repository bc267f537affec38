// The platform layer: everything the engine asks of the operating system
// besides files goes through CPlatform.
//
// Two back ends exist: SDL2 for people and headless for tests (a virtual
// clock that only the pump advances, input read from a script, message boxes
// on standard error). TARVOLIN_PLATFORM=sdl|headless chooses; without it SDL
// is used when a display is available.
//
// Messages are taken one by one with PeekMessage; WaitMessage blocks until a
// message is pending or the timeout has passed, so an idle engine sleeps.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "base/geometry.h"

class CPlatformWindow;

enum class EPlatformMessage : uint8_t {
  kQuit,
  kMouseMove,
  kLeftDown,
  kLeftUp,
  kLeftDouble,
  kRightDown,
  kRightUp,
  kRightDouble,
  kWheel,        // `steps` notches at (x, y), positive away from the user
  kKeyDown,
  kKeyUp,
  kChar,
  kClose,        // the window's close button
  kPaint,        // the window's content must be shown again
  kActivate,
  kDeactivate,
  kFocusGained,
  kFocusLost,
  kMouseLeave,
  kResize,         // the client area is now x by y pixels; the frame keeps its size
  kDisplayChange,  // the display's resolution or arrangement changed
  kMenu,           // menu item `command` chosen
  kShot,           // headless: present, then save the presented frame to `text`
  kDump,           // headless: write the window tree and menus to `text`
};

// Modifier bits, as the engine's key events carry them.
enum : uint32_t { kModAlt = 0x1, kModControl = 0x2, kModShift = 0x8 };

struct SPlatformMessage {
  EPlatformMessage kind = EPlatformMessage::kQuit;
  CPlatformWindow* window = nullptr;
  int16_t x = 0, y = 0;       // mouse position in the window's content
  uint16_t virtual_key = 0;   // Windows virtual-key code
  uint16_t character = 0;     // Latin-1 character, 0 when none
  uint32_t modifiers = 0;
  int32_t steps = 0;          // kWheel
  uint32_t command = 0;       // kMenu
  std::string text;           // file name of kShot and kDump
};

struct SRgb {
  uint8_t red = 0, green = 0, blue = 0;
};

// A volume as the platform reports it: its root and its type.
inline constexpr uint16_t kDriveRemovable = 0x02;
inline constexpr uint16_t kDriveFixed = 0x04;
inline constexpr uint16_t kDriveRemote = 0x08;
inline constexpr uint16_t kDriveCdRom = 0x10;
inline constexpr uint16_t kDriveRamDisk = 0x20;
struct SDriveRoot {
  std::string root;
  uint16_t type = 0;
};

// A cursor picture: palette indices, one byte per pixel, row after row, in
// the cursor's own palette. Pixels equal to `transparent` are clear. The
// platform shows it in colour, scaled by the whole part of the display
// scale; where it can make only monochrome cursors, index 0 is black and
// every other index white.
struct SCursorImage {
  int width = 0, height = 0;
  int hot_x = 0, hot_y = 0;
  const uint8_t* pixels = nullptr;
  const SRgb* palette = nullptr;  // 256 entries
  uint8_t transparent = 0;
};

// A picture in 0xAARRGGBB pixels, row after row (the window icon).
struct SArgbImage {
  int width = 0, height = 0;
  const uint32_t* pixels = nullptr;
};

// What a window shows: the frame as last presented (what no present covered
// keeps its old pixels) and the palette it is shown in.
struct SPresentedFrame {
  int width = 0, height = 0;
  const uint8_t* pixels = nullptr;  // width bytes per row
  const SRgb* palette = nullptr;    // 256 entries
};

// A display mode the platform offers.
struct SDisplayMode {
  int width = 0, height = 0;
  int bits = 0;     // per pixel
  int refresh = 0;  // Hz, 0 when unknown
  bool operator==(const SDisplayMode&) const = default;
};

class CPlatformWindow {
 public:
  virtual ~CPlatformWindow() = default;
  virtual void SetTitle(const char* title) = 0;
  // Null leaves the platform's default icon.
  virtual void SetIcon(const SArgbImage* image) = 0;
  virtual void Show() = 0;
  // Entries beyond the given ones turn black. A change recolours the whole
  // picture at the next present, as a palette display does.
  virtual void SetPalette(std::span<const SRgb> colors) = 0;
  // Copies the given rectangles (all of the frame when empty) of an 8-bit
  // frame of `width` × `height` pixels with `pitch` bytes per row to the
  // screen.
  virtual void Present(const uint8_t* pixels, int width, int height, int pitch,
                       std::span<const TRect> rects) = 0;
  virtual SPresentedFrame Presented() const = 0;
  virtual void ShowCursor(bool shown) = 0;
  // The cursor shown over the window; null gives the standard arrow.
  virtual void SetCursorImage(const SCursorImage* image) = 0;
  // Moves the mouse to (x, y) of the frame; exactly one kMouseMove to that
  // place follows.
  virtual void WarpMouse(int x, int y) = 0;
  // Mouse messages keep coming while the mouse is outside the window.
  virtual void SetCapture(bool captured) = 0;
  // Full screen stands for the 640 x 480 display mode of other systems: the
  // window covers the display with its content scaled and centred, and the
  // system's task-switching keys give no messages. Out of full screen the
  // window is decorated and resizable, sized to the largest whole scale
  // within 85 % of the display. False when the platform refuses.
  virtual bool SetFullScreen(bool full) = 0;
  virtual bool IsFullScreen() const = 0;
  // A window without decoration has neither title bar nor border.
  virtual void SetDecorated(bool decorated) = 0;
  // Scale the frame by whole factors only (else the largest fit, kept
  // sharp).
  virtual void SetIntegerScale(bool integer_only) = 0;
};

// Audio output: PCM buffers played one after the other, as the mixer's two
// alternating buffers need. Samples are little-endian; 8-bit ones unsigned.
struct SAudioFormat {
  uint32_t rate = 22050;
  uint16_t channels = 1;
  uint16_t bits = 16;

  constexpr uint32_t FrameBytes() const { return uint32_t{channels} * bits / 8; }
  bool operator==(const SAudioFormat&) const = default;
};

// Full volume on each side of an output.
inline constexpr uint16_t kFullAudioVolume = 0xFFFF;

class CAudioOutput {
 public:
  virtual ~CAudioOutput() = default;
  // Queues a buffer behind those written before; the bytes are copied.
  virtual ErrCode Write(const void* data, uint32_t size) = 0;
  // How many of the written buffers have not yet been played to their end.
  virtual uint32_t PendingBuffers() = 0;
  // Drops every buffer not yet played.
  virtual void Reset() = 0;
  // The output's volume per side, applied to what is written afterwards.
  virtual void GetVolume(uint16_t* left, uint16_t* right) = 0;
  virtual void SetVolume(uint16_t left, uint16_t right) = 0;
};

// Audio input: what the device captures, in one format only.
inline constexpr SAudioFormat kAudioInputFormat{22050, 1, 16};

class CAudioInput {
 public:
  virtual ~CAudioInput() = default;
  // Appends the samples captured since the last read (or the opening).
  virtual void Read(std::vector<uint8_t>* samples) = 0;
};

// An exclusive lock held while the object lives (the single-instance guard).
class CNamedMutex {
 public:
  virtual ~CNamedMutex() = default;
};

inline constexpr uint32_t kWaitForever = 0xFFFFFFFF;

class CPlatform {
 public:
  // The back end TARVOLIN_PLATFORM names, or the default; null with the
  // reason when none can start.
  static std::unique_ptr<CPlatform> Create(ErrCode* error);

  virtual ~CPlatform() = default;
  virtual const char* Name() const = 0;

  // Process.
  virtual int MessageBox(const char* caption, const char* text,
                         uint32_t flags) = 0;
  // A lock named `name` in the runtime directory; null with `*existed` set
  // when another holder has it.
  virtual std::unique_ptr<CNamedMutex> CreateNamedMutex(const char* name,
                                                        bool* existed);
  // Directories end in "/". The executable's directory is TARVOLIN_DIR when
  // set; the runtime directory stands where other systems keep their
  // system directory ($XDG_RUNTIME_DIR, else the temporary directory).
  virtual std::string ExecutableDirectory();
  // Where the running program itself lies, whatever TARVOLIN_DIR says.
  static std::string InstallationDirectory();
  virtual std::string RuntimeDirectory();
  virtual std::string CurrentDirectory();
  virtual std::vector<SDriveRoot> DriveRoots();
  // Whether the screen saver and monitor power-off may start; the default
  // does nothing.
  virtual void SetScreenSaverAllowed(bool allowed);
  // The display modes the platform offers; the first is the current one.
  virtual std::vector<SDisplayMode> DisplayModes();

  // The clipboard's text in the engine's form: Latin-1 with lines ending in
  // CR LF ("?" for what Latin-1 lacks); empty when it holds no text.
  virtual std::string GetClipboardText() = 0;
  virtual void SetClipboardText(std::string_view text) = 0;

  // Time: milliseconds and a high-resolution counter with its frequency.
  virtual uint32_t TickCount() = 0;
  virtual uint64_t HighResCounter() = 0;
  virtual uint64_t HighResFrequency() = 0;

  // Messages.
  virtual bool PeekMessage(SPlatformMessage* message) = 0;
  virtual void WaitMessage(uint32_t timeout_ms) = 0;
  virtual void PostQuit() = 0;

  // Windows.
  virtual std::unique_ptr<CPlatformWindow> CreateWindow(int width, int height,
                                                        ErrCode* error) = 0;

  // Audio output devices are numbered from 0; -1 is the system's default.
  virtual int AudioDeviceCount() = 0;
  virtual std::string AudioDeviceName(int device) = 0;
  // The default takes the standard formats (11025, 22050 or 44100 Hz, mono
  // or stereo, 8 or 16 bits) on every device that exists.
  virtual bool AudioSupportsFormat(int device, const SAudioFormat& format);
  // Null with the reason when the device cannot play the format.
  virtual std::unique_ptr<CAudioOutput> OpenAudio(int device,
                                                  const SAudioFormat& format,
                                                  ErrCode* error) = 0;
  // The default capture device, capturing from now on; null with the
  // reason when there is none (the default has none).
  virtual std::unique_ptr<CAudioInput> OpenAudioInput(ErrCode* error);
};
