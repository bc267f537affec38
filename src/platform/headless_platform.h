// The headless back end: no screen, a virtual clock, input from a script.
//
// The clock stands still until WaitMessage moves it: with nothing pending it
// jumps at once to the next scripted event or to the end of the timeout,
// whichever comes first, so a run takes as long as its computing does and
// always goes the same way. In real-time mode the clock is the wall clock
// and WaitMessage sleeps.
//
// The input script has one event per line, times in virtual milliseconds
// since the start (0 ... 4294967295); '#' starts a comment anywhere on a line:
//   <ms> move <x> <y> [+ctrl] [+alt] [+shift]
//                                   (also ldown, lup, ldbl, rdown, rup, rdbl)
//   <ms> wheel <x> <y> <steps> [+ctrl] [+alt] [+shift]
//   <ms> key <vk> [<char>] [+ctrl] [+alt] [+shift]          (also keyup)
//   <ms> text <utf-8 text>          (one kChar per character, Latin-1 only)
//   <ms> resize <w> <h>
//   <ms> close                      (also activate, deactivate, focus, blur)
//   <ms> menu <id>
//   <ms> shot <file.bmp>            (also dump <file>)
//   <ms> clip <utf-8 text>          (another program copies the text)
//   <ms> clipsave <file>            (the clipboard as UTF-8 into the file)
//   <ms> answer <button>            (ok, cancel, abort, retry, ignore, yes, no)
//   <ms> quit
// Virtual keys are decimal or 0x-hexadecimal numbers, or the names
// VirtualKeyByName knows (a lone digit is a number). <char> is a single
// character, or a number (decimal or 0x-hexadecimal) when it is longer;
// without it a key carries KeyCharacter of its virtual key. A key down that
// types a control character (TypedControlCharacter) is followed by that kChar,
// as with SDL. Blanks around a text or a file name are dropped; in clip text
// \n, \t and \\ stand for a line break, a tab and a backslash.
// Events are delivered in time order; events of the same time in script
// order. clip, clipsave and answer happen inside the platform once every
// message before them has been taken; answer sets what the next message box
// returns. Once the last event is taken and the clock reaches its time (0
// without events) plus the idle time, the run quits by itself.
//
// Sound goes to one null audio device that plays a buffer in the time its
// samples last on the clock and, with TARVOLIN_AUDIO_OUT=<file.wav>, writes
// every buffer it receives into that WAV file. Its one input device hears,
// from its opening on and as fast as the clock moves, the samples of the
// 22050 Hz 16-bit mono PCM WAV file TARVOLIN_AUDIO_IN names, then silence
// (only silence without it).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/platform_support.h"

struct SHeadlessOptions {
  std::string script_path;  // empty: no input
  uint32_t idle_quit_ms = 5000;
  bool realtime = false;
  std::string audio_out_path;  // empty: sound is not recorded
  std::string audio_in_path;   // empty: the input hears silence

  // TARVOLIN_INPUT, TARVOLIN_IDLE_QUIT_MS, TARVOLIN_HEADLESS_REALTIME=1,
  // TARVOLIN_AUDIO_OUT, TARVOLIN_AUDIO_IN.
  static SHeadlessOptions FromEnvironment();
};

// What a scripted event does.
enum class EInputAction : uint8_t {
  kMessage,   // delivers `message`
  kClip,      // the clipboard becomes `text`, already in the engine's form
  kClipSave,  // writes the clipboard as UTF-8 to the file `text`
  kAnswer,    // the next message box returns `answer`
};

struct SInputEvent {
  uint64_t time_ms = 0;
  SPlatformMessage message;
  EInputAction action = EInputAction::kMessage;
  std::string text;
  int answer = 0;  // kIdOk ... kIdNo
};

// The events of an input script in delivery order. A line that cannot be
// read is reported on standard error with `file_name` and its line number,
// and skipped.
std::vector<SInputEvent> ParseInputScript(std::string_view text,
                                          std::string_view file_name);

class CHeadlessPlatform;

// Keeps what was presented, for tests and screenshots.
class CHeadlessWindow final : public CPlatformWindow {
 public:
  CHeadlessWindow(CHeadlessPlatform* platform, int width, int height);
  ~CHeadlessWindow() override;
  CHeadlessWindow(const CHeadlessWindow&) = delete;
  CHeadlessWindow& operator=(const CHeadlessWindow&) = delete;

  void SetTitle(const char* title) override { m_title = title; }
  void SetIcon(const SArgbImage*) override {}
  void Show() override { m_shown = true; }
  void SetPalette(std::span<const SRgb> colors) override;
  void Present(const uint8_t* pixels, int width, int height, int pitch,
               std::span<const TRect> rects) override;
  SPresentedFrame Presented() const override;
  void ShowCursor(bool shown) override { m_cursor_shown = shown; }
  void SetCursorImage(const SCursorImage* image) override;
  void WarpMouse(int x, int y) override;
  void SetCapture(bool captured) override { m_captured = captured; }
  bool SetFullScreen(bool full) override;
  bool IsFullScreen() const override { return m_full_screen; }
  void SetDecorated(bool) override {}
  void SetIntegerScale(bool) override {}

  int Width() const { return m_frame.Width(); }
  int Height() const { return m_frame.Height(); }
  // Width × Height palette indices, row after row.
  const std::vector<uint8_t>& Frame() const { return m_frame.Pixels(); }
  const std::array<SRgb, 256>& Palette() const { return m_palette; }
  const std::string& Title() const { return m_title; }
  bool IsShown() const { return m_shown; }
  bool IsCursorShown() const { return m_cursor_shown; }
  bool HasCursorImage() const { return m_cursor_image; }
  bool IsCaptured() const { return m_captured; }
  int PresentCount() const { return m_present_count; }

 private:
  CHeadlessPlatform* m_platform;
  CFrameShadow m_frame;
  std::array<SRgb, 256> m_palette{};
  std::string m_title;
  bool m_shown = false;
  bool m_cursor_shown = true;
  bool m_cursor_image = false;
  bool m_captured = false;
  bool m_full_screen = false;
  int m_present_count = 0;
};

// Plays nothing, in real or virtual time.
class CNullAudioOutput final : public CAudioOutput {
 public:
  CNullAudioOutput(CPlatform* clock, const SAudioFormat& format,
                   std::unique_ptr<CWavWriter> record);

  ErrCode Write(const void* data, uint32_t size) override;
  uint32_t PendingBuffers() override;
  void Reset() override;
  void GetVolume(uint16_t* left, uint16_t* right) override;
  void SetVolume(uint16_t left, uint16_t right) override;

 private:
  uint64_t NowMicroseconds();

  CPlatform* m_clock;
  SAudioFormat m_format;
  std::unique_ptr<CWavWriter> m_record;
  std::deque<uint64_t> m_ends;  // when each pending buffer is played out
  uint16_t m_left = kFullAudioVolume;
  uint16_t m_right = kFullAudioVolume;
  std::vector<uint8_t> m_scratch;
};

// Hears the samples it was given, then silence.
class CHeadlessAudioInput final : public CAudioInput {
 public:
  CHeadlessAudioInput(CPlatform* clock, std::vector<uint8_t> samples);
  void Read(std::vector<uint8_t>* samples) override;

 private:
  CPlatform* m_clock;
  std::vector<uint8_t> m_source;
  uint32_t m_opened;
  uint64_t m_delivered = 0;  // bytes
};

class CHeadlessPlatform final : public CPlatform {
 public:
  explicit CHeadlessPlatform(const SHeadlessOptions& options);
  // Windows must be destroyed before their platform.
  ~CHeadlessPlatform() override = default;

  const char* Name() const override { return "headless"; }
  // The box's line goes to standard error; a scripted answer, when one is
  // waiting, is returned in place of the usual one.
  int MessageBox(const char* caption, const char* text,
                 uint32_t flags) override;
  // One mode, 640 x 480 in 32 bits at 60 Hz.
  std::vector<SDisplayMode> DisplayModes() override;

  uint32_t TickCount() override;
  // Microseconds, counted in whole milliseconds of the virtual clock.
  uint64_t HighResCounter() override;
  uint64_t HighResFrequency() override { return 1000000; }

  // Messages carry the newest window.
  bool PeekMessage(SPlatformMessage* message) override;
  // With nothing left that could ever arrive, a wait without end returns at
  // once instead of hanging.
  void WaitMessage(uint32_t timeout_ms) override;
  void PostQuit() override;

  std::string GetClipboardText() override { return m_clipboard; }
  void SetClipboardText(std::string_view text) override { m_clipboard = text; }

  std::unique_ptr<CPlatformWindow> CreateWindow(int width, int height,
                                                ErrCode* error) override;

  // One device, "Null audio device"; outputs must be destroyed before their
  // platform.
  int AudioDeviceCount() override { return 1; }
  std::string AudioDeviceName(int device) override;
  std::unique_ptr<CAudioOutput> OpenAudio(int device,
                                          const SAudioFormat& format,
                                          ErrCode* error) override;
  // A file TARVOLIN_AUDIO_IN names that is no such WAV file is reported on
  // standard error, and there is no device.
  std::unique_ptr<CAudioInput> OpenAudioInput(ErrCode* error) override;

  // The newest window still alive, or null.
  CHeadlessWindow* Window() const { return m_window; }

 private:
  friend class CHeadlessWindow;
  void Forget(CHeadlessWindow* window);
  void Post(const SPlatformMessage& message);

  void FollowWallClock();
  // Moves due messages (signals, script events, the idle quit) to the queue
  // and performs the actions at its front; answers whether a message waits.
  bool CollectDue();
  void Perform(const SInputEvent& action);
  // The time of the next scripted event or of the idle quit; false when
  // neither is left.
  bool NextDueTime(uint64_t* time_ms) const;

  SHeadlessOptions m_options;
  std::vector<SInputEvent> m_script;
  size_t m_next_event = 0;
  uint64_t m_idle_quit_time = 0;
  bool m_idle_quit_sent = false;
  std::deque<SInputEvent> m_queue;  // their times do not matter any more
  uint64_t m_now_ms = 0;
  std::chrono::steady_clock::time_point m_start;
  CQuitSignal m_quit_signal;
  CHeadlessWindow* m_window = nullptr;
  std::string m_clipboard;
  int m_answer = 0;  // 0: none waiting
};
