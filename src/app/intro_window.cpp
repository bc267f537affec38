#include "app/intro_window.h"

#include "platform/virtual_keys.h"
#include "ui/desktop.h"
#include "ui/event_queue.h"
#include "ui/os_layer.h"
#include "ui/resources.h"

namespace {

constexpr uint32_t kReadLimit = 0x8000;

bool IsSkipKey(uint16_t virtual_key) {
  return virtual_key == kVkReturn || virtual_key == kVkSpace || virtual_key == kVkEscape ||
         virtual_key == 0;
}

}  // namespace

CIntroWindow::CIntroWindow(CDesktop* desktop, SOptions options)
    : CWindow(desktop, desktop, kRect, kStyleVisible), m_options(std::move(options)) {
  if (m_options.slow) m_steps[1] = {"intro_s", 0};
  desktop->SetFocus(this);
  desktop->TopLevel()->ShowCursor(false);
  PostEvent(Id(), kTick, 0, 0, 0);
}

CIntroWindow::~CIntroWindow() {
  if (m_options.tool_mode) Desktop()->TopLevel()->ShowCursor(true);
  if (m_options.sound) m_options.sound->Play("shutup.wav");
}

uint32_t CIntroWindow::OnEvent(const SEventRecord& record) {
  if (record.code != kTick) return CWindow::OnEvent(record);
  Tick();
  return 0;
}

uint32_t CIntroWindow::Elapsed() const { return Desktop()->Queue()->Now() - m_start; }

void CIntroWindow::Tick() {
  PostEvent(Id(), kTick, 0, 0, kTickInterval);
  if (!m_animation) {
    NextStep();
    return;
  }
  const uint32_t elapsed = Elapsed();
  if (m_animation->PastEnd(elapsed) || !m_animation->ShowTime(elapsed)) {
    m_animation.reset();
    Invalidate();
    return;
  }
  if (m_animation->FrameChanged()) {
    const TRect changed = OffsetRect(m_animation->GetChangedRect(), m_position.x, m_position.y);
    Invalidate(&changed);
  }
}

void CIntroWindow::Skip() {
  if (!m_animation) return;
  const uint32_t skip = m_options.mode == EMode::kIntro && m_step >= 0 ? m_steps[m_step].skip : 0;
  const uint32_t elapsed = Elapsed();
  Invalidate();
  if (elapsed < skip && !m_animation->PastEnd(skip)) {
    m_start -= skip - elapsed;
    if (m_options.sound) m_options.sound->Seek(skip);
    return;
  }
  m_animation.reset();
}

void CIntroWindow::NextStep() {
  ++m_step;
  const bool credits = m_options.mode == EMode::kCredits;
  if (credits && m_step == 0) {
    Start(m_options.slow ? "credits" : "_credits", "credits");
    return;
  }
  if (!credits && m_steps[m_step].name) {
    Start(m_steps[m_step].name, m_steps[m_step].name);
    return;
  }
  const std::function<void()> finished = m_options.finished;
  delete this;
  if (finished) finished();
}

void CIntroWindow::Start(const char* name, const char* sound) {
  auto animation = std::make_unique<CAnimReader>();
  animation->SetReadLimit(kReadLimit);
  if (animation->Open(("/anim/" + std::string(name) + ".ani").c_str()) != err::kOk) return;
  animation->UseFileRate();
  if (!animation->ShowTime(0)) return;
  m_animation = std::move(animation);
  m_position = {static_cast<int16_t>(320 - m_animation->Width() / 2),
                static_cast<int16_t>(240 - m_animation->Height() / 2)};
  if (m_options.sound) m_options.sound->Play("/anim/" + std::string(sound) + ".wav");
  Desktop()->TopLevel()->SetPalette(ColoursOf(*m_animation->GetPalette()));
  m_start = Desktop()->Queue()->Now();
  Invalidate();
}

bool CIntroWindow::OnKey(uint32_t code, uint16_t virtual_key, uint16_t) {
  if (code == kEvKeyDown && IsSkipKey(virtual_key)) Skip();
  return true;
}

bool CIntroWindow::OnMouse(uint32_t code, TPoint, int32_t) {
  if (code == kEvLeftDown) m_latch = true;
  if (code == kEvLeftUp && m_latch) {
    m_latch = false;
    Skip();
  }
  return true;
}

// Black around the frame, where the player would otherwise see what lay
// under the window.
void CIntroWindow::Draw(const SDrawContext& context, const TRect& rect) {
  context.Fill(rect, 255);
  const CBitmap* frame = m_animation ? m_animation->GetFrameBitmap() : nullptr;
  if (!frame) return;
  const TRect whole{0, 0, static_cast<int16_t>(frame->Width() - 1),
                    static_cast<int16_t>(frame->Height() - 1)};
  context.Picture(*frame, whole, m_position.x, m_position.y, CAnimReader::kNoTransparency);
}
