#include "ui/os_layer.h"

#include <algorithm>
#include <cstring>

#include "base/log.h"
#include "base/trace.h"
#include "fs/file_service.h"
#include "fs/replace.h"
#include "gfx/bmp.h"
#include "ui/cursor.h"
#include "ui/desktop.h"
#include "ui/event_queue.h"
#include "ui/resources.h"
#include "ui/tree_dump.h"

namespace {

constexpr uint32_t kStyleCaption = 0x00C00000;
constexpr uint32_t kStylePopup = 0x80000000;
constexpr uint16_t kBinaryWriteMode = 15;

// Mouse messages and the events they become.
struct SMouseCode {
  EPlatformMessage kind;
  uint32_t code;
};
constexpr SMouseCode kMouseCodes[] = {
    {EPlatformMessage::kMouseMove, kEvMouseMove},
    {EPlatformMessage::kLeftDown, kEvLeftDown},
    {EPlatformMessage::kLeftUp, kEvLeftUp},
    {EPlatformMessage::kLeftDouble, kEvLeftDouble},
    {EPlatformMessage::kRightDown, kEvRightDown},
    {EPlatformMessage::kRightUp, kEvRightUp},
    {EPlatformMessage::kRightDouble, kEvRightDouble},
    {EPlatformMessage::kWheel, kEvWheel},
};

// Messages that become fixed events, in this order.
struct SPlainCodes {
  EPlatformMessage kind;
  uint32_t codes[2];
};
constexpr SPlainCodes kPlainCodes[] = {
    {EPlatformMessage::kActivate, {kEvAppActivated, kEvWindowActivated}},
    {EPlatformMessage::kDeactivate, {kEvWindowDeactivated, kEvAppDeactivated}},
    {EPlatformMessage::kFocusGained, {kEvPlatformFocusGained, 0}},
    {EPlatformMessage::kFocusLost, {kEvPlatformFocusLost, 0}},
    {EPlatformMessage::kResize, {kEvResized, 0}},
    {EPlatformMessage::kDisplayChange, {kEvDisplayMode, 0}},
};

int DepthCode(int bits) {
  switch (bits) {
    case 8:
      return 1;
    case 16:
      return 3;
    case 24:
    case 32:
      return 4;
    default:
      return 0;
  }
}

}  // namespace

COSWindow::COSWindow(COSLayer* layer, std::unique_ptr<CPlatformWindow> window, uint32_t id)
    : m_layer(layer), m_window(std::move(window)), m_id(id) {}

COSWindow::~COSWindow() { m_layer->DestroyWindow(this); }

ErrCode COSWindow::SetOption(uint32_t key, const SOptionValue& value) {
  switch (key) {
    case kOptionStyle:
      m_style = value.number;
      if (!m_full_screen)
        m_window->SetDecorated((value.number & kStyleCaption) != 0 ||
                               !(value.number & kStylePopup));
      return err::kOk;
    case kOptionClassName:
      m_class_name = value.text;
      return err::kOk;
    case kOptionMenu: {
      ErrCode error = err::kOk;
      std::unique_ptr<CMenuModel> menu = CMenuModel::Load(value.text, &error);
      if (!menu) return error;
      m_menu = std::move(menu);
      return err::kOk;
    }
    case kOptionExtendedStyle:
      m_extended_style = value.number;
      return err::kOk;
    case kOptionOwner:
      m_owner = value.number;
      return err::kOk;
    case kOptionItemText:
    case kOptionItemChecked:
    case kOptionItemEnabled: {
      SMenuItem* item = m_menu ? m_menu->Find(value.item) : nullptr;
      if (!item) return err::kUnknownError;
      if (key == kOptionItemText) item->text = value.text;
      if (key == kOptionItemChecked) item->checked = value.number != 0;
      if (key == kOptionItemEnabled) item->enabled = value.number != 0;
      return err::kOk;
    }
    case kOptionIcon: {
      const std::optional<std::string_view> text =
          FindResource("icon", std::to_string(value.number));
      if (!text) return err::kNotFound;
      const SIcon icon = IconFromXpm(*text);
      if (icon.pixels.empty()) return err::kInvalidFormat;
      const SArgbImage image{icon.width, icon.height, icon.pixels.data()};
      m_window->SetIcon(&image);
      return err::kOk;
    }
    case kOptionRepresent: {
      const TRect rect = value.rect;
      Present(std::span<const TRect>(&rect, 1));
      return err::kOk;
    }
    default:
      return err::kUnknownError;
  }
}

ErrCode COSWindow::GetOption(uint32_t key, SOptionValue* value) const {
  switch (key) {
    case kOptionStyle:
      value->number = m_style;
      return err::kOk;
    case kOptionClassName:
      value->text = m_class_name;
      return err::kOk;
    case kOptionExtendedStyle:
      value->number = m_extended_style;
      return err::kOk;
    case kOptionHandle:
      value->number = m_id;
      return err::kOk;
    case kOptionOwner:
      value->number = m_owner;
      return err::kOk;
    default:
      return err::kUnknownError;
  }
}

void COSWindow::SetFullScreen(bool full) {
  m_full_screen = full;
  m_window->SetFullScreen(full);
  if (!full) m_window->SetDecorated(true);
}

void COSWindow::SetPalette(std::span<const SRgb> colors) {
  m_palette.fill(SRgb{});
  std::copy_n(colors.begin(), std::min(colors.size(), m_palette.size()), m_palette.begin());
  m_window->SetPalette(colors);
}

void COSWindow::CreateFrameBuffer(int width, int height) {
  m_frame_width = width;
  m_frame_height = height;
  m_frame.assign(static_cast<size_t>(width) * height, 0);
}

SPixelView COSWindow::FrameView() {
  return {m_frame.data(), m_frame_width, m_frame_width, m_frame_height};
}

void COSWindow::Present(std::span<const TRect> rects) {
  if (m_frame.empty()) return;
  ++m_presents;
  m_window->Present(m_frame.data(), m_frame_width, m_frame_height, m_frame_width, rects);
  // Written once the frame is shown, so that whoever watches the trace sees
  // the line no earlier than the player sees the picture.
  if (Traced(kTracePresent)) {
    std::string fields;
    for (const TRect& rect : rects)
      fields += (fields.empty() ? "" : "\t") + std::to_string(rect.left) + "," +
                std::to_string(rect.top) + "," + std::to_string(rect.right) + "," +
                std::to_string(rect.bottom);
    Tracer().Line(kTracePresent, rects.empty() ? "full" : fields);
  }
}

void COSWindow::ShowCursor(bool shown) {
  Tracer().Line(kTraceCursor, shown ? "shown" : "hidden");
  m_window->ShowCursor(shown);
}

void COSWindow::SetCursor(const CCursor* cursor) {
  const std::string path = cursor ? cursor->Path() : std::string();
  const TPoint hot = cursor ? cursor->HotSpot() : TPoint{};
  if (m_cursor_known && path == m_cursor_path && hot.x == m_cursor_hot.x &&
      hot.y == m_cursor_hot.y)
    return;
  m_cursor_known = true;
  m_cursor_path = path;
  m_cursor_hot = hot;
  Tracer().LineF(kTraceCursor, "%s\t%d,%d", cursor ? path.c_str() : "arrow", hot.x, hot.y);
  if (!cursor) {
    m_window->SetCursorImage(nullptr);
    return;
  }
  const SCursorImage image = cursor->Image();
  m_window->SetCursorImage(&image);
}

void COSWindow::WarpMouse(TPoint point) {
  Tracer().LineF(kTraceCursor, "warp\t%d,%d", point.x, point.y);
  m_window->WarpMouse(point.x - m_content.left, point.y - m_content.top);
}

uint32_t COSWindow::Send(uint32_t code, uint32_t p1, uint32_t p2) {
  if (!m_client) return CEventQueue::kNotDelivered;
  SEventRecord record;
  record.delivery = kDeliverWindow;
  record.target = m_client->Id();
  record.source_kind = kSourceTopLevel;
  record.source = m_id;
  record.code = code;
  record.p1 = p1;
  record.p2 = p2;
  record.posted = record.due = m_layer->Now();
  return m_layer->Queue()->Dispatch(record);
}

void COSWindow::OnMouseMessage(uint32_t code, const SPlatformMessage& message) {
  m_mouse_seen = true;
  m_last_mouse = {message.x, message.y};
  CEventQueue* queue = m_layer->Queue();
  if (code == kEvMouseMove && queue->Waiting() * 2 >= queue->Capacity()) {
    queue->Compact();
    if (queue->Waiting() * 2 >= queue->Capacity()) return;
  }
  const uint32_t p2 = code == kEvWheel ? static_cast<uint32_t>(message.steps) : message.modifiers;
  Send(code, PackPoint(m_last_mouse), p2);
}

void COSWindow::OnMenu(uint32_t command) {
  MenuOpening();
  ChooseMenu(command);
}

void COSWindow::ChooseMenu(uint32_t command) {
  const SMenuItem* item = m_menu ? m_menu->Find(command) : nullptr;
  if (item && item->enabled) {
    Send(kEvMenuCommand, command);
    return;
  }
  LogMessage(kLogTool, "Menu item %u not available.\n", command);
}

void COSWindow::OnClose() {
  if (Send(kEvClose) == 0) m_layer->Quit();
}

void COSWindow::OnPaint() {
  Send(kEvPlatformPaint,
       PackPoint({static_cast<int16_t>(m_frame_width), static_cast<int16_t>(m_frame_height)}));
  Present({});
}

void COSWindow::WriteShot(const std::string& path) {
  if (m_client) m_client->Present();
  const SPresentedFrame shown = m_window->Presented();
  auto palette = std::make_unique<CPalette>();
  palette->SetCount(256);
  for (uint32_t i = 0; i < 256; ++i)
    palette->SetEntry(i, {shown.palette[i].blue, shown.palette[i].green, shown.palette[i].red, 0});
  CBitmap bitmap;
  ErrCode error = bitmap.Create(static_cast<uint16_t>(shown.width),
                                static_cast<uint16_t>(shown.height), kPixel8,
                                std::move(palette), kTopDown, 0);
  if (error == err::kOk) {
    CBitmapLock lock(bitmap);
    for (int y = 0; lock && y < shown.height; ++y)
      std::memcpy(lock.View().Row(y), shown.pixels + static_cast<ptrdiff_t>(y) * shown.width,
                  static_cast<size_t>(shown.width));
  }
  if (error == err::kOk) error = SaveBmp(path.c_str(), bitmap, kBottomUp);
  if (error != err::kOk)
    LogMessage(kLogEngine, "Cannot write %s (%s)\n", path.c_str(), ErrName(error));
}

void COSWindow::WriteDump(const std::string& path) {
  const std::string text = m_client ? DumpTree(*m_client, m_menu.get()) : std::string();
  if (ErrCode error = ReplaceFileContents(path.c_str(), text))
    LogMessage(kLogEngine, "Cannot write %s (%s)\n", path.c_str(), ErrName(error));
}

void COSWindow::WindowProc(const SPlatformMessage& message) {
  for (const SMouseCode& entry : kMouseCodes)
    if (entry.kind == message.kind) return OnMouseMessage(entry.code, message);
  for (const SPlainCodes& entry : kPlainCodes) {
    if (entry.kind != message.kind) continue;
    for (uint32_t code : entry.codes)
      if (code) Send(code);
    return;
  }
  switch (message.kind) {
    case EPlatformMessage::kKeyDown:
    case EPlatformMessage::kKeyUp:
      Send(message.kind == EPlatformMessage::kKeyDown ? kEvKeyDown : kEvKeyUp,
           message.character | uint32_t{message.virtual_key} << 16, message.modifiers);
      return;
    case EPlatformMessage::kChar:
      Send(kEvChar, message.character, message.modifiers);
      return;
    case EPlatformMessage::kMouseLeave:
      m_mouse_seen = false;
      Send(kEvMouseLeft);
      return;
    case EPlatformMessage::kClose:
      return OnClose();
    case EPlatformMessage::kPaint:
      return OnPaint();
    case EPlatformMessage::kMenu:
      return OnMenu(message.command);
    case EPlatformMessage::kShot:
      return WriteShot(message.text);
    case EPlatformMessage::kDump:
      return WriteDump(message.text);
    default:
      return;
  }
}

void COSWindow::Idle() {
  if (!m_mouse_seen) return;
  const TRect frame{0, 0, static_cast<int16_t>(m_content.right - m_content.left),
                    static_cast<int16_t>(m_content.bottom - m_content.top)};
  if (RectContains(frame, m_last_mouse)) return;
  m_mouse_seen = false;
  Send(kEvMouseLeft);
}

COSLayer::COSLayer(CPlatform* platform, CEventQueue* queue)
    : m_platform(platform), m_queue(queue), m_modes(platform->DisplayModes()) {
  queue->SetClock([platform] { return platform->TickCount(); });
}

COSLayer::~COSLayer() { m_queue->SetClock(nullptr); }

std::unique_ptr<COSWindow> COSLayer::CreateWindow(ErrCode* error, int height) {
  std::unique_ptr<CPlatformWindow> window =
      m_platform->CreateWindow(COSWindow::kContentWidth, height, error);
  if (!window) {
    if (*error == err::kOk) *error = err::kCreatingWnd;
    return nullptr;
  }
  auto top_level = std::make_unique<COSWindow>(this, std::move(window), m_next_window_id++);
  m_windows.push_back(top_level.get());
  return top_level;
}

void COSLayer::DestroyWindow(COSWindow* window) { std::erase(m_windows, window); }

COSWindow* COSLayer::WindowOf(const CPlatformWindow* window) const {
  for (COSWindow* top_level : m_windows)
    if (top_level->PlatformWindow() == window) return top_level;
  return m_windows.empty() ? nullptr : m_windows.front();
}

bool COSLayer::Pump() {
  SPlatformMessage message;
  while (m_platform->PeekMessage(&message)) {
    if (message.kind == EPlatformMessage::kQuit) return false;
    if (m_hook && m_hook(&message)) continue;
    if (COSWindow* window = WindowOf(message.window)) window->WindowProc(message);
  }
  const std::vector<COSWindow*> windows = m_windows;
  for (COSWindow* window : windows) window->Idle();
  m_queue->DeliverDue(Now(), kDeliverLimit);
  for (COSWindow* window : m_windows)
    if (CDesktop* desktop = window->Client(); desktop && desktop->NeedsPresent())
      desktop->Present();
  return true;
}

void COSLayer::Wait(uint32_t limit_ms) {
  uint32_t due = 0;
  if (m_queue->NextDue(&due)) {
    const int32_t until = static_cast<int32_t>(due - Now());
    limit_ms = std::min(limit_ms, static_cast<uint32_t>(std::max(until, 0)));
  }
  m_platform->WaitMessage(limit_ms);
}

bool COSLayer::GetMode(int mode, int* width, int* height, int* depth) const {
  if (!ModeExists(mode)) return false;
  if (mode == kLogicalMode) {
    *width = COSWindow::kContentWidth;
    *height = COSWindow::kContentHeight;
    *depth = DepthCode(8);
    return true;
  }
  const SDisplayMode& display = m_modes[static_cast<size_t>(mode - 2)];
  *width = display.width;
  *height = display.height;
  *depth = DepthCode(display.bits);
  return true;
}

ErrCode COSLayer::SetMode(int mode) {
  if (!ModeExists(mode)) return err::kBadParams;
  m_current_mode = mode;
  for (COSWindow* window : m_windows) window->SetFullScreen(mode == kLogicalMode);
  return err::kOk;
}

ErrCode COSLayer::SetOption(uint32_t key, const SOptionValue& value) {
  switch (key) {
    case kOptionNoScreenSaver:
      m_platform->SetScreenSaverAllowed(value.number == 0);
      return err::kOk;
    case kOptionWriteBinary: {
      const std::optional<std::string_view> bytes = FindResource("binary", value.text);
      if (!bytes) return err::kNotFound;
      ErrCode error = err::kOk;
      std::unique_ptr<CFile> file = FsOpen(value.text.c_str(), kBinaryWriteMode, &error);
      if (!file) return error;
      uint32_t written = 0;
      return file->Write(bytes->data(), static_cast<uint32_t>(bytes->size()), &written);
    }
    default:
      return err::kUnknownError;
  }
}

TPoint COSLayer::GetCursorPos() const {
  return m_windows.empty() || !m_windows.front()->Client()
             ? TPoint{}
             : m_windows.front()->Client()->LastMouse();
}
