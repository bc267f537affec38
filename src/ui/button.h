// Buttons: a state machine over the mouse (normal, rollover, pressed with
// the mouse outside, pressed inside) that reports presses to its target,
// drawn from a grid of state columns and rows in an image, or as a bevel.
//
// `ImageType` names a column per state as a letter ('A' = column 0) in the
// order normal, rollover, pressed outside, pressed inside, disabled; missing
// states repeat the last, and the image holds the highest letter + 1 columns
// and `Rows` rows. `TColor` is the image's transparent index: drawn keyed,
// and no hit there.
#pragma once

#include <cstdint>
#include <string>

#include "ui/controls.h"
#include "ui/held_resource.h"

enum : uint32_t {
  kButtonAutoRepeat = 0x1000000,
  kButtonToggle = 0x2000000,
  kButtonMoveToHead = 0x4000000,
  kButtonDoubleClick = 0x8000000,
};

// The cell of `picture` that shows `state` (0..4, as above) in `row` of
// `rows`, with `columns` columns (0: as many as the letters need); empty
// when the grid does not fit the picture.
TRect StateCell(const CBitmap& picture, const std::string& image_type, size_t state, int row,
                int rows, int columns = 0);

class CUIButton : public CUIControl {
  TV_CLASS(CUIButton, CUIControl)

 public:
  enum EState : uint8_t { kNormal, kRollover, kPressedOutside, kPressedInside };
  static constexpr uint32_t kRepeatDelay = 1000;
  static constexpr uint32_t kRepeatInterval = 300;

  explicit CUIButton(CWindow* parent);

  ErrCode ReadKeys(CTemplateReader& reader) override;
  void Draw(const SDrawContext& context, const TRect& rect) override;
  bool HitTest(TPoint point) const override;
  bool OnMouse(uint32_t code, TPoint point, int32_t steps) override;
  uint32_t OnEvent(const SEventRecord& record) override;
  void DescribeDetails(std::vector<std::string>* lines) const override;
  void Activate() override { Notify(kNotifyPressed, ControlId(), static_cast<uint32_t>(m_row)); }

  // Shows `name` with the state letters `image_type`, as the Image and
  // ImageType keys do, and takes the size of one cell at its top-left;
  // false, and no image, when the picture cannot be had or holds no cell.
  bool SetImage(CResourceLoader* resources, const std::string& name, const std::string& image_type);

  EState State() const { return m_state; }
  void SetText(std::string text) { m_text = std::move(text); }
  int Row() const { return m_row; }

 private:
  void SetState(EState state);
  void Press(uint32_t code);
  void Release();
  // The image cell shown: column of the state, current row; empty without
  // an image that holds the grid (then the button is a bevel).
  TRect Cell() const;
  // The Text label, centred, moved by TextOffset while pressed.
  void DrawLabel(const SDrawContext& context, bool pressed) const;

  EState m_state = kNormal;
  int m_row = 0;
  int m_rows = 1;
  int m_columns = 0;  // an image button's XFrames; 0: from ImageType
  uint32_t m_repeat = 0;
  bool m_double_press = false;
  bool m_releasing = false;
  std::string m_image_type = "A";
  CHeldBitmap m_image;
  int16_t m_key = -1;
  CHeldFont m_font;  // none: the default font
  std::string m_text;
  uint8_t m_color_left = ui_colour::kLight;
  uint8_t m_color_right = ui_colour::kShadow;
  uint8_t m_color_fill = ui_colour::kFace;
  uint8_t m_font_color = ui_colour::kInk;
  int16_t m_text_offset[2] = {1, 1};
};
