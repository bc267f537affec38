// Texts and edits: lines of Latin-1 text shown in a font, and, when
// editable, a caret, a selection and the keys that change them.
//
// The text is held as lines split at '\n'; a one-line control never holds a
// line break. `BufSize` bounds the length, line breaks counted. A text draws
// no background: it is built TRANSPARENT so that what lies below shows
// between its letters.
//
// A text is editable when its `Type` is "Edit", its `Edit` key nonzero or
// its style has all the EDIT bits; DISABLED (drawn in kDisabledColour) and
// INACTIVE ones take no input. While an editable text has the focus its
// caret shows and hides every kBlinkMs, by one tick that waits in the queue.
//
// Editing keys: Left, Right, Up and Down (multi-line), Home and End move the
// caret, with Shift extending the selection; Backspace and Delete remove the
// selection or one character; characters replace the selection; Enter breaks
// the line of a MULTILINE edit, and in a one-line edit reports
// kNotifyTextEnter and is left unused, so that a dialog's Enter control is
// pressed as well; with UNDO, Ctrl+Z takes back the last change (a run of
// typed characters counts as one), and again the undo itself. A click places
// the caret and takes the focus; a drag selects.
//
// Reports to the target, p1 the control's id: kNotifyTextChanged (p2 the
// length) after every change made by the user or ReplaceSelection, then
// kNotifyCaretMoved when the caret moved. SetText and SetSelection report
// nothing: their caller knows.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/held_resource.h"
#include "ui/scroll.h"

enum : uint32_t {
  kTextSecure = 0x10000,  // shows a '*' per character
  kTextTightHScroll = 0x20000,
  kTextTightVScroll = 0x40000,
  kTextSelection = 0x80000,
  kTextCursor = 0x100000,
  kTextCursorVisible = 0x200000,
  kTextEdit = 0x580000,  // selection, caret and editing
  kTextMultiline = 0x800000,
  kTextAlignLeft = 0x1000000,
  kTextAlignRight = 0x2000000,
  kTextAlignCenter = 0x3000000,
  kTextNumber = 0x4000000,  // takes digits only
  kTextAutoWidth = 0x8000000,
  kTextUndo = 0x20000000,
};

// The caret's own blink tick, p1 its serial: ticks of an older serial are
// stale and dropped.
inline constexpr uint32_t kTextBlink = 0x12345633;

// A place between characters, both from 0.
struct STextPos {
  int line = 0;
  int column = 0;
  auto operator<=>(const STextPos&) const = default;
};

class CUIText : public CUIControl {
  TV_CLASS(CUIText, CUIControl)

 public:
  static constexpr uint32_t kBlinkMs = 500;
  static constexpr size_t kDefaultBufSize = 255;

  explicit CUIText(CWindow* parent);

  // The control keys, then Font, BufSize, Type, Edit, TextColor,
  // SelTextColor, SelBkColor, VScrollID and Text.
  ErrCode ReadKeys(CTemplateReader& reader) override;
  void Draw(const SDrawContext& context, const TRect& rect) override;
  bool OnKey(uint32_t code, uint16_t virtual_key, uint16_t character) override;
  bool OnMouse(uint32_t code, TPoint point, int32_t steps) override;
  uint32_t OnEvent(const SEventRecord& record) override;
  void SetRect(const TRect& rect, bool redraw, bool move_children) override;
  // The VScrollID bar exists now: it learns the extent.
  void Connect() override { Reveal(true); }
  // "text: <line>" per line as shown, "caret: <line>,<column>" and, with a
  // selection, "sel: <line>,<column>-<line>,<column>", counted from 1.
  void DescribeDetails(std::vector<std::string>* lines) const override;

  // Lines joined by '\n'.
  std::string Text() const;
  // Replaces the whole text, cut to the buffer size; the caret goes to the
  // end, and nothing is left to undo.
  void SetText(std::string_view text);
  // The selection runs from `anchor` to `caret`; both are kept in the text.
  void SetSelection(STextPos anchor, STextPos caret);
  STextPos Caret() const { return m_caret; }
  // Empty for a SECURE text, whose letters must not leave it.
  std::string SelectedText() const;
  // What a paste or a typed character does: the selection is replaced by as
  // much of `text` as the buffer size leaves room for; whether the text
  // changed.
  bool ReplaceSelection(std::string_view text);
  bool IsEditable() const { return m_editable && TakesInput(); }

 private:
  struct SSnapshot {
    std::vector<std::string> lines;
    STextPos caret;
    STextPos anchor;
  };

  // Text operations.
  std::string& Line(int line) { return m_lines[static_cast<size_t>(line)]; }
  const std::string& Line(int line) const { return m_lines[static_cast<size_t>(line)]; }
  int LineLength(int line) const { return static_cast<int>(Line(line).size()); }
  int LastLine() const { return static_cast<int>(m_lines.size()) - 1; }
  size_t Length() const;
  std::string Extract(STextPos from, STextPos to) const;
  void Erase(STextPos from, STextPos to);
  STextPos Insert(STextPos at, std::string_view text);
  std::string Admissible(std::string_view text) const;
  STextPos Clamped(STextPos pos) const;
  STextPos Before(STextPos pos) const;
  STextPos After(STextPos pos) const;
  STextPos SelectionStart() const { return std::min(m_caret, m_anchor); }
  STextPos SelectionEnd() const { return std::max(m_caret, m_anchor); }
  // Replaces [from, to) by what of `text` is admissible and fits; typed
  // characters in a row are undone together. Whether the text changed.
  bool Replace(STextPos from, STextPos to, std::string_view text, bool typed);
  // Removes the selection, else the character between the caret and `other`.
  bool RemoveTo(STextPos other);
  void Undo();

  // Caret and keys.
  void MoveCaret(STextPos to, bool extend);
  bool MoveKey(uint16_t virtual_key, bool extend);
  bool EditKey(uint16_t virtual_key);
  bool TypeCharacter(uint16_t character);
  void ReportCaret(STextPos old);
  // Shows the caret for a whole period from now.
  void RestartBlink();
  // The tick: shows or hides the caret when its period is over.
  void Blink();
  void StopBlink();

  // Geometry.
  const CFont* Font() const { return FontOrDefault(m_font); }
  int LineHeight() const;
  std::string Shown(int line) const;
  int PenX(int line, int column) const;
  int LineLeft(int line) const;
  int RowTop(int line) const;
  TRect CaretRect() const;
  STextPos PosAt(TPoint point) const;
  void InvalidateLines(int first, int last);
  void InvalidateCaret();
  // Keeps the caret in view, after setting the row extent when the line
  // count or the height changed; whether the view moved (then it is redrawn).
  bool Reveal(bool resized);
  void DrawLine(const SDrawContext& context, const CFont& font, int line) const;

  std::vector<std::string> m_lines{1};
  STextPos m_caret;
  STextPos m_anchor;
  std::optional<SSnapshot> m_undo;
  bool m_typing = false;  // the last change was a typed character
  bool m_editable = false;
  size_t m_limit = kDefaultBufSize;
  CHeldFont m_font;  // none: the default font
  uint8_t m_text_colour = 0;
  uint8_t m_sel_text_colour = 15;
  uint8_t m_sel_back_colour = 4;
  CRowScroller m_rows;
  int m_scroll_x = 0;  // pixels the lines are moved left to show the caret
  uint32_t m_blink = 0;  // the serial of the live tick
  bool m_tick_waiting = false;
  uint32_t m_blink_due = 0;  // when the caret next shows or hides
  bool m_caret_on = false;
};
