#include "platform/sdl_platform.h"

#include "platform/sdl_api.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "base/log.h"
#include "platform/virtual_keys.h"

namespace {

constexpr char kWindowData[] = "tarvolin";

struct SKeyMapping {
  SDL_Keycode key;
  uint16_t virtual_key;
};

constexpr SKeyMapping kKeyTable[] = {
    {SDLK_BACKSPACE, kVkBack},
    {SDLK_TAB, kVkTab},
    {SDLK_RETURN, kVkReturn},
    {SDLK_KP_ENTER, kVkReturn},
    {SDLK_ESCAPE, kVkEscape},
    {SDLK_SPACE, kVkSpace},
    {SDLK_PAGEUP, kVkPrior},
    {SDLK_PAGEDOWN, kVkNext},
    {SDLK_END, kVkEnd},
    {SDLK_HOME, kVkHome},
    {SDLK_LEFT, kVkLeft},
    {SDLK_UP, kVkUp},
    {SDLK_RIGHT, kVkRight},
    {SDLK_DOWN, kVkDown},
    {SDLK_INSERT, kVkInsert},
    {SDLK_DELETE, kVkDelete},
    {SDLK_LSHIFT, kVkShift},
    {SDLK_RSHIFT, kVkShift},
    {SDLK_LCTRL, kVkControl},
    {SDLK_RCTRL, kVkControl},
    {SDLK_LALT, kVkMenu},
    {SDLK_RALT, kVkMenu},
    {SDLK_KP_0, kVkNumpad0},
    {SDLK_KP_1, kVkNumpad0 + 1},
    {SDLK_KP_2, kVkNumpad0 + 2},
    {SDLK_KP_3, kVkNumpad0 + 3},
    {SDLK_KP_4, kVkNumpad0 + 4},
    {SDLK_KP_5, kVkNumpad0 + 5},
    {SDLK_KP_6, kVkNumpad0 + 6},
    {SDLK_KP_7, kVkNumpad0 + 7},
    {SDLK_KP_8, kVkNumpad0 + 8},
    {SDLK_KP_9, kVkNumpad0 + 9},
    {SDLK_KP_MULTIPLY, kVkMultiply},
    {SDLK_KP_PLUS, kVkAdd},
    {SDLK_KP_MINUS, kVkSubtract},
    {SDLK_KP_PERIOD, kVkDecimal},
    {SDLK_KP_DIVIDE, kVkDivide},
    {SDLK_SEMICOLON, kVkOemSemicolon},
    {SDLK_EQUALS, kVkOemPlus},
    {SDLK_COMMA, kVkOemComma},
    {SDLK_MINUS, kVkOemMinus},
    {SDLK_PERIOD, kVkOemPeriod},
    {SDLK_SLASH, kVkOemSlash},
    {SDLK_BACKQUOTE, kVkOemBackquote},
    {SDLK_LEFTBRACKET, kVkOemOpenBracket},
    {SDLK_BACKSLASH, kVkOemBackslash},
    {SDLK_RIGHTBRACKET, kVkOemCloseBracket},
    {SDLK_QUOTE, kVkOemQuote},
};

// The virtual key of an SDL key; 0 for keys the engine has no code for.
uint16_t VirtualKeyOf(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return kVkA + (key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return kVk0 + (key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12) return kVkF1 + (key - SDLK_F1);
  for (const SKeyMapping& mapping : kKeyTable)
    if (mapping.key == key) return mapping.virtual_key;
  return 0;
}

uint32_t ModifiersOf(uint16_t sdl_modifiers) {
  uint32_t modifiers = 0;
  if (sdl_modifiers & KMOD_ALT) modifiers |= kModAlt;
  if (sdl_modifiers & KMOD_CTRL) modifiers |= kModControl;
  if (sdl_modifiers & KMOD_SHIFT) modifiers |= kModShift;
  return modifiers;
}

CPlatformWindow* WindowOf(uint32_t window_id) {
  SDL_Window* window = Sdl().SDL_GetWindowFromID(window_id);
  return window
             ? static_cast<CSdlWindow*>(Sdl().SDL_GetWindowData(window, kWindowData))
             : nullptr;
}

struct SSurfaceDeleter {
  void operator()(SDL_Surface* surface) const { Sdl().SDL_FreeSurface(surface); }
};

}  // namespace

void SSdlDeleter::operator()(SDL_Window* window) const {
  Sdl().SDL_DestroyWindow(window);
}
void SSdlDeleter::operator()(SDL_Renderer* renderer) const {
  Sdl().SDL_DestroyRenderer(renderer);
}
void SSdlDeleter::operator()(SDL_Texture* texture) const {
  Sdl().SDL_DestroyTexture(texture);
}
void SSdlDeleter::operator()(SDL_Cursor* cursor) const {
  Sdl().SDL_FreeCursor(cursor);
}

CSdlWindow::CSdlWindow(int width, int height) : m_frame(width, height) {
  m_colors.fill(0xFF000000);
}

std::unique_ptr<CSdlWindow> CSdlWindow::Create(int width, int height,
                                               ErrCode* error) {
  *error = err::kCreatingWnd;
  if (width <= 0 || height <= 0) return nullptr;
  std::unique_ptr<CSdlWindow> window(new CSdlWindow(width, height));
  window->m_window.reset(Sdl().SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED,
                                          SDL_WINDOWPOS_CENTERED, width, height,
                                          SDL_WINDOW_HIDDEN));
  if (!window->m_window) return nullptr;
  window->m_renderer.reset(Sdl().SDL_CreateRenderer(window->m_window.get(), -1, 0));
  if (!window->m_renderer) return nullptr;
  window->m_texture.reset(
      Sdl().SDL_CreateTexture(window->m_renderer.get(), SDL_PIXELFORMAT_ARGB8888,
                        SDL_TEXTUREACCESS_STREAMING, width, height));
  if (!window->m_texture) return nullptr;
  Sdl().SDL_RenderSetLogicalSize(window->m_renderer.get(), width, height);
  Sdl().SDL_SetWindowData(window->m_window.get(), kWindowData, window.get());
  *error = err::kOk;
  return window;
}

void CSdlWindow::SetTitle(const char* title) {
  Sdl().SDL_SetWindowTitle(m_window.get(), title);
}

void CSdlWindow::SetIcon(const SArgbImage*) {}

SPresentedFrame CSdlWindow::Presented() const {
  return {m_frame.Width(), m_frame.Height(), m_frame.Pixels().data(),
          m_palette.data()};
}

void CSdlWindow::WarpMouse(int, int) {}

bool CSdlWindow::IsFullScreen() const { return false; }

void CSdlWindow::SetDecorated(bool) {}

void CSdlWindow::SetIntegerScale(bool) {}

void CSdlWindow::Show() { Sdl().SDL_ShowWindow(m_window.get()); }

void CSdlWindow::SetPalette(std::span<const SRgb> colors) {
  m_palette.fill(SRgb{});
  std::copy_n(colors.begin(), std::min(colors.size(), m_palette.size()),
              m_palette.begin());
  std::array<uint32_t, 256> converted;
  converted.fill(0xFF000000);
  for (size_t i = 0; i < std::min(colors.size(), converted.size()); ++i)
    converted[i] = 0xFF000000 | uint32_t{colors[i].red} << 16 |
                   uint32_t{colors[i].green} << 8 | colors[i].blue;
  if (converted == m_colors) return;
  m_colors = converted;
  m_palette_changed = true;
}

void CSdlWindow::Convert(const TRect& rect) {
  const SDL_Rect area{rect.left, rect.top, rect.right - rect.left + 1,
                      rect.bottom - rect.top + 1};
  void* target = nullptr;
  int target_pitch = 0;
  if (Sdl().SDL_LockTexture(m_texture.get(), &area, &target, &target_pitch) != 0)
    return;
  const uint8_t* source = m_frame.Pixels().data();
  for (int y = 0; y < area.h; ++y) {
    const uint8_t* row =
        source + static_cast<ptrdiff_t>(area.y + y) * m_frame.Width() + area.x;
    uint32_t* out =
        reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(target) +
                                    static_cast<ptrdiff_t>(y) * target_pitch);
    for (int x = 0; x < area.w; ++x) out[x] = m_colors[row[x]];
  }
  Sdl().SDL_UnlockTexture(m_texture.get());
}

void CSdlWindow::Present(const uint8_t* pixels, int width, int height,
                         int pitch, std::span<const TRect> rects) {
  std::vector<TRect> changed =
      m_frame.Update(pixels, width, height, pitch, rects);
  if (m_palette_changed) {
    m_palette_changed = false;
    changed = {{0, 0, static_cast<int16_t>(m_frame.Width() - 1),
                static_cast<int16_t>(m_frame.Height() - 1)}};
  }
  for (const TRect& rect : changed) Convert(rect);
  Sdl().SDL_SetRenderDrawColor(m_renderer.get(), 0, 0, 0, 255);
  Sdl().SDL_RenderClear(m_renderer.get());
  Sdl().SDL_RenderCopy(m_renderer.get(), m_texture.get(), nullptr, nullptr);
  Sdl().SDL_RenderPresent(m_renderer.get());
}

void CSdlWindow::ShowCursor(bool shown) {
  Sdl().SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

void CSdlWindow::SetCursorImage(const SCursorImage* image) {
  if (!image) {
    Sdl().SDL_SetCursor(Sdl().SDL_GetDefaultCursor());
    m_cursor.reset();
    return;
  }
  std::unique_ptr<SDL_Surface, SSurfaceDeleter> surface(
      Sdl().SDL_CreateRGBSurfaceWithFormat(0, image->width, image->height, 32,
                                     SDL_PIXELFORMAT_ARGB8888));
  if (!surface) return;
  for (int y = 0; y < image->height; ++y) {
    uint32_t* row =
        reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(surface->pixels) +
                                    static_cast<ptrdiff_t>(y) * surface->pitch);
    for (int x = 0; x < image->width; ++x) {
      const uint8_t pixel =
          image->pixels[static_cast<ptrdiff_t>(y) * image->width + x];
      const SRgb& rgb = image->palette[pixel];
      row[x] = pixel == image->transparent
                   ? 0
                   : 0xFF000000 | uint32_t{rgb.red} << 16 |
                         uint32_t{rgb.green} << 8 | rgb.blue;
    }
  }
  std::unique_ptr<SDL_Cursor, SSdlDeleter> cursor(
      Sdl().SDL_CreateColorCursor(surface.get(), image->hot_x, image->hot_y));
  if (!cursor) return;
  Sdl().SDL_SetCursor(cursor.get());
  m_cursor = std::move(cursor);
}

void CSdlWindow::SetCapture(bool captured) {
  Sdl().SDL_CaptureMouse(captured ? SDL_TRUE : SDL_FALSE);
}

bool CSdlWindow::SetFullScreen(bool full) {
  return Sdl().SDL_SetWindowFullscreen(m_window.get(),
                                 full ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) == 0;
}

std::unique_ptr<CPlatform> CSdlPlatform::Create(ErrCode* error) {
  if (!LoadSdlApi()) {
    *error = err::kWindowSystem;
    return nullptr;
  }
  Sdl().SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  Sdl().SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  if (Sdl().SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0) {
    std::fprintf(stderr, "SDL: %s\n", Sdl().SDL_GetError());
    *error = err::kWindowSystem;
    return nullptr;
  }
  // SDL falls back to drivers without a screen; those count only when asked
  // for by name.
  const std::string_view driver = Sdl().SDL_GetCurrentVideoDriver();
  const char* requested = std::getenv("SDL_VIDEODRIVER");
  if ((driver == "offscreen" || driver == "dummy") &&
      !(requested &&
        std::string_view(requested).find(driver) != std::string_view::npos)) {
    std::fprintf(stderr, "SDL: no display\n");
    Sdl().SDL_Quit();
    *error = err::kWindowSystem;
    return nullptr;
  }
  Sdl().SDL_EnableScreenSaver();
  *error = err::kOk;
  return std::unique_ptr<CPlatform>(new CSdlPlatform);
}

CSdlPlatform::~CSdlPlatform() { Sdl().SDL_Quit(); }

int CSdlPlatform::MessageBox(const char* caption, const char* text,
                             uint32_t flags) {
  constexpr uint32_t kDefault = SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT |
                                SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
  static const SDL_MessageBoxButtonData kOkButtons[] = {
      {kDefault, kIdOk, "OK"}};
  static const SDL_MessageBoxButtonData kAbortRetryIgnoreButtons[] = {
      {0, kIdAbort, "Abort"},
      {0, kIdRetry, "Retry"},
      {kDefault, kIdIgnore, "Ignore"}};
  const bool abort_retry_ignore = (flags & 0xF) == kMbAbortRetryIgnore;
  SDL_MessageBoxData box{};
  box.flags =
      (flags & kMbIconStop) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
  box.title = caption;
  box.message = text;
  box.numbuttons = abort_retry_ignore ? 3 : 1;
  box.buttons = abort_retry_ignore ? kAbortRetryIgnoreButtons : kOkButtons;
  int answer = -1;
  if (Sdl().SDL_ShowMessageBox(&box, &answer) != 0)
    return StderrMessageBox(caption, text, flags);
  // Closing the box counts as its default button.
  if (answer < 0) return abort_retry_ignore ? kIdIgnore : kIdOk;
  return answer;
}

void CSdlPlatform::SetScreenSaverAllowed(bool allowed) {
  if (allowed)
    Sdl().SDL_EnableScreenSaver();
  else
    Sdl().SDL_DisableScreenSaver();
}

uint32_t CSdlPlatform::TickCount() { return Sdl().SDL_GetTicks(); }

uint64_t CSdlPlatform::HighResCounter() { return Sdl().SDL_GetPerformanceCounter(); }

uint64_t CSdlPlatform::HighResFrequency() {
  return Sdl().SDL_GetPerformanceFrequency();
}

bool CSdlPlatform::HasPending() {
  if (m_quit_signal.Take()) Push(EPlatformMessage::kQuit, nullptr);
  return !m_pending.empty();
}

bool CSdlPlatform::PeekMessage(SPlatformMessage* message) {
  SDL_Event event;
  while (!HasPending()) {
    if (!Sdl().SDL_PollEvent(&event)) return false;
    Translate(event);
  }
  *message = std::move(m_pending.front());
  m_pending.pop_front();
  return true;
}

void CSdlPlatform::WaitMessage(uint32_t timeout_ms) {
  const uint32_t start = Sdl().SDL_GetTicks();
  SDL_Event event;
  while (!HasPending()) {
    uint32_t slice = kSignalCheckMs;
    if (timeout_ms != kWaitForever) {
      const uint32_t elapsed = Sdl().SDL_GetTicks() - start;
      if (elapsed >= timeout_ms) return;
      slice = std::min(slice, timeout_ms - elapsed);
    }
    if (Sdl().SDL_WaitEventTimeout(&event, static_cast<int>(slice))) Translate(event);
  }
}

void CSdlPlatform::PostQuit() { Push(EPlatformMessage::kQuit, nullptr); }

std::string CSdlPlatform::GetClipboardText() { return {}; }

void CSdlPlatform::SetClipboardText(std::string_view) {}

std::unique_ptr<CPlatformWindow> CSdlPlatform::CreateWindow(int width,
                                                            int height,
                                                            ErrCode* error) {
  return CSdlWindow::Create(width, height, error);
}

void CSdlPlatform::Push(EPlatformMessage kind, CPlatformWindow* window) {
  SPlatformMessage message;
  message.kind = kind;
  message.window = window;
  m_pending.push_back(std::move(message));
}

void CSdlPlatform::Translate(const SDL_Event& event) {
  SPlatformMessage message;
  switch (event.type) {
    case SDL_QUIT:
      Push(EPlatformMessage::kQuit, nullptr);
      return;
    case SDL_WINDOWEVENT: {
      CPlatformWindow* window = WindowOf(event.window.windowID);
      switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
          Push(EPlatformMessage::kClose, window);
          break;
        case SDL_WINDOWEVENT_EXPOSED:
          Push(EPlatformMessage::kPaint, window);
          break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          Push(EPlatformMessage::kActivate, window);
          Push(EPlatformMessage::kFocusGained, window);
          break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          Push(EPlatformMessage::kDeactivate, window);
          Push(EPlatformMessage::kFocusLost, window);
          break;
        case SDL_WINDOWEVENT_LEAVE:
          Push(EPlatformMessage::kMouseLeave, window);
          break;
      }
      return;
    }
    case SDL_MOUSEMOTION:
      message.kind = EPlatformMessage::kMouseMove;
      message.window = WindowOf(event.motion.windowID);
      message.x = static_cast<int16_t>(event.motion.x);
      message.y = static_cast<int16_t>(event.motion.y);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const bool down = event.type == SDL_MOUSEBUTTONDOWN;
      // The platform pairs clicks as Windows does: every second click of a
      // quick series is the double click.
      const bool twice = down && event.button.clicks % 2 == 0;
      if (event.button.button == SDL_BUTTON_LEFT)
        message.kind = twice  ? EPlatformMessage::kLeftDouble
                       : down ? EPlatformMessage::kLeftDown
                              : EPlatformMessage::kLeftUp;
      else if (event.button.button == SDL_BUTTON_RIGHT)
        message.kind = twice  ? EPlatformMessage::kRightDouble
                       : down ? EPlatformMessage::kRightDown
                              : EPlatformMessage::kRightUp;
      else
        return;
      message.window = WindowOf(event.button.windowID);
      message.x = static_cast<int16_t>(event.button.x);
      message.y = static_cast<int16_t>(event.button.y);
      message.modifiers = ModifiersOf(Sdl().SDL_GetModState());
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      message.virtual_key = VirtualKeyOf(event.key.keysym.sym);
      if (!message.virtual_key) return;
      const bool down = event.type == SDL_KEYDOWN;
      message.kind =
          down ? EPlatformMessage::kKeyDown : EPlatformMessage::kKeyUp;
      message.window = WindowOf(event.key.windowID);
      message.character = KeyCharacter(message.virtual_key);
      message.modifiers = ModifiersOf(event.key.keysym.mod);
      const uint16_t typed =
          down ? TypedControlCharacter(message.virtual_key, message.modifiers)
               : 0;
      m_pending.push_back(message);
      if (typed) {
        message.kind = EPlatformMessage::kChar;
        message.virtual_key = 0;
        message.character = typed;
        m_pending.push_back(message);
      }
      return;
    }
    case SDL_TEXTINPUT: {
      std::vector<uint32_t> code_points;
      if (!DecodeUtf8(event.text.text, &code_points)) return;
      message.kind = EPlatformMessage::kChar;
      message.window = WindowOf(event.text.windowID);
      message.modifiers = ModifiersOf(Sdl().SDL_GetModState());
      for (uint32_t code : code_points) {
        if (code > 0xFF) continue;
        message.character = static_cast<uint16_t>(code);
        m_pending.push_back(message);
      }
      return;
    }
    default:
      return;
  }
  m_pending.push_back(std::move(message));
}

CSdlAudioOutput::CSdlAudioOutput(uint32_t device, const SAudioFormat& format)
    : m_device(device), m_format(format) {
  Sdl().SDL_PauseAudioDevice(m_device, 0);
}

CSdlAudioOutput::~CSdlAudioOutput() { Sdl().SDL_CloseAudioDevice(m_device); }

ErrCode CSdlAudioOutput::Write(const void* data, uint32_t size) {
  m_scratch.assign(static_cast<const uint8_t*>(data),
                   static_cast<const uint8_t*>(data) + size);
  ApplyAudioVolume(m_format, m_left, m_right, m_scratch.data(), size);
  if (Sdl().SDL_QueueAudio(m_device, m_scratch.data(), size) != 0)
    return err::kUnknownError;
  m_written += size;
  m_ends.push_back(m_written);
  return err::kOk;
}

uint32_t CSdlAudioOutput::PendingBuffers() {
  const uint64_t played = m_written - Sdl().SDL_GetQueuedAudioSize(m_device);
  while (!m_ends.empty() && m_ends.front() <= played) m_ends.pop_front();
  return static_cast<uint32_t>(m_ends.size());
}

void CSdlAudioOutput::Reset() {
  Sdl().SDL_ClearQueuedAudio(m_device);
  m_ends.clear();
}

void CSdlAudioOutput::GetVolume(uint16_t* left, uint16_t* right) {
  *left = m_left;
  *right = m_right;
}

void CSdlAudioOutput::SetVolume(uint16_t left, uint16_t right) {
  m_left = left;
  m_right = right;
}

bool CSdlPlatform::AudioReady() {
  if (m_audio == EAudioState::kUntried) {
    const bool ready = Sdl().SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (!ready) std::fprintf(stderr, "SDL audio: %s\n", Sdl().SDL_GetError());
    m_audio = ready ? EAudioState::kReady : EAudioState::kMissing;
  }
  return m_audio == EAudioState::kReady;
}

int CSdlPlatform::AudioDeviceCount() {
  return AudioReady() ? std::max(0, Sdl().SDL_GetNumAudioDevices(0)) : 0;
}

std::string CSdlPlatform::AudioDeviceName(int device) {
  const char* name = AudioReady() ? Sdl().SDL_GetAudioDeviceName(device, 0) : nullptr;
  return name ? name : "";
}

bool CSdlPlatform::AudioSupportsFormat(int device, const SAudioFormat& format) {
  return AudioReady() && CPlatform::AudioSupportsFormat(device, format);
}

std::unique_ptr<CAudioOutput> CSdlPlatform::OpenAudio(
    int device, const SAudioFormat& format, ErrCode* error) {
  *error = err::kUnknownError;
  if (!AudioSupportsFormat(device, format)) return nullptr;
  const std::string name = device >= 0 ? AudioDeviceName(device) : "";
  SDL_AudioSpec wanted{};
  wanted.freq = static_cast<int>(format.rate);
  wanted.format = format.bits == 16 ? AUDIO_S16LSB : AUDIO_U8;
  wanted.channels = static_cast<uint8_t>(format.channels);
  wanted.samples = 1024;
  SDL_AudioSpec obtained{};
  // SDL converts to whatever the hardware takes.
  const SDL_AudioDeviceID id = Sdl().SDL_OpenAudioDevice(
      device >= 0 ? name.c_str() : nullptr, 0, &wanted, &obtained, 0);
  if (id == 0) {
    std::fprintf(stderr, "SDL audio: %s\n", Sdl().SDL_GetError());
    return nullptr;
  }
  *error = err::kOk;
  return std::make_unique<CSdlAudioOutput>(id, format);
}
