#include "ui/message_box.h"

#include <array>

#include "base/log.h"
#include "gfx/font.h"
#include "ui/button.h"
#include "ui/desktop.h"

namespace {

struct SButtonSet {
  std::array<uint32_t, 3> answers;  // 0 ends the set
};

// By the flags' low four bits.
constexpr SButtonSet kButtonSets[] = {
    {{kIdOk, 0, 0}},         {{kIdOk, kIdCancel, 0}},         {{kIdAbort, kIdRetry, kIdIgnore}},
    {{kIdYes, kIdNo, kIdCancel}}, {{kIdYes, kIdNo, 0}},       {{kIdRetry, kIdCancel, 0}},
};

const char* AnswerText(uint32_t answer) {
  static constexpr const char* kTexts[] = {"",      "OK",     "Cancel", "Abort",
                                           "Retry", "Ignore", "Yes",    "No"};
  return answer < std::size(kTexts) ? kTexts[answer] : "";
}

}  // namespace

CMessageBox::CMessageBox(CWindow* parent, std::string caption, std::string text)
    : CUIDialog(parent), m_caption(std::move(caption)), m_text(std::move(text)) {}

CMessageBox* CMessageBox::Open(CDesktop* desktop, const std::string& caption,
                               const std::string& text, uint32_t flags, Continuation done,
                               ErrCode* error, const std::string& template_path) {
  auto* box = new CMessageBox(desktop, caption, text);
  box->m_flags = flags;
  *error = box->LoadTemplate(template_path, "MessageBox");
  if (*error != err::kOk) {
    delete box;
    return nullptr;
  }
  box->DoModal(std::move(done));
  return box;
}

ErrCode CMessageBox::OnBuilt(CTemplateReader& reader) {
  if (reader.SetSection("Layout") == err::kOk) {
    reader.GetShort("Margin", &m_margin);
    reader.GetShorts("ButtonSize", m_button_size, 2);
    reader.GetShort("ButtonGap", &m_button_gap);
    reader.GetByte("CaptionColor", &m_caption_colour);
    reader.GetByte("TextColor", &m_text_colour);
  }
  const SButtonSet& set = kButtonSets[std::min<size_t>(m_flags & 0xF, std::size(kButtonSets) - 1)];
  int count = 0;
  while (count < 3 && set.answers[static_cast<size_t>(count)]) ++count;
  const TRect rect = GetRect();
  const int width = count * m_button_size[0] + (count - 1) * m_button_gap;
  int x = (rect.left + rect.right + 1 - width) / 2;
  const int y = rect.bottom + 1 - m_margin - m_button_size[1];
  uint32_t esc = count == 1 ? set.answers[0] : 0;
  for (int i = 0; i < count; ++i, x += m_button_size[0] + m_button_gap) {
    const uint32_t answer = set.answers[static_cast<size_t>(i)];
    if (answer == kIdCancel || (answer == kIdNo && esc != kIdCancel)) esc = answer;
    CWindow* made = nullptr;
    if (ErrCode error = reader.SetSection("Button")) return error;
    if (ErrCode error = CreateByType(this, reader, &made)) return error;
    auto* button = KindOf<CUIButton>(made);
    if (!button) return err::kNotFound;
    button->SetControlId(answer);
    button->SetText(AnswerText(answer));
    button->SetRect({static_cast<int16_t>(x), static_cast<int16_t>(y),
                     static_cast<int16_t>(x + m_button_size[0] - 1),
                     static_cast<int16_t>(y + m_button_size[1] - 1)},
                    false, false);
  }
  SetKeyControls(set.answers[0], set.answers[0], esc);
  return err::kOk;
}

uint32_t CMessageBox::OnEvent(const SEventRecord& record) {
  // Every button answers.
  if (record.code == kNotifyPressed && record.p1 >= kIdOk && record.p1 <= kIdNo) {
    EndModal(record.p1);
    return 0;
  }
  return CUIDialog::OnEvent(record);
}

void CMessageBox::DrawOver(const SDrawContext& context, const TRect&) {
  const CFont* font = Desktop()->DefaultFont();
  if (!font) return;
  const TRect rect = GetRect();
  const TRect clip = OffsetRect(context.clip, context.origin_x, context.origin_y);
  const int x = rect.left + m_margin + context.origin_x;
  int y = rect.top + m_margin + context.origin_y;
  font->DrawText(context.view, x, y, m_caption, m_caption_colour, clip);
  y += font->LineHeight() * 3 / 2;
  for (std::string_view line : font->BreakLines(m_text, rect.right - rect.left + 1 - 2 * m_margin)) {
    font->DrawText(context.view, x, y, line, m_text_colour, clip);
    y += font->LineHeight();
  }
}

void CMessageBox::DescribeDetails(std::vector<std::string>* lines) const {
  lines->push_back("caption: " + m_caption);
  lines->push_back("text: " + m_text);
}
