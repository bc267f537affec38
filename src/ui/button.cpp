#include "ui/button.h"

#include <algorithm>

#include "gfx/blit.h"
#include "gfx/font.h"
#include "gfx/resource_cache.h"
#include "ui/desktop.h"
#include "ui/event_queue.h"

namespace {

constexpr size_t kStates = 5;
constexpr size_t kDisabledState = 4;
constexpr TRect kNoCell{0, 0, -1, -1};

}  // namespace

CUIButton::CUIButton(CWindow* parent) : CUIControl(parent) {}

ErrCode CUIButton::ReadKeys(CTemplateReader& reader) {
  const ErrCode error = CUIControl::ReadKeys(reader);
  std::string value;
  if (reader.Get("Image", &value) == err::kOk) m_image.Load(reader.Resources(), value);
  if (reader.Get("Font", &value) == err::kOk) m_font.Load(reader.Resources(), value);
  if (reader.Get("ImageType", &value) == err::kOk && !value.empty()) m_image_type = value;
  uint32_t number = 0;
  if (reader.GetLong("Rows", &number) && number > 0 && number < 0x10000)
    m_rows = static_cast<int>(number);
  // An image button's grid.
  if (reader.GetLong("YFrames", &number) && number > 0 && number < 0x10000)
    m_rows = static_cast<int>(number);
  if (reader.GetLong("XFrames", &number) && number > 0 && number < 0x10000)
    m_columns = static_cast<int>(number);
  if (reader.GetLong("InitialRow", &number)) m_row = static_cast<int>(number % m_rows);
  uint8_t key = 0;
  if (reader.GetByte("TColor", &key)) m_key = key;
  reader.Get("Text", &m_text);
  reader.GetByte("ColorLeft", &m_color_left);
  reader.GetByte("ColorRight", &m_color_right);
  reader.GetByte("ColorFill", &m_color_fill);
  reader.GetByte("FontColor", &m_font_color);
  reader.GetShorts("TextOffset", m_text_offset, 2);
  return error;
}

bool CUIButton::SetImage(CResourceLoader* resources, const std::string& name,
                         const std::string& image_type) {
  if (!m_image.Load(resources, name)) return false;
  const TRect cell = StateCell(*m_image, image_type, 0, 0, 1);
  if (RectEmpty(cell)) {
    m_image.Release();
    return false;
  }
  m_image_type = image_type;
  m_rows = 1;
  m_row = 0;
  const TRect rect = GetRect();
  SetRect({rect.left, rect.top, static_cast<int16_t>(rect.left + cell.right - cell.left),
           static_cast<int16_t>(rect.top + cell.bottom - cell.top)},
          false, false);
  return true;
}

TRect StateCell(const CBitmap& picture, const std::string& image_type, size_t state, int row,
                int rows, int columns) {
  if (image_type.empty() || rows <= 0 || row >= rows || picture.Height() < rows) return kNoCell;
  // Missing states repeat the last letter.
  const char letter = image_type[std::min(state, image_type.size() - 1)];
  if (columns <= 0) {
    char highest = 'A';
    for (size_t i = 0; i < std::min(image_type.size(), kStates); ++i)
      highest = std::max(highest, image_type[i]);
    columns = std::max(1, highest - 'A' + 1);
  }
  if (picture.Width() < columns) return kNoCell;
  const int column = std::clamp(letter - 'A', 0, columns - 1);
  const int width = picture.Width() / columns;
  const int height = picture.Height() / rows;
  return {static_cast<int16_t>(column * width), static_cast<int16_t>(row * height),
          static_cast<int16_t>((column + 1) * width - 1),
          static_cast<int16_t>((row + 1) * height - 1)};
}

TRect CUIButton::Cell() const {
  if (!m_image) return kNoCell;
  const size_t state = IsDisabled() ? kDisabledState : static_cast<size_t>(m_state);
  return StateCell(*m_image, m_image_type, state, m_row, m_rows, m_columns);
}

void CUIButton::Draw(const SDrawContext& context, const TRect&) {
  const TRect rect = GetRect();
  const bool pressed = m_state == kPressedInside;
  if (const TRect cell = Cell(); !RectEmpty(cell)) {
    context.Picture(*m_image, cell, rect.left, rect.top,
                    m_key < 0 ? kNoKey : static_cast<uint32_t>(m_key));
  } else {
    context.Fill(rect, m_color_fill);
    context.Frame(rect, pressed ? m_color_right : m_color_left,
                  pressed ? m_color_left : m_color_right);
  }
  DrawLabel(context, pressed);
}

void CUIButton::DrawLabel(const SDrawContext& context, bool pressed) const {
  const TRect r = GetRect();
  const CFont* font = FontOrDefault(m_font);
  if (m_text.empty() || !font) return;
  int x = (r.left + r.right + 1 - font->MeasureText(m_text)) / 2;
  int y = (r.top + r.bottom + 1 - font->LineHeight()) / 2;
  if (pressed) {
    x += m_text_offset[0];
    y += m_text_offset[1];
  }
  context.Text(*font, x, y, m_text, IsDisabled() ? kDisabledColour : m_font_color);
}

bool CUIButton::HitTest(TPoint point) const {
  if (!CUIControl::HitTest(point)) return false;
  const TRect cell = Cell();
  if (RectEmpty(cell) || m_key < 0) return true;
  const TRect rect = GetRect();
  return m_image->GetPixel(cell.left + point.x - rect.left, cell.top + point.y - rect.top) != m_key;
}

void CUIButton::SetState(EState state) {
  const EState old = m_state;
  m_state = state;
  if (old == state || IsDisabled()) return;
  Invalidate();
  Notify(kNotifyState, state, old);
}

void CUIButton::Press(uint32_t code) {
  SetState(kPressedInside);
  Desktop()->SetCapture(this);
  if (GetStyle() & kButtonAutoRepeat)
    PostEvent(Id(), kNotifyRepeat, ++m_repeat, 0, kRepeatDelay);
  if (GetStyle() & kButtonDoubleClick) m_double_press = code == kEvLeftDouble;
}

void CUIButton::Release() {
  // Our own release must not count as a lost capture.
  m_releasing = true;
  Desktop()->SetCapture(nullptr);
  m_releasing = false;
}

bool CUIButton::OnMouse(uint32_t code, TPoint point, int32_t) {
  switch (code) {
    case kEvMouseMove:
      // While the button holds the capture, moves outside it come here too.
      if (!HitTest(point)) return true;
      [[fallthrough]];
    case kMouseEnter:
      if (m_state == kPressedOutside)
        SetState(kPressedInside);
      else if (m_state == kNormal)
        SetState(kRollover);
      // The state's report is posted, so the button is still here.
      if ((GetStyle() & kButtonMoveToHead) && !IsDisabled()) BringToTop();
      return true;
    case kMouseLeave:
      if (m_state == kRollover) SetState(kNormal);
      if (m_state == kPressedInside) SetState(kPressedOutside);
      return true;
    case kCaptureLost:
      if (!m_releasing) SetState(kNormal);
      return true;
    case kEvLeftDown:
    case kEvLeftDouble:
      if (!IsDisabled() && m_state == kRollover) Press(code);
      return true;
    case kEvLeftUp:
      if (IsDisabled()) return true;
      if (m_state == kPressedInside) {
        Release();
        SetState(kRollover);
        if (GetStyle() & kButtonToggle) m_row = (m_row + 1) % m_rows;
        const bool twice = (GetStyle() & kButtonDoubleClick) && m_double_press;
        Notify(twice ? kNotifyDoubleClick : kNotifyPressed, ControlId(), static_cast<uint32_t>(m_row));
      } else if (m_state == kPressedOutside) {
        Release();
        SetState(kNormal);
      }
      return true;
    default:
      return code != kEvWheel && EventGroup(code) == 0x100;
  }
}

uint32_t CUIButton::OnEvent(const SEventRecord& record) {
  if (record.code == kNotifyRepeat && record.p1 == m_repeat && m_state == kPressedInside &&
      !IsDisabled()) {
    PostEvent(Id(), kNotifyRepeat, m_repeat, 0, kRepeatInterval);
    Notify(kNotifyPressed, ControlId(), static_cast<uint32_t>(m_row));
    return 0;
  }
  return CUIControl::OnEvent(record);
}

void CUIButton::DescribeDetails(std::vector<std::string>* lines) const {
  lines->push_back("state: " + std::to_string(m_state) + " row: " + std::to_string(m_row));
}
