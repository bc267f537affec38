// Message boxes drawn by the engine: a modal dialog from
// "/Tool Interface/Shared/MessageBox.ini" with a caption, the text wrapped
// in the tool font and a set of buttons chosen by the flags' low four bits:
// 0 OK, 1 OK Cancel, 2 Abort Retry Ignore, 3 Yes No Cancel, 4 Yes No,
// 5 Retry Cancel. The answer is the chosen button (1 OK, 2 Cancel, 3 Abort,
// 4 Retry, 5 Ignore, 6 Yes, 7 No; 0 when the box is closed otherwise),
// handed to a continuation. Enter chooses the first button; Escape Cancel,
// else No, else a lone button.
#pragma once

#include <string>

#include "ui/controls.h"

class CMessageBox final : public CUIDialog {
  TV_CLASS(CMessageBox, CUIDialog)

 public:
  static constexpr char kTemplate[] = "/Tool Interface/Shared/MessageBox.ini";

  // Opens the box modally on `desktop`; it destroys itself when answered.
  // Null with the error when its template cannot be read.
  static CMessageBox* Open(CDesktop* desktop, const std::string& caption, const std::string& text,
                           uint32_t flags, Continuation done, ErrCode* error,
                           const std::string& template_path = kTemplate);

  void DrawOver(const SDrawContext& context, const TRect& rect) override;
  void DescribeDetails(std::vector<std::string>* lines) const override;
  // Every button's press answers the box.
  uint32_t OnEvent(const SEventRecord& record) override;

 protected:
  // Adds the caption's and text's layout and the buttons.
  ErrCode OnBuilt(CTemplateReader& reader) override;

 private:
  CMessageBox(CWindow* parent, std::string caption, std::string text);

  uint32_t m_flags = 0;
  std::string m_caption;
  std::string m_text;
  int16_t m_margin = 16;
  int16_t m_button_size[2] = {90, 26};
  int16_t m_button_gap = 12;
  uint8_t m_caption_colour = 1;
  uint8_t m_text_colour = 0;
};
