#include "platform/sdl_platform.h"

#include "platform/sdl_api.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "base/log.h"
#include "platform/sdl_keys.h"
#include "platform/virtual_keys.h"

namespace {

constexpr char kWindowData[] = "tarvolin";
// Out of full screen the window takes at most this share of the display.
constexpr double kWindowedShare = 0.85;

CSdlWindow* WindowOf(uint32_t window_id) {
  SDL_Window* window = Sdl().SDL_GetWindowFromID(window_id);
  return window ? static_cast<CSdlWindow*>(
                      Sdl().SDL_GetWindowData(window, kWindowData))
                : nullptr;
}

// The frame position of a window position; unchanged without a window.
void SetFramePosition(const CSdlWindow* window, int x, int y,
                      SPlatformMessage* message) {
  if (window) window->Mapping().FrameFromWindow(x, y, &x, &y);
  message->x = static_cast<int16_t>(std::clamp(x, -32768, 32767));
  message->y = static_cast<int16_t>(std::clamp(y, -32768, 32767));
}

struct SSurfaceDeleter {
  void operator()(SDL_Surface* surface) const { Sdl().SDL_FreeSurface(surface); }
};
using TSurface = std::unique_ptr<SDL_Surface, SSurfaceDeleter>;

uint32_t Argb(const SRgb& rgb) {
  return 0xFF000000 | uint32_t{rgb.red} << 16 | uint32_t{rgb.green} << 8 |
         rgb.blue;
}

SDL_Rect SdlRect(const TRect& rect, int factor) {
  return {rect.left * factor, rect.top * factor,
          (rect.right - rect.left + 1) * factor,
          (rect.bottom - rect.top + 1) * factor};
}

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

CSdlWindow::CSdlWindow(CSdlPlatform* platform, int width, int height)
    : m_platform(platform), m_frame(width, height) {
  m_colors.fill(0xFF000000);
  m_platform->m_windows.push_back(this);
}

CSdlWindow::~CSdlWindow() {
  std::erase(m_platform->m_windows, this);
  if (m_cursor) Sdl().SDL_SetCursor(Sdl().SDL_GetDefaultCursor());
}

std::unique_ptr<CSdlWindow> CSdlWindow::Create(CSdlPlatform* platform,
                                               int width, int height,
                                               ErrCode* error) {
  *error = err::kCreatingWnd;
  if (width <= 0 || height <= 0) return nullptr;
  std::unique_ptr<CSdlWindow> window(new CSdlWindow(platform, width, height));
  window->m_window.reset(Sdl().SDL_CreateWindow(
      "", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
      SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI));
  if (!window->m_window) return nullptr;
  window->m_renderer.reset(Sdl().SDL_CreateRenderer(
      window->m_window.get(), -1, SDL_RENDERER_TARGETTEXTURE));
  if (!window->m_renderer)
    window->m_renderer.reset(
        Sdl().SDL_CreateRenderer(window->m_window.get(), -1, 0));
  if (!window->m_renderer) return nullptr;
  SDL_RendererInfo info{};
  window->m_software_renderer =
      Sdl().SDL_GetRendererInfo(window->m_renderer.get(), &info) == 0 &&
      std::string_view(info.name) == "software";
  window->m_texture.reset(Sdl().SDL_CreateTexture(
      window->m_renderer.get(), SDL_PIXELFORMAT_RGB888,
      SDL_TEXTUREACCESS_STREAMING, width, height));
  if (!window->m_texture) return nullptr;
  // The pictures are opaque: copying beats blending.
  Sdl().SDL_SetTextureBlendMode(window->m_texture.get(), SDL_BLENDMODE_NONE);
  Sdl().SDL_SetTextureScaleMode(window->m_texture.get(), SDL_ScaleModeNearest);
  Sdl().SDL_SetWindowData(window->m_window.get(), kWindowData, window.get());
  window->FitWindowed();
  window->UpdateMapping();
  // The first size is no change.
  Sdl().SDL_GetWindowSize(window->m_window.get(), &window->m_reported_width,
                          &window->m_reported_height);
  *error = err::kOk;
  return window;
}

void CSdlWindow::FitWindowed() {
  int display = Sdl().SDL_GetWindowDisplayIndex(m_window.get());
  if (display < 0) display = 0;
  int factor = 1;
  SDL_Rect usable{};
  if (Sdl().SDL_GetDisplayUsableBounds(display, &usable) == 0)
    while ((factor + 1) * m_frame.Width() <= usable.w * kWindowedShare &&
           (factor + 1) * m_frame.Height() <= usable.h * kWindowedShare)
      ++factor;
  Sdl().SDL_SetWindowSize(m_window.get(), m_frame.Width() * factor,
                          m_frame.Height() * factor);
  Sdl().SDL_SetWindowPosition(m_window.get(),
                              SDL_WINDOWPOS_CENTERED_DISPLAY(display),
                              SDL_WINDOWPOS_CENTERED_DISPLAY(display));
}

void CSdlWindow::UpdateMapping() {
  int window_width = 0, window_height = 0, output_width = 0, output_height = 0;
  Sdl().SDL_GetWindowSize(m_window.get(), &window_width, &window_height);
  Sdl().SDL_GetRendererOutputSize(m_renderer.get(), &output_width,
                                  &output_height);
  m_mapping = CFrameMapping(m_frame.Width(), m_frame.Height(), output_width,
                            output_height, window_width, window_height,
                            m_integer_only);
  m_repaint = true;
  const int factor = m_mapping.IsWholeScale() ? 0 : m_mapping.SharpFactor();
  if (factor != m_target_factor) {
    m_target.reset();
    m_target_factor = 0;
    if (factor) {
      m_target.reset(Sdl().SDL_CreateTexture(
          m_renderer.get(), SDL_PIXELFORMAT_RGB888,
          SDL_TEXTUREACCESS_TARGET, m_frame.Width() * factor,
          m_frame.Height() * factor));
      if (m_target) {
        Sdl().SDL_SetTextureBlendMode(m_target.get(), SDL_BLENDMODE_NONE);
        Sdl().SDL_SetTextureScaleMode(m_target.get(), SDL_ScaleModeLinear);
        m_target_factor = factor;
      }
    }
  }
  if (m_cursor_source) ApplyCursor();
}

void CSdlWindow::SetTitle(const char* title) {
  Sdl().SDL_SetWindowTitle(m_window.get(), title);
}

void CSdlWindow::SetIcon(const SArgbImage* image) {
  if (!image || !image->pixels || image->width <= 0 || image->height <= 0)
    return;
  // SDL only reads the pixels.
  TSurface surface(Sdl().SDL_CreateRGBSurfaceWithFormatFrom(
      const_cast<uint32_t*>(image->pixels), image->width, image->height, 32,
      image->width * 4, SDL_PIXELFORMAT_ARGB8888));
  if (surface) Sdl().SDL_SetWindowIcon(m_window.get(), surface.get());
}

SPresentedFrame CSdlWindow::Presented() const {
  return {m_frame.Width(), m_frame.Height(), m_frame.Pixels().data(),
          m_palette.data()};
}

void CSdlWindow::Show() { Sdl().SDL_ShowWindow(m_window.get()); }

void CSdlWindow::SetPalette(std::span<const SRgb> colors) {
  m_palette.fill(SRgb{});
  std::copy_n(colors.begin(), std::min(colors.size(), m_palette.size()),
              m_palette.begin());
  std::array<uint32_t, 256> converted;
  std::transform(m_palette.begin(), m_palette.end(), converted.begin(), Argb);
  if (converted == m_colors) return;
  m_colors = converted;
  m_repaint = true;
}

void CSdlWindow::Convert(const TRect& rect) {
  const SDL_Rect area = SdlRect(rect, 1);
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

void CSdlWindow::Enlarge(const std::vector<TRect>& rects) {
  if (!m_target) return;
  if (Sdl().SDL_SetRenderTarget(m_renderer.get(), m_target.get()) != 0) return;
  for (const TRect& rect : rects) {
    const SDL_Rect source = SdlRect(rect, 1);
    const SDL_Rect target = SdlRect(rect, m_target_factor);
    Sdl().SDL_RenderCopy(m_renderer.get(), m_texture.get(), &source, &target);
  }
  Sdl().SDL_SetRenderTarget(m_renderer.get(), nullptr);
}

void CSdlWindow::Compose() {
  const SFrameRect& place = m_mapping.Output();
  const SDL_Rect target{place.left, place.top, place.width, place.height};
  // Black around the frame; a frame covering the output needs none.
  int output_width = 0, output_height = 0;
  Sdl().SDL_GetRendererOutputSize(m_renderer.get(), &output_width,
                                  &output_height);
  if (place.left > 0 || place.top > 0 ||
      place.left + place.width < output_width ||
      place.top + place.height < output_height) {
    Sdl().SDL_SetRenderDrawColor(m_renderer.get(), 0, 0, 0, 255);
    Sdl().SDL_RenderClear(m_renderer.get());
  }
  Sdl().SDL_RenderCopy(m_renderer.get(),
                       m_target ? m_target.get() : m_texture.get(), nullptr,
                       &target);
}

SDL_Surface* CSdlWindow::DirectSurface() const {
  if (!m_software_renderer || !m_mapping.IsWholeScale()) return nullptr;
  SDL_Surface* surface = Sdl().SDL_GetWindowSurface(m_window.get());
  return surface && surface->format->BytesPerPixel == 4 ? surface : nullptr;
}

void CSdlWindow::PaintSurface(SDL_Surface* surface,
                              const std::vector<TRect>& rects, bool whole) {
  if (whole) {
    for (size_t i = 0; i < m_palette.size(); ++i)
      m_surface_colors[i] =
          Sdl().SDL_MapRGB(surface->format, m_palette[i].red,
                           m_palette[i].green, m_palette[i].blue);
    Sdl().SDL_FillRect(surface, nullptr,
                       Sdl().SDL_MapRGB(surface->format, 0, 0, 0));
  }
  const int scale = m_mapping.SharpFactor();
  const SFrameRect& place = m_mapping.Output();
  uint8_t* const pixels = static_cast<uint8_t*>(surface->pixels);
  auto row = [&](int y) {
    return reinterpret_cast<uint32_t*>(
        pixels + static_cast<ptrdiff_t>(y) * surface->pitch);
  };
  std::vector<SDL_Rect> shown;
  for (const TRect& rect : rects) {
    // Cut to the surface. Only a frame at scale 1 sticks out of a window
    // (with whole scales only), so the cut rectangle starts on a block.
    const int left = std::max(place.left + rect.left * scale, 0);
    const int top = std::max(place.top + rect.top * scale, 0);
    const int right =
        std::min(place.left + (rect.right + 1) * scale, surface->w);
    const int bottom =
        std::min(place.top + (rect.bottom + 1) * scale, surface->h);
    if (left >= right || top >= bottom) continue;
    shown.push_back({left, top, right - left, bottom - top});
    const int width = right - left;
    for (int y = top; y < bottom; y += scale) {
      const uint8_t* in =
          m_frame.Pixels().data() +
          static_cast<ptrdiff_t>((y - place.top) / scale) * m_frame.Width() +
          (left - place.left) / scale;
      uint32_t* out = row(y) + left;
      // At 1, blocks of one through fill_n take several times as long.
      if (scale == 1)
        for (int x = 0; x < width; ++x) out[x] = m_surface_colors[in[x]];
      else
        for (int x = 0; x < width; x += scale)
          std::fill_n(out + x, scale, m_surface_colors[*in++]);
      // The block's other rows repeat its first.
      for (int copy = y + 1; copy < std::min(y + scale, bottom); ++copy)
        std::copy_n(out, width, row(copy) + left);
    }
  }
  if (whole)
    Sdl().SDL_UpdateWindowSurface(m_window.get());
  else if (!shown.empty())
    Sdl().SDL_UpdateWindowSurfaceRects(m_window.get(), shown.data(),
                                       static_cast<int>(shown.size()));
}

void CSdlWindow::Show(std::vector<TRect> changed) {
  SDL_Surface* surface = DirectSurface();
  if (surface != m_surface) {
    m_surface = surface;
    m_repaint = true;
  }
  const bool whole = m_repaint;
  if (whole) {
    m_repaint = false;
    changed = {{0, 0, static_cast<int16_t>(m_frame.Width() - 1),
                static_cast<int16_t>(m_frame.Height() - 1)}};
  }
  if (surface) {
    PaintSurface(surface, changed, whole);
    return;
  }
  for (const TRect& rect : changed) Convert(rect);
  Enlarge(changed);
  Compose();
  Sdl().SDL_RenderPresent(m_renderer.get());
}

void CSdlWindow::Present(const uint8_t* pixels, int width, int height,
                         int pitch, std::span<const TRect> rects) {
  Show(m_frame.Update(pixels, width, height, pitch, rects));
}

void CSdlWindow::ShowCursor(bool shown) {
  Sdl().SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

void CSdlWindow::SetCursorImage(const SCursorImage* image) {
  m_cursor_source.reset();
  m_cursor_factor = 0;
  if (image && image->pixels && image->palette && image->width > 0 &&
      image->height > 0 && image->width <= kMaxCursorSide &&
      image->height <= kMaxCursorSide) {
    // Assigned rather than emplaced: clang cannot default-construct a
    // nested struct with member initialisers inside std::optional.
    m_cursor_source = SCursorSource{};
    SCursorSource& source = *m_cursor_source;
    source.width = image->width;
    source.height = image->height;
    source.hot_x = std::clamp(image->hot_x, 0, image->width - 1);
    source.hot_y = std::clamp(image->hot_y, 0, image->height - 1);
    source.pixels.assign(image->pixels,
                         image->pixels + static_cast<size_t>(image->width) *
                                             image->height);
    std::copy_n(image->palette, source.palette.size(), source.palette.begin());
    source.transparent = image->transparent;
  }
  ApplyCursor();
}

SDL_Cursor* CSdlWindow::MakeCursor(int factor) const {
  const SCursorSource& source = *m_cursor_source;
  const int width = source.width * factor, height = source.height * factor;
  const int hot_x = source.hot_x * factor, hot_y = source.hot_y * factor;
  const uint8_t transparent = source.transparent;
  auto index = [&](int x, int y) {
    return source.pixels[static_cast<size_t>(y / factor) * source.width +
                         x / factor];
  };
  TSurface surface(Sdl().SDL_CreateRGBSurfaceWithFormat(
      0, width, height, 32, SDL_PIXELFORMAT_ARGB8888));
  if (surface) {
    for (int y = 0; y < height; ++y) {
      uint32_t* row = reinterpret_cast<uint32_t*>(
          static_cast<uint8_t*>(surface->pixels) +
          static_cast<ptrdiff_t>(y) * surface->pitch);
      for (int x = 0; x < width; ++x) {
        const uint8_t pixel = index(x, y);
        row[x] = pixel == transparent ? 0 : Argb(source.palette[pixel]);
      }
    }
    if (SDL_Cursor* cursor =
            Sdl().SDL_CreateColorCursor(surface.get(), hot_x, hot_y))
      return cursor;
  }
  // Monochrome rows are whole bytes: a set mask bit is opaque, a set data
  // bit black.
  const int row_bytes = (width + 7) / 8;
  std::vector<uint8_t> data(static_cast<size_t>(row_bytes) * height);
  std::vector<uint8_t> mask(data.size());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint8_t pixel = index(x, y);
      if (pixel == transparent) continue;
      const size_t at = static_cast<size_t>(y) * row_bytes + x / 8;
      const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
      mask[at] |= bit;
      if (pixel == 0) data[at] |= bit;
    }
  return Sdl().SDL_CreateCursor(data.data(), mask.data(), row_bytes * 8,
                                height, hot_x, hot_y);
}

void CSdlWindow::ApplyCursor() {
  if (!m_cursor_source) {
    Sdl().SDL_SetCursor(Sdl().SDL_GetDefaultCursor());
    m_cursor.reset();
    return;
  }
  const int factor =
      std::max(1, static_cast<int>(std::floor(m_mapping.Scale())));
  if (factor == m_cursor_factor) return;
  m_cursor_factor = factor;
  std::unique_ptr<SDL_Cursor, SSdlDeleter> cursor(MakeCursor(factor));
  Sdl().SDL_SetCursor(cursor ? cursor.get() : Sdl().SDL_GetDefaultCursor());
  m_cursor = std::move(cursor);
}

void CSdlWindow::WarpMouse(int x, int y) {
  int window_x = 0, window_y = 0;
  m_mapping.WindowFromFrame(x, y, &window_x, &window_y);
  // SDL reports no motion when the mouse is already there.
  int mouse_x = -1, mouse_y = -1;
  if (Sdl().SDL_GetMouseFocus() == m_window.get())
    Sdl().SDL_GetMouseState(&mouse_x, &mouse_y);
  m_warp_pending = mouse_x != window_x || mouse_y != window_y;
  m_warp_x = window_x;
  m_warp_y = window_y;
  Sdl().SDL_WarpMouseInWindow(m_window.get(), window_x, window_y);
  SPlatformMessage message;
  message.kind = EPlatformMessage::kMouseMove;
  message.window = this;
  message.x = static_cast<int16_t>(x);
  message.y = static_cast<int16_t>(y);
  m_platform->m_pending.push_back(std::move(message));
}

bool CSdlWindow::TakeWarpEcho(int x, int y) {
  if (!m_warp_pending || x != m_warp_x || y != m_warp_y) return false;
  m_warp_pending = false;
  return true;
}

bool CSdlWindow::TakeResize(int width, int height) {
  if (width == m_reported_width && height == m_reported_height) return false;
  m_reported_width = width;
  m_reported_height = height;
  return true;
}

void CSdlWindow::SetCapture(bool captured) {
  Sdl().SDL_CaptureMouse(captured ? SDL_TRUE : SDL_FALSE);
}

bool CSdlWindow::SetFullScreen(bool full) {
  if (Sdl().SDL_SetWindowFullscreen(
          m_window.get(), full ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0)
    return false;
  if (!full) {
    Sdl().SDL_SetWindowBordered(m_window.get(), SDL_TRUE);
    Sdl().SDL_SetWindowResizable(m_window.get(), SDL_TRUE);
    FitWindowed();
  }
  UpdateMapping();
  return true;
}

bool CSdlWindow::IsFullScreen() const {
  const uint32_t flags = Sdl().SDL_GetWindowFlags(m_window.get());
  return (flags & SDL_WINDOW_FULLSCREEN) != 0;
}

void CSdlWindow::SetDecorated(bool decorated) {
  Sdl().SDL_SetWindowBordered(m_window.get(), decorated ? SDL_TRUE : SDL_FALSE);
}

void CSdlWindow::SetIntegerScale(bool integer_only) {
  if (integer_only == m_integer_only) return;
  m_integer_only = integer_only;
  UpdateMapping();
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

std::vector<SDisplayMode> CSdlPlatform::DisplayModes() {
  std::vector<SDisplayMode> modes;
  auto add = [&modes](const SDL_DisplayMode& sdl_mode) {
    const SDisplayMode mode{sdl_mode.w, sdl_mode.h,
                            static_cast<int>(SDL_BITSPERPIXEL(sdl_mode.format)),
                            sdl_mode.refresh_rate};
    if (std::find(modes.begin(), modes.end(), mode) == modes.end())
      modes.push_back(mode);
  };
  SDL_DisplayMode mode{};
  if (Sdl().SDL_GetDesktopDisplayMode(0, &mode) == 0) add(mode);
  const int count = Sdl().SDL_GetNumDisplayModes(0);
  for (int i = 0; i < count; ++i)
    if (Sdl().SDL_GetDisplayMode(0, i, &mode) == 0) add(mode);
  return modes;
}

std::string CSdlPlatform::GetClipboardText() {
  char* text = Sdl().SDL_GetClipboardText();
  if (!text) return {};
  std::string clipboard = ClipboardFromUtf8(text);
  Sdl().SDL_free(text);
  return clipboard;
}

void CSdlPlatform::SetClipboardText(std::string_view text) {
  Sdl().SDL_SetClipboardText(ClipboardToUtf8(text).c_str());
}

std::unique_ptr<CPlatformWindow> CSdlPlatform::CreateWindow(int width,
                                                            int height,
                                                            ErrCode* error) {
  return CSdlWindow::Create(this, width, height, error);
}

void CSdlPlatform::Push(EPlatformMessage kind, CPlatformWindow* window) {
  SPlatformMessage message;
  message.kind = kind;
  message.window = window;
  m_pending.push_back(std::move(message));
}

bool CSdlPlatform::PairsDown(const SDown& down) {
  const bool pairs =
      m_last_down && m_last_down->window == down.window &&
      m_last_down->button == down.button &&
      down.time - m_last_down->time <= kDoubleClickMs &&
      std::abs(down.x - m_last_down->x) <= kDoubleClickDistance &&
      std::abs(down.y - m_last_down->y) <= kDoubleClickDistance;
  if (pairs)
    m_last_down.reset();
  else
    m_last_down = down;
  return pairs;
}

void CSdlPlatform::TranslateWindowEvent(const SDL_Event& event) {
  CSdlWindow* window = WindowOf(event.window.windowID);
  if (!window) return;
  switch (event.window.event) {
    case SDL_WINDOWEVENT_CLOSE:
      Push(EPlatformMessage::kClose, window);
      break;
    case SDL_WINDOWEVENT_EXPOSED:
      window->m_repaint = true;
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
    case SDL_WINDOWEVENT_RESIZED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      // SDL reports one change as both events.
      window->UpdateMapping();
      if (window->TakeResize(event.window.data1, event.window.data2)) {
        Push(EPlatformMessage::kResize, window);
        m_pending.back().x = static_cast<int16_t>(event.window.data1);
        m_pending.back().y = static_cast<int16_t>(event.window.data2);
      }
      break;
    case SDL_WINDOWEVENT_DISPLAY_CHANGED:
      window->UpdateMapping();
      Push(EPlatformMessage::kDisplayChange, window);
      break;
  }
}

void CSdlPlatform::TranslateKey(const SDL_Event& event) {
  const SDL_Keysym& keysym = event.key.keysym;
  const bool down = event.type == SDL_KEYDOWN;
  CSdlWindow* window = WindowOf(event.key.windowID);
  if (!down) {
    if (std::erase(m_swallowed_keys, keysym.scancode)) return;
  } else if (keysym.mod & KMOD_ALT) {
    const bool enter = keysym.scancode == SDL_SCANCODE_RETURN ||
                       keysym.scancode == SDL_SCANCODE_KP_ENTER;
    const bool task_key = keysym.scancode == SDL_SCANCODE_TAB ||
                          keysym.scancode == SDL_SCANCODE_ESCAPE ||
                          keysym.scancode == SDL_SCANCODE_SPACE;
    if (enter || (task_key && window && window->IsFullScreen())) {
      if (std::find(m_swallowed_keys.begin(), m_swallowed_keys.end(),
                    keysym.scancode) == m_swallowed_keys.end())
        m_swallowed_keys.push_back(keysym.scancode);
      if (enter && window && !event.key.repeat)
        window->SetFullScreen(!window->IsFullScreen());
      return;
    }
  }
  SPlatformMessage message;
  message.virtual_key = VirtualKeyOf(keysym.scancode, keysym.sym);
  if (!message.virtual_key) return;
  message.kind = down ? EPlatformMessage::kKeyDown : EPlatformMessage::kKeyUp;
  message.window = window;
  message.character = KeyCharacter(message.virtual_key);
  message.modifiers = ModifiersOf(keysym.mod);
  const uint16_t typed =
      down ? TypedControlCharacter(message.virtual_key, message.modifiers) : 0;
  m_pending.push_back(message);
  if (typed) {
    message.kind = EPlatformMessage::kChar;
    message.virtual_key = 0;
    message.character = typed;
    m_pending.push_back(message);
  }
}

void CSdlPlatform::Translate(const SDL_Event& event) {
  SPlatformMessage message;
  switch (event.type) {
    case SDL_QUIT:
      Push(EPlatformMessage::kQuit, nullptr);
      return;
    case SDL_WINDOWEVENT:
      TranslateWindowEvent(event);
      return;
    case SDL_DISPLAYEVENT:
      for (CSdlWindow* window : m_windows) {
        window->UpdateMapping();
        Push(EPlatformMessage::kDisplayChange, window);
      }
      return;
    case SDL_RENDER_TARGETS_RESET:
    case SDL_RENDER_DEVICE_RESET:
      // The textures' pixels are gone: the next present redraws them all.
      for (CSdlWindow* window : m_windows) {
        window->m_repaint = true;
        Push(EPlatformMessage::kPaint, window);
      }
      return;
    case SDL_MOUSEMOTION: {
      // SDL reports a warp without the window while the mouse has not
      // entered it; such motions cannot be placed in a frame.
      CSdlWindow* window = WindowOf(event.motion.windowID);
      if (!window) {
        for (CSdlWindow* warped : m_windows)
          if (warped->TakeWarpEcho(event.motion.x, event.motion.y)) break;
        return;
      }
      if (window->TakeWarpEcho(event.motion.x, event.motion.y)) return;
      message.kind = EPlatformMessage::kMouseMove;
      message.window = window;
      SetFramePosition(window, event.motion.x, event.motion.y, &message);
      break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const uint8_t button = event.button.button;
      if (button != SDL_BUTTON_LEFT && button != SDL_BUTTON_RIGHT) return;
      const bool left = button == SDL_BUTTON_LEFT;
      CSdlWindow* window = WindowOf(event.button.windowID);
      message.window = window;
      SetFramePosition(window, event.button.x, event.button.y, &message);
      if (event.type == SDL_MOUSEBUTTONUP)
        message.kind =
            left ? EPlatformMessage::kLeftUp : EPlatformMessage::kRightUp;
      else if (PairsDown({window, button, event.button.timestamp, message.x,
                          message.y}))
        message.kind = left ? EPlatformMessage::kLeftDouble
                            : EPlatformMessage::kRightDouble;
      else
        message.kind =
            left ? EPlatformMessage::kLeftDown : EPlatformMessage::kRightDown;
      message.modifiers = ModifiersOf(Sdl().SDL_GetModState());
      break;
    }
    case SDL_MOUSEWHEEL: {
      if (event.wheel.y == 0) return;
      CSdlWindow* window = WindowOf(event.wheel.windowID);
      message.kind = EPlatformMessage::kWheel;
      message.window = window;
      SetFramePosition(window, event.wheel.mouseX, event.wheel.mouseY,
                       &message);
      message.steps = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED
                          ? -event.wheel.y
                          : event.wheel.y;
      message.modifiers = ModifiersOf(Sdl().SDL_GetModState());
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      TranslateKey(event);
      return;
    case SDL_TEXTINPUT: {
      std::vector<uint32_t> code_points;
      if (!DecodeUtf8(event.text.text, &code_points)) return;
      message.kind = EPlatformMessage::kChar;
      message.window = WindowOf(event.text.windowID);
      message.modifiers = ModifiersOf(Sdl().SDL_GetModState());
      for (uint32_t code : code_points) {
        message.character = static_cast<uint16_t>(code <= 0xFF ? code : '?');
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

CSdlAudioInput::CSdlAudioInput(uint32_t device) : m_device(device) {
  Sdl().SDL_PauseAudioDevice(m_device, 0);
}

CSdlAudioInput::~CSdlAudioInput() { Sdl().SDL_CloseAudioDevice(m_device); }

void CSdlAudioInput::Read(std::vector<uint8_t>* samples) {
  constexpr uint32_t kChunk = 4096;
  for (;;) {
    const size_t size = samples->size();
    samples->resize(size + kChunk);
    const uint32_t got = Sdl().SDL_DequeueAudio(m_device, samples->data() + size, kChunk);
    samples->resize(size + got);
    if (got < kChunk) return;
  }
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

std::unique_ptr<CAudioInput> CSdlPlatform::OpenAudioInput(ErrCode* error) {
  *error = err::kUnknownError;
  if (!AudioReady()) return nullptr;
  SDL_AudioSpec wanted{};
  wanted.freq = static_cast<int>(kAudioInputFormat.rate);
  wanted.format = AUDIO_S16LSB;
  wanted.channels = static_cast<uint8_t>(kAudioInputFormat.channels);
  wanted.samples = 1024;
  SDL_AudioSpec obtained{};
  // SDL converts from whatever the hardware gives.
  const SDL_AudioDeviceID id = Sdl().SDL_OpenAudioDevice(nullptr, 1, &wanted, &obtained, 0);
  if (id == 0) {
    std::fprintf(stderr, "SDL audio input: %s\n", Sdl().SDL_GetError());
    return nullptr;
  }
  *error = err::kOk;
  return std::make_unique<CSdlAudioInput>(id);
}
