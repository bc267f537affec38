// The base of the template-built controls, and dialogs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ui/held_resource.h"
#include "ui/template.h"
#include "ui/ui_colours.h"
#include "ui/window.h"

// Control style bits.
enum : uint32_t {
  kStyleInactive = 0x100,  // takes no input
  kStyleDisabled = 0x200,  // drawn disabled, takes no input or focus
  kStyleTabStop = 0x400,
  kStyleModal = 0x400,     // dialogs: the same bit
};

// What controls report to their targets: p1 is the control's id.
enum : uint32_t {
  kNotifyPressed = 0x12345604,      // p2: the button's row
  kNotifyRepeat = 0x12345605,       // a button's own repeat tick
  kNotifyState = 0x12345606,        // p1: the new state, p2: the old one
  kNotifyDoubleClick = 0x12345607,  // p2: the button's row
  kNotifyListSelect = 0x12345610,   // p2: the row
  kNotifyListActivate = 0x12345611, // p2: the row (double click or Enter)
  kNotifyScroll = 0x12345620,       // p2: the position
  kNotifyTextChanged = 0x12345630,
  kNotifyCaretMoved = 0x12345631,   // p2: line << 16 | column, both from 1
  kNotifyTextEnter = 0x12345632,    // Enter in a one-line edit
  kNotifyTreeSelect = 0x12345640,   // p2: the node's value
  kNotifyTreeOpen = 0x12345641,     // p2: the node's value; fill it now
  kNotifyOptionToggled = 0x12345650,  // p2: the node's value
};

// Disabled texts are drawn in this UI palette entry.
inline constexpr uint8_t kDisabledColour = ui_colour::kShadow;

class CUIControl : public CWindow {
  TV_CLASS(CUIControl, CWindow)

 public:
  // Without a rectangle until its keys are read.
  explicit CUIControl(CWindow* parent);

  // The control's keys from the reader's section: the window keys, then
  // HAlign, VAlign, Id, TargetId and UserData.
  virtual ErrCode ReadKeys(CTemplateReader& reader);
  // Called once the control's siblings are built too: the moment to link
  // to controls named by id (a list to its scroll bar).
  virtual void Connect() {}

  std::string Label() const override;
  // The layout event places the control by its HAlign and VAlign, then
  // passes the event on to its children.
  uint32_t OnEvent(const SEventRecord& record) override;
  uint32_t ControlId() const { return m_control_id; }
  void SetControlId(uint32_t id) { m_control_id = id; }
  uint32_t TargetId() const { return m_target_id; }
  uint32_t UserData() const { return m_user_data; }
  const std::string& SectionName() const { return m_section; }
  bool IsDisabled() const { return (GetStyle() & kStyleDisabled) != 0; }
  // Neither disabled nor inactive.
  bool TakesInput() const { return (GetStyle() & (kStyleDisabled | kStyleInactive)) == 0; }
  // The font a control named, else the desktop's default (null when the
  // desktop has none either).
  const CFont* FontOrDefault(const CHeldFont& font) const;

  // Reports to the target: the window with that control id among this
  // control's descendants, else among its parent's, else the parent itself
  // (also for id 0). A delay of -1 sends at once; otherwise the report is
  // posted with that delay in ms.
  void Notify(uint32_t target, uint32_t code, uint32_t p1, uint32_t p2, int32_t delay);
  void Notify(uint32_t code, uint32_t p1, uint32_t p2) { Notify(m_target_id, code, p1, p2, 0); }
  // Reports a press as a click would (a dialog's Enter and Escape keys).
  virtual void Activate() { Notify(kNotifyPressed, m_control_id, 0); }

 protected:
  void SetSectionName(std::string name) { m_section = std::move(name); }

 private:
  CWindow* FindTarget(uint32_t id) const;
  void FollowParent();

  std::string m_section;
  // How the control follows its parent's width and height: a mode (0 keep
  // the near offset, 1 the far one, 2 both with the size clamped to min..max,
  // 3 centre), then min and max (0: no limit).
  int16_t m_halign[3] = {};
  int16_t m_valign[3] = {};
  // Offsets from the parent's edges when built: left, top, right, bottom.
  int m_offsets[4] = {};
  uint32_t m_control_id = 0;
  uint32_t m_target_id = 0;
  uint32_t m_user_data = 0;
};

// A filled rectangle: `BkColor`, framed in `FrameColor1` at the top and left
// and `FrameColor2` (else `FrameColor1`) at the bottom and right.
class CUIBkgnd : public CUIControl {
  TV_CLASS(CUIBkgnd, CUIControl)

 public:
  explicit CUIBkgnd(CWindow* parent) : CUIControl(parent) {}
  ErrCode ReadKeys(CTemplateReader& reader) override;
  void Draw(const SDrawContext& context, const TRect& rect) override;

 private:
  uint8_t m_fill = 0;
  int16_t m_light = -1;  // -1: no frame
  int16_t m_dark = -1;
};

// A picture stretched over the control by tiling: `Dividers` are the border
// widths (left, top, right, bottom; one number for all four) whose corners
// are drawn once and whose edges and middle are tiled. The picture may stack
// `Rows` variants; `InitialRow` picks the one shown.
class CUIFrame : public CUIControl {
  TV_CLASS(CUIFrame, CUIControl)

 public:
  explicit CUIFrame(CWindow* parent) : CUIControl(parent) {}
  ErrCode ReadKeys(CTemplateReader& reader) override;
  void Draw(const SDrawContext& context, const TRect& rect) override;
  void SetRow(int row);

 private:
  CHeldBitmap m_image;
  int16_t m_dividers[4] = {};
  int m_rows = 1;
  int m_row = 0;
};

// The control with id `id` at or below `root`, or null.
CUIControl* FindControl(CWindow* root, uint32_t id);

class CUIDialog : public CUIControl {
  TV_CLASS(CUIDialog, CUIControl)

 public:
  using Continuation = std::function<void(uint32_t id)>;

  explicit CUIDialog(CWindow* parent);
  // A modal dialog destroyed from outside drops its continuation uncalled.
  ~CUIDialog() override;

  // The control keys, then MinSize, MaxSize, Focus, Esc and Enter.
  ErrCode ReadKeys(CTemplateReader& reader) override;

  // Loads the template file through the desktop's resources and builds the
  // dialog: its own keys from the parameter section (default "<object>
  // Params"), its children from "<object> Objects"; the object name defaults
  // to the file's name without folder and extension.
  ErrCode LoadTemplate(const std::string& path, std::string object = {}, std::string params = {});

  // Makes the dialog the modal window, above any other; `done` gets the id
  // that ends it. The main loop stays the only loop.
  void DoModal(Continuation done);
  // Destroys the modal dialog, then calls its continuation with `id` (0:
  // closed).
  void EndModal(uint32_t id);
  // Tab and Shift+Tab move the focus over the TABSTOP controls in the order
  // they were built; Enter and Escape press the Enter and Esc controls.
  bool OnKey(uint32_t code, uint16_t virtual_key, uint16_t character) override;
  // A press of the Enter or Esc control ends a modal dialog with its id.
  uint32_t OnEvent(const SEventRecord& record) override;
  // MinSize and MaxSize bound the size (0: no bound).
  void SetRect(const TRect& rect, bool redraw, bool move_children) override;

  uint32_t FocusId() const { return m_focus_id; }
  uint32_t EscId() const { return m_esc_id; }
  uint32_t EnterId() const { return m_enter_id; }

 protected:
  // Called by LoadTemplate once the children are built, with the reader
  // still on the template: what a dialog adds beyond its template.
  virtual ErrCode OnBuilt(CTemplateReader&) { return err::kOk; }
  void SetKeyControls(uint32_t focus, uint32_t enter, uint32_t esc) {
    m_focus_id = focus;
    m_enter_id = enter;
    m_esc_id = esc;
  }

 private:
  void FocusNext(bool backwards);
  // The Focus control, when it takes input.
  CUIControl* FocusControl();

  Continuation m_done;
  bool m_modal = false;

  int16_t m_min_size[2] = {};
  int16_t m_max_size[2] = {};
  uint32_t m_focus_id = 0;
  uint32_t m_esc_id = 0;
  uint32_t m_enter_id = 0;
};
