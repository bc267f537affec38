#include "platform/sdl_inject.h"

#include <algorithm>
#include <iterator>

#include "platform/sdl_api.h"
#include "platform/sdl_keys.h"
#include "platform/sdl_platform.h"

namespace {

// SDL_PushEvent stamps events with the current time; adding them this way
// keeps the given stamp.
void Add(SDL_Event& event) {
  Sdl().SDL_PeepEvents(&event, 1, SDL_ADDEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
}

uint8_t SdlButton(EMouseButton button) {
  switch (button) {
    case EMouseButton::kLeft:
      return SDL_BUTTON_LEFT;
    case EMouseButton::kRight:
      return SDL_BUTTON_RIGHT;
    case EMouseButton::kMiddle:
      break;
  }
  return SDL_BUTTON_MIDDLE;
}

}  // namespace

CSdlEventInjector::CSdlEventInjector(CPlatformWindow* window)
    : m_window(static_cast<CSdlWindow*>(window)) {}

uint32_t CSdlEventInjector::WindowId() const {
  return Sdl().SDL_GetWindowID(m_window->m_window.get());
}

void CSdlEventInjector::Move(int x, int y, uint32_t time) {
  SDL_Event event{};
  event.motion.type = SDL_MOUSEMOTION;
  event.motion.timestamp = time;
  event.motion.windowID = WindowId();
  m_window->Mapping().WindowFromFrame(x, y, &event.motion.x, &event.motion.y);
  Add(event);
}

void CSdlEventInjector::Button(EMouseButton button, bool down, int x, int y,
                               uint32_t time) {
  SDL_Event event{};
  event.button.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  event.button.timestamp = time;
  event.button.windowID = WindowId();
  event.button.button = SdlButton(button);
  event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
  event.button.clicks = 1;
  m_window->Mapping().WindowFromFrame(x, y, &event.button.x, &event.button.y);
  Add(event);
}

void CSdlEventInjector::Wheel(int steps, int x, int y, bool flipped,
                              uint32_t time) {
  SDL_Event event{};
  event.wheel.type = SDL_MOUSEWHEEL;
  event.wheel.timestamp = time;
  event.wheel.windowID = WindowId();
  event.wheel.y = flipped ? -steps : steps;
  event.wheel.preciseY = static_cast<float>(event.wheel.y);
  event.wheel.direction =
      flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
  m_window->Mapping().WindowFromFrame(x, y, &event.wheel.mouseX,
                                      &event.wheel.mouseY);
  Add(event);
}

void CSdlEventInjector::Key(uint16_t virtual_key, bool down, uint32_t modifiers,
                            uint32_t time) {
  const SDL_Scancode scancode = ScancodeOf(virtual_key);
  if (scancode != SDL_SCANCODE_UNKNOWN) KeyAt(scancode, down, modifiers, time);
}

// SDL's scancodes are the USB HID usages.
void CSdlEventInjector::KeyAt(int usb_usage, bool down, uint32_t modifiers,
                              uint32_t time) {
  const auto scancode = static_cast<SDL_Scancode>(usb_usage);
  SDL_Event event{};
  event.key.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  event.key.timestamp = time;
  event.key.windowID = WindowId();
  event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  event.key.keysym.scancode = scancode;
  event.key.keysym.sym = Sdl().SDL_GetKeyFromScancode(scancode);
  event.key.keysym.mod = SdlModifiersOf(modifiers);
  Add(event);
}

void CSdlEventInjector::Text(std::string_view utf8) {
  SDL_Event event{};
  event.text.type = SDL_TEXTINPUT;
  event.text.windowID = WindowId();
  // Text events hold a few characters each; a character is never split.
  while (!utf8.empty()) {
    size_t length = std::min(utf8.size(), sizeof event.text.text - 1);
    while (length < utf8.size() && (utf8[length] & 0xC0) == 0x80) --length;
    std::fill(std::begin(event.text.text), std::end(event.text.text), '\0');
    std::copy_n(utf8.data(), length, event.text.text);
    Add(event);
    utf8.remove_prefix(length);
  }
}

void CSdlEventInjector::PushWindowEvent(uint8_t kind, int data1, int data2) {
  SDL_Event event{};
  event.window.type = SDL_WINDOWEVENT;
  event.window.windowID = WindowId();
  event.window.event = kind;
  event.window.data1 = data1;
  event.window.data2 = data2;
  Add(event);
}

void CSdlEventInjector::FocusGained() {
  PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
}

void CSdlEventInjector::FocusLost() {
  PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
}

void CSdlEventInjector::MouseLeft() { PushWindowEvent(SDL_WINDOWEVENT_LEAVE); }

void CSdlEventInjector::Close() { PushWindowEvent(SDL_WINDOWEVENT_CLOSE); }

void CSdlEventInjector::Resize(int width, int height) {
  Sdl().SDL_SetWindowSize(m_window->m_window.get(), width, height);
  PushWindowEvent(SDL_WINDOWEVENT_RESIZED, width, height);
}

uint32_t CSdlEventInjector::OutputPixel(int x, int y) {
  m_window->Show({});
  if (const SDL_Surface* surface = m_window->m_surface) {
    if (x < 0 || y < 0 || x >= surface->w || y >= surface->h) return 0;
    const uint32_t value = reinterpret_cast<const uint32_t*>(
        static_cast<const uint8_t*>(surface->pixels) +
        static_cast<ptrdiff_t>(y) * surface->pitch)[x];
    uint8_t red = 0, green = 0, blue = 0;
    Sdl().SDL_GetRGB(value, surface->format, &red, &green, &blue);
    return 0xFF000000 | uint32_t{red} << 16 | uint32_t{green} << 8 | blue;
  }
  // A renderer's picture may be gone once presented.
  m_window->Compose();
  const SDL_Rect area{x, y, 1, 1};
  uint32_t pixel = 0;
  Sdl().SDL_RenderReadPixels(m_window->m_renderer.get(), &area,
                             SDL_PIXELFORMAT_ARGB8888, &pixel, 4);
  return pixel;
}
