// Drives the window tree with operations read from the bytes: windows come,
// go, move, change parent and style, take capture, focus and the modal
// place, and receive posted and sent events. After every present the frame
// must equal a full repaint, and the desktop must name only live windows.
#include <cstdint>
#include <iterator>
#include <vector>

#include "ui/event_queue.h"
#include "ui/ui_rig.h"
#include "ui_fuzz.h"

namespace {

constexpr size_t kMaxWindows = 48;

// Every code of ui/event.h, and one no one knows.
constexpr uint32_t kCodes[] = {
    kEvRefresh,         kEvMouseMove,        kEvLeftDown,           kEvLeftUp,
    kEvLeftDouble,      kEvRightDown,        kEvRightUp,            kEvRightDouble,
    kEvWheel,           kEvKeyDown,          kEvKeyUp,              kEvChar,
    kEvFocusGained,     kEvFocusLost,        kEvDisplayMode,        kEvPlatformPaint,
    kEvRepaintAll,      kEvClose,            kEvWindowDeactivated,  kEvWindowActivated,
    kEvAppDeactivated,  kEvAppActivated,     kEvMenuCommand,        kEvResized,
    kEvDestroyed,       kEvMouseLeft,        kEvPlatformFocusGained, kEvPlatformFocusLost,
    kEvMenuOpened,      kEvScrollSet,        kEvScrollMoved,        kEvLayout,
    0x7777,
};
constexpr int16_t kExtremes[] = {-32768, -32767, -32766, 32765, 32766, 32767};

class CBytes {
 public:
  CBytes(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  bool Left() const { return m_at < m_size; }
  uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
  uint32_t Word() {
    uint32_t word = 0;
    for (int shift = 0; shift < 32; shift += 8) word |= uint32_t{Byte()} << shift;
    return word;
  }
  // Mostly on or near the desktop, sometimes anywhere or at the limits.
  int16_t Coordinate() {
    switch (Byte() % 8) {
      case 0:
        return kExtremes[Byte() % std::size(kExtremes)];
      case 1:
        return static_cast<int16_t>(Word());
      default:
        return static_cast<int16_t>(Byte() * 3 - 64);
    }
  }
  TRect Rect() { return {Coordinate(), Coordinate(), Coordinate(), Coordinate()}; }
  template <typename T, size_t N>
  T Pick(const T (&table)[N]) {
    return table[Byte() % N];
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_at = 0;
};

class CTreeDriver {
 public:
  CTreeDriver(CUiRig* rig, CBytes* bytes)
      : m_desktop(rig->Desktop()), m_queue(rig->Queue()), m_bytes(*bytes) {}

  void Run() {
    m_desktop.Invalidate(m_desktop.GetRect(), nullptr, false);
    m_desktop.Present();
    while (m_bytes.Left()) Step();
    m_desktop.Present();
    Check();
  }

 private:
  // The desktop, a live window or null; the desktop when `desktop` holds
  // and the byte says so.
  CWindow* Window(bool desktop) {
    std::erase_if(m_windows, [this](uint32_t id) { return !m_queue.IsLive(id); });
    const size_t choice = m_bytes.Byte() % (m_windows.size() + 1);
    if (choice == m_windows.size()) return desktop ? &m_desktop : nullptr;
    return m_queue.WindowById(m_windows[choice]);
  }

  void Step() {
    switch (m_bytes.Byte() % 14) {
      case 0: {
        CWindow* parent = Window(true);
        const TRect rect = m_bytes.Rect();
        const uint32_t style = m_bytes.Byte() & (kStyleVisible | kStyleTransparent);
        const uint8_t colour = m_bytes.Byte();
        const uint8_t behaviour = m_bytes.Byte();
        if (!parent || m_windows.size() >= kMaxWindows) return;
        // A new window is not drawn until its creator asks for it.
        auto* window = new CFuzzWindow(parent, rect, style, colour, behaviour);
        window->Invalidate();
        m_windows.push_back(window->Id());
        return;
      }
      case 1:
        if (CWindow* window = Window(false)) delete window;
        return;
      case 2: {
        CWindow* window = Window(false);
        CWindow* parent = Window(true);
        if (window) window->SetParent(parent);
        return;
      }
      case 3: {
        CWindow* window = Window(false);
        const TRect rect = m_bytes.Rect();
        if (window) window->SetRect(rect, true, true);
        return;
      }
      case 4: {
        CWindow* window = Window(false);
        const uint32_t bits = m_bytes.Byte() & (kStyleVisible | kStyleTransparent);
        if (window)
          window->SetStyle((window->GetStyle() & ~(kStyleVisible | kStyleTransparent)) | bits,
                           true);
        return;
      }
      case 5: {
        CWindow* window = Window(true);
        const bool whole = m_bytes.Byte() & 1;
        const TRect rect = m_bytes.Rect();
        if (window) window->Invalidate(whole ? nullptr : &rect);
        return;
      }
      case 6:
        m_desktop.SetCapture(Window(false));
        return;
      case 7:
        m_desktop.SetFocus(Window(false));
        return;
      case 8:
        m_desktop.SetModal(Window(false));
        return;
      case 9: {
        CWindow* source = Window(true);
        CWindow* target = Window(true);
        const uint32_t code = m_bytes.Pick(kCodes);
        const uint32_t p1 = m_bytes.Word();
        const uint32_t p2 = m_bytes.Byte();
        const uint32_t delay = m_bytes.Byte();
        if (source && target) source->PostEvent(target->Id(), code, p1, p2, delay);
        return;
      }
      case 10:
        m_elapsed += m_bytes.Byte();
        m_queue.DeliverDue(m_queue.Now() + m_elapsed, m_bytes.Byte() % 8 + 1);
        return;
      case 11: {
        const uint32_t code = m_bytes.Pick(kCodes);
        const bool at_point = EventGroup(code) == EventGroup(kEvMouseMove) ||
                              code == kEvScrollSet || code == kEvScrollMoved;
        const TPoint point{m_bytes.Coordinate(), m_bytes.Coordinate()};
        const uint32_t p1 = at_point ? PackPoint(point) : m_bytes.Word();
        const uint32_t p2 = m_bytes.Byte();
        m_desktop.SendEvent(m_desktop.Id(), code, p1, p2);
        return;
      }
      case 12:
        m_desktop.SetStyle(m_desktop.GetStyle() ^ kDesktopTrim, false);
        return;
      default:
        m_desktop.Present();
        Check();
        return;
    }
  }

  void Check() {
    CheckPresentedFrame(m_desktop, &m_scratch);
    CheckDesktopReferences(m_desktop);
  }

  CDesktop& m_desktop;
  CEventQueue& m_queue;
  CBytes& m_bytes;
  std::vector<uint32_t> m_windows;
  uint32_t m_elapsed = 0;
  std::vector<uint8_t> m_scratch;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CUiRig rig;
  CBytes bytes(data, size);
  CTreeDriver(&rig, &bytes).Run();
  return 0;
}
