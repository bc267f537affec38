#include "ui/text.h"

#include <strings.h>

#include <algorithm>
#include <limits>

#include "gfx/font.h"
#include "platform/platform.h"
#include "platform/virtual_keys.h"
#include "ui/desktop.h"
#include "ui/event_queue.h"

namespace {

constexpr uint16_t kVkZ = kVkA + ('Z' - 'A');

// "<line>,<column>", both from 1.
std::string PosText(STextPos pos) {
  return std::to_string(pos.line + 1) + "," + std::to_string(pos.column + 1);
}

bool IsTypable(uint16_t character) {
  return character >= 0x20 && character <= 0xFF && character != 0x7F;
}

int16_t Short(int value) {
  return static_cast<int16_t>(std::clamp<int>(value, std::numeric_limits<int16_t>::min(),
                                              std::numeric_limits<int16_t>::max()));
}

TRect Box(int left, int top, int right, int bottom) {
  return {Short(left), Short(top), Short(right), Short(bottom)};
}

}  // namespace

CUIText::CUIText(CWindow* parent) : CUIControl(parent) {
  SetStyle(GetStyle() | kStyleTransparent, false);
  m_rows.Attach(this, 0);
}

ErrCode CUIText::ReadKeys(CTemplateReader& reader) {
  const ErrCode error = CUIControl::ReadKeys(reader);
  std::string value;
  if (reader.Get("Font", &value) == err::kOk) m_font.Load(reader.Resources(), value);
  uint32_t number = 0;
  if (reader.GetLong("BufSize", &number)) m_limit = number;
  const bool edit_type =
      reader.Get("Type", &value) == err::kOk && strcasecmp(value.c_str(), "Edit") == 0;
  const bool edit_key = reader.GetLong("Edit", &number) && number != 0;
  m_editable = edit_type || edit_key || (GetStyle() & kTextEdit) == kTextEdit;
  reader.GetByte("TextColor", &m_text_colour);
  reader.GetByte("SelTextColor", &m_sel_text_colour);
  reader.GetByte("SelBkColor", &m_sel_back_colour);
  uint32_t bar = 0;
  reader.GetId("VScrollID", &bar);
  m_rows.Attach(this, bar);
  value.clear();
  reader.Get("Text", &value);
  SetText(value);
  return error;
}

// Text operations.

size_t CUIText::Length() const {
  size_t length = m_lines.size() - 1;
  for (const std::string& line : m_lines) length += line.size();
  return length;
}

std::string CUIText::Extract(STextPos from, STextPos to) const {
  std::string text;
  for (int line = from.line; line <= to.line; ++line) {
    const std::string& whole = Line(line);
    const size_t begin = line == from.line ? static_cast<size_t>(from.column) : 0;
    const size_t end = line == to.line ? static_cast<size_t>(to.column) : whole.size();
    text.append(whole, begin, end - begin);
    if (line != to.line) text += '\n';
  }
  return text;
}

void CUIText::Erase(STextPos from, STextPos to) {
  const std::string tail = Line(to.line).substr(static_cast<size_t>(to.column));
  std::string& first = Line(from.line);
  first.resize(static_cast<size_t>(from.column));
  first += tail;
  m_lines.erase(m_lines.begin() + from.line + 1, m_lines.begin() + to.line + 1);
}

STextPos CUIText::Insert(STextPos at, std::string_view text) {
  std::string& first = Line(at.line);
  const std::string tail = first.substr(static_cast<size_t>(at.column));
  first.resize(static_cast<size_t>(at.column));
  STextPos end = at;
  size_t start = 0;
  for (size_t brk; (brk = text.find('\n', start)) != std::string_view::npos; start = brk + 1) {
    Line(end.line).append(text.substr(start, brk - start));
    m_lines.insert(m_lines.begin() + ++end.line, std::string());
  }
  std::string& last = Line(end.line);
  last.append(text.substr(start));
  end.column = static_cast<int>(last.size());
  last += tail;
  return end;
}

std::string CUIText::Admissible(std::string_view text) const {
  const bool multiline = (GetStyle() & kTextMultiline) != 0;
  const bool number = (GetStyle() & kTextNumber) != 0;
  std::string kept;
  for (const char c : text) {
    const bool fits = c == '\n'  ? multiline
                      : number   ? c >= '0' && c <= '9'
                                 : IsTypable(static_cast<uint8_t>(c));
    if (fits) kept += c;
  }
  return kept;
}

STextPos CUIText::Clamped(STextPos pos) const {
  const int line = std::clamp(pos.line, 0, LastLine());
  const int length = LineLength(line);
  return {line, std::clamp(pos.column, 0, length)};
}

STextPos CUIText::Before(STextPos pos) const {
  if (pos.column > 0) return {pos.line, pos.column - 1};
  if (pos.line == 0) return pos;
  return {pos.line - 1, LineLength(pos.line - 1)};
}

STextPos CUIText::After(STextPos pos) const {
  if (pos.column < LineLength(pos.line)) return {pos.line, pos.column + 1};
  if (pos.line == LastLine()) return pos;
  return {pos.line + 1, 0};
}

bool CUIText::Replace(STextPos from, STextPos to, std::string_view text, bool typed) {
  std::string insert = Admissible(text);
  // Nothing admissible must not cost the selection either.
  if (!text.empty() && insert.empty()) return false;
  const size_t kept = Length() - Extract(from, to).size();
  insert.resize(std::min(insert.size(), m_limit > kept ? m_limit - kept : 0));
  if (from == to && insert.empty()) return false;
  if ((GetStyle() & kTextUndo) && !(typed && m_typing))
    m_undo = SSnapshot{m_lines, m_caret, m_anchor};
  m_typing = typed;
  const STextPos old = m_caret;
  const size_t rows = m_lines.size();
  Erase(from, to);
  m_caret = m_anchor = Insert(from, insert);
  const bool resized = rows != m_lines.size();
  if (!Reveal(resized)) InvalidateLines(from.line, resized ? -1 : m_caret.line);
  Notify(kNotifyTextChanged, ControlId(), static_cast<uint32_t>(Length()));
  ReportCaret(old);
  RestartBlink();
  return true;
}

bool CUIText::RemoveTo(STextPos other) {
  if (m_caret != m_anchor) return Replace(SelectionStart(), SelectionEnd(), {}, false);
  return Replace(std::min(m_caret, other), std::max(m_caret, other), {}, false);
}

void CUIText::Undo() {
  if (!m_undo) return;
  const STextPos old = m_caret;
  SSnapshot current{m_lines, m_caret, m_anchor};
  m_lines = std::move(m_undo->lines);
  m_caret = m_undo->caret;
  m_anchor = m_undo->anchor;
  m_undo = std::move(current);
  m_typing = false;
  Reveal(true);
  Invalidate();
  Notify(kNotifyTextChanged, ControlId(), static_cast<uint32_t>(Length()));
  ReportCaret(old);
  RestartBlink();
}

std::string CUIText::Text() const {
  return Extract({}, {LastLine(), static_cast<int>(m_lines.back().size())});
}

void CUIText::SetText(std::string_view text) {
  std::string kept = Admissible(text);
  kept.resize(std::min(kept.size(), m_limit));
  m_lines.assign(1, std::string());
  m_caret = m_anchor = Insert({}, kept);
  m_undo.reset();
  m_typing = false;
  m_scroll_x = 0;
  Reveal(true);
  Invalidate();
}

void CUIText::SetSelection(STextPos anchor, STextPos caret) {
  m_anchor = Clamped(anchor);
  m_caret = Clamped(caret);
  m_typing = false;
  Reveal(false);
  Invalidate();
  RestartBlink();
}

std::string CUIText::SelectedText() const {
  if (GetStyle() & kTextSecure) return {};
  return Extract(SelectionStart(), SelectionEnd());
}

bool CUIText::ReplaceSelection(std::string_view text) {
  return Replace(SelectionStart(), SelectionEnd(), text, false);
}

// Caret and keys.

void CUIText::MoveCaret(STextPos to, bool extend) {
  const STextPos old = m_caret;
  const STextPos old_anchor = m_anchor;
  if (m_caret_on) InvalidateCaret();
  m_caret = Clamped(to);
  if (!extend) m_anchor = m_caret;
  m_typing = false;
  if (!Reveal(false) && (old != old_anchor || m_caret != m_anchor))
    InvalidateLines(std::min({old.line, old_anchor.line, m_caret.line, m_anchor.line}),
                    std::max({old.line, old_anchor.line, m_caret.line, m_anchor.line}));
  ReportCaret(old);
  RestartBlink();
}

bool CUIText::MoveKey(uint16_t virtual_key, bool extend) {
  const bool selection = m_caret != m_anchor;
  const bool multiline = (GetStyle() & kTextMultiline) != 0;
  STextPos to;
  switch (virtual_key) {
    case kVkLeft:
      to = selection && !extend ? SelectionStart() : Before(m_caret);
      break;
    case kVkRight:
      to = selection && !extend ? SelectionEnd() : After(m_caret);
      break;
    case kVkHome:
      to = {m_caret.line, 0};
      break;
    case kVkEnd:
      to = {m_caret.line, std::numeric_limits<int>::max()};
      break;
    case kVkUp:
    case kVkDown:
      if (!multiline) return false;
      to = {m_caret.line + (virtual_key == kVkUp ? -1 : 1), m_caret.column};
      break;
    default:
      return false;
  }
  MoveCaret(to, extend);
  return true;
}

bool CUIText::EditKey(uint16_t virtual_key) {
  switch (virtual_key) {
    case kVkBack:
      RemoveTo(Before(m_caret));
      return true;
    case kVkDelete:
      RemoveTo(After(m_caret));
      return true;
    case kVkReturn:
      if (GetStyle() & kTextMultiline) {
        ReplaceSelection("\n");
        return true;
      }
      // Left unused: the dialog's Enter control is pressed too.
      Notify(kNotifyTextEnter, ControlId(), 0);
      return false;
    case kVkZ:
      if (!(GetStyle() & kTextUndo) || !(Desktop()->Modifiers() & kModControl)) return false;
      Undo();
      return true;
    default:
      return false;
  }
}

bool CUIText::TypeCharacter(uint16_t character) {
  if (!IsTypable(character)) return false;
  const char typed = static_cast<char>(character);
  Replace(SelectionStart(), SelectionEnd(), std::string_view(&typed, 1), true);
  return true;
}

void CUIText::ReportCaret(STextPos old) {
  if (m_caret == old) return;
  Notify(kNotifyCaretMoved, ControlId(),
         static_cast<uint32_t>(m_caret.line + 1) << 16 | static_cast<uint32_t>(m_caret.column + 1));
}

void CUIText::RestartBlink() {
  m_caret_on = IsEditable() && Desktop()->GetFocus() == this;
  if (!m_caret_on) return;
  InvalidateCaret();
  m_blink_due = Desktop()->Queue()->Now() + kBlinkMs;
  // The tick already waiting defers itself to the new time: however fast
  // the keys come, one tick waits.
  if (m_tick_waiting) return;
  m_tick_waiting = true;
  PostEvent(Id(), kTextBlink, m_blink, 0, kBlinkMs);
}

void CUIText::Blink() {
  m_tick_waiting = false;
  if (!IsEditable() || Desktop()->GetFocus() != this) return;
  const uint32_t now = Desktop()->Queue()->Now();
  const auto early = static_cast<int32_t>(m_blink_due - now);
  if (early <= 0) {
    m_caret_on = !m_caret_on;
    InvalidateCaret();
    m_blink_due = now + kBlinkMs;
  }
  m_tick_waiting = true;
  PostEvent(Id(), kTextBlink, m_blink, 0, m_blink_due - now);
}

void CUIText::StopBlink() {
  // The waiting tick is stale from now on.
  ++m_blink;
  m_tick_waiting = false;
  if (m_caret_on) InvalidateCaret();
  m_caret_on = false;
}

bool CUIText::OnKey(uint32_t code, uint16_t virtual_key, uint16_t character) {
  switch (code) {
    case kEvFocusGained:
      RestartBlink();
      return IsEditable();
    case kEvFocusLost:
      StopBlink();
      m_typing = false;
      return IsEditable();
    case kEvChar:
      return IsEditable() && TypeCharacter(character);
    case kEvKeyDown:
      if (!IsEditable()) return false;
      return MoveKey(virtual_key, (Desktop()->Modifiers() & kModShift) != 0) ||
             EditKey(virtual_key);
    default:
      return false;
  }
}

bool CUIText::OnMouse(uint32_t code, TPoint point, int32_t steps) {
  switch (code) {
    case kEvWheel:
      if (!TakesInput() || !m_rows.Wheel(steps)) return false;
      Invalidate();
      return true;
    case kEvLeftDown:
    case kEvLeftDouble: {
      if (!IsEditable()) return true;
      // Whoever lost the focus may have taken this text down with it.
      if (!Survives([this] { Desktop()->SetFocus(this); })) return true;
      MoveCaret(PosAt(point), (Desktop()->Modifiers() & kModShift) != 0);
      Desktop()->SetCapture(this);
      return true;
    }
    case kEvMouseMove:
      if (Desktop()->GetCapture() == this) MoveCaret(PosAt(point), true);
      return true;
    case kEvLeftUp:
      if (Desktop()->GetCapture() == this) Desktop()->SetCapture(nullptr);
      return true;
    default:
      return EventGroup(code) == 0x100;
  }
}

uint32_t CUIText::OnEvent(const SEventRecord& record) {
  if (record.code == kTextBlink) {
    if (record.p1 == m_blink) Blink();
    return 0;
  }
  if (m_rows.OnBarEvent(record)) {
    Invalidate();
    return 0;
  }
  return CUIControl::OnEvent(record);
}

void CUIText::SetRect(const TRect& rect, bool redraw, bool move_children) {
  CUIControl::SetRect(rect, redraw, move_children);
  Reveal(true);
}

void CUIText::DescribeDetails(std::vector<std::string>* lines) const {
  for (size_t line = 0; line < m_lines.size(); ++line)
    lines->push_back("text: " + Shown(static_cast<int>(line)));
  // A text that cannot be edited has no caret to show.
  if (!m_editable) return;
  lines->push_back("caret: " + PosText(m_caret));
  if (m_caret != m_anchor)
    lines->push_back("sel: " + PosText(SelectionStart()) + "-" + PosText(SelectionEnd()));
}

// Geometry.

int CUIText::LineHeight() const {
  const CFont* font = Font();
  return font ? std::max(1, font->LineHeight()) : 1;
}

std::string CUIText::Shown(int line) const {
  const std::string& text = Line(line);
  return GetStyle() & kTextSecure ? std::string(text.size(), '*') : text;
}

int CUIText::PenX(int line, int column) const {
  const CFont* font = Font();
  if (!font) return 0;
  if (GetStyle() & kTextSecure) return column * font->Advance('*');
  int x = 0;
  for (const char c : std::string_view(Line(line)).substr(0, static_cast<size_t>(column)))
    x += font->Advance(c);
  return x;
}

int CUIText::LineLeft(int line) const {
  const TRect r = GetRect();
  const int spare = r.right - r.left + 1 - PenX(line, LineLength(line));
  switch (GetStyle() & kTextAlignCenter) {
    case kTextAlignRight:
      return r.left + spare - m_scroll_x;
    case kTextAlignCenter:
      return r.left + spare / 2 - m_scroll_x;
    default:
      return r.left - m_scroll_x;
  }
}

int CUIText::RowTop(int line) const {
  return GetRect().top + (line - m_rows.Top()) * LineHeight();
}

TRect CUIText::CaretRect() const {
  const TRect r = GetRect();
  const int x = std::min<int>(LineLeft(m_caret.line) + PenX(m_caret.line, m_caret.column), r.right);
  const int top = RowTop(m_caret.line);
  TRect caret;
  if (!IntersectRect(Box(x, top, x, top + LineHeight() - 1), r, &caret)) return kNoRect;
  return caret;
}

STextPos CUIText::PosAt(TPoint point) const {
  const TRect r = GetRect();
  const int rows = point.y < r.top ? -1 : (point.y - r.top) / LineHeight();
  const int line = std::clamp(m_rows.Top() + rows, 0, LastLine());
  const CFont* font = Font();
  const std::string shown = Shown(line);
  int x = LineLeft(line);
  int column = 0;
  // A click on a character's left half places the caret before it.
  for (; column < static_cast<int>(shown.size()); ++column) {
    const int advance = font ? font->Advance(shown[static_cast<size_t>(column)]) : 0;
    if (2 * (point.x - x) < advance) break;
    x += advance;
  }
  return {line, column};
}

void CUIText::InvalidateLines(int first, int last) {
  const TRect r = GetRect();
  const int bottom = last < 0 ? r.bottom : RowTop(last) + LineHeight() - 1;
  TRect band;
  if (IntersectRect(Box(r.left, RowTop(first), r.right, bottom), r, &band)) Invalidate(&band);
}

void CUIText::InvalidateCaret() {
  const TRect caret = CaretRect();
  if (!RectEmpty(caret)) Invalidate(&caret);
}

bool CUIText::Reveal(bool resized) {
  const TRect r = GetRect();
  const int top = m_rows.Top();
  // The bar redraws whenever its range is set, so only when it changed.
  if (resized)
    m_rows.SetExtent(static_cast<int>(m_lines.size()),
                     std::max(1, (r.bottom - r.top + 1) / LineHeight()));
  bool moved = m_rows.Reveal(m_caret.line) || top != m_rows.Top();
  const int scroll = m_scroll_x;
  const int width = PenX(m_caret.line, LineLength(m_caret.line));
  // Only an edit follows its caret sideways; a label shows its start.
  if (!m_editable || width <= r.right - r.left + 1) {
    m_scroll_x = 0;
  } else {
    const int x = LineLeft(m_caret.line) + PenX(m_caret.line, m_caret.column);
    if (x < r.left) m_scroll_x -= r.left - x;
    if (x > r.right) m_scroll_x += x - r.right;
  }
  moved = moved || scroll != m_scroll_x;
  if (moved) Invalidate();
  return moved;
}

void CUIText::Draw(const SDrawContext& context, const TRect& clip) {
  const CFont* font = Font();
  if (!font) return;
  const TRect r = GetRect();
  const int height = LineHeight();
  const int first = std::max(m_rows.Top() + (clip.top - r.top) / height, 0);
  const int last = std::min(m_rows.Top() + (clip.bottom - r.top) / height, LastLine());
  for (int line = first; line <= last; ++line) DrawLine(context, *font, line);
  if (m_caret_on && Desktop()->GetFocus() == this) context.Fill(CaretRect(), m_text_colour);
}

void CUIText::DrawLine(const SDrawContext& context, const CFont& font, int line) const {
  const std::string shown = Shown(line);
  const std::string_view text = shown;
  const int length = static_cast<int>(text.size());
  const STextPos from = SelectionStart();
  const STextPos to = SelectionEnd();
  const bool selected = from != to && line >= from.line && line <= to.line;
  const int begin = !selected ? length : line == from.line ? from.column : 0;
  const int end = !selected ? length : line == to.line ? to.column : length;
  const int x = LineLeft(line);
  const int y = RowTop(line);
  const int x1 = x + PenX(line, begin);
  const int x2 = x + PenX(line, end);
  const bool disabled = IsDisabled();
  const uint8_t colour = disabled ? kDisabledColour : m_text_colour;
  const auto part = [&](int start, int stop) {
    return text.substr(static_cast<size_t>(start), static_cast<size_t>(stop - start));
  };
  context.Text(font, x, y, part(0, begin), colour);
  if (end > begin) {
    context.Fill(Box(x1, y, x2 - 1, y + LineHeight() - 1), m_sel_back_colour);
    context.Text(font, x1, y, part(begin, end), disabled ? kDisabledColour : m_sel_text_colour);
  }
  context.Text(font, x2, y, part(end, length), colour);
}
