#include "world/text.h"

#include <algorithm>

#include "base/log.h"
#include "gfx/blit.h"
#include "world/world.h"

CText::CText(CWorld* world, StoreHandle own, StoreHandle template_handle)
    : CWHotSpot(world, own, template_handle),
      m_key(GetLong("TColor")),
      m_hl_colour(static_cast<uint8_t>(GetLong("HLColor"))),
      m_letter_hl(GetLong("LetterHL") != 0) {
  bool missing = false;
  const int32_t colour = GetLong("Color", &missing);
  m_colour = static_cast<uint8_t>(missing ? 0xFF : colour);
  if (m_key < -1 || m_key > 0xFF) m_key = -1;
}

std::unique_ptr<CWObject> CText::Load(CWorld* world, StoreHandle own,
                                      StoreHandle template_handle, ErrCode* error) {
  auto text = std::make_unique<CText>(world, own, template_handle);
  *error = text->LoadFont() ? text->MakeSurface() : err::kInvalidValue;
  return *error ? nullptr : std::move(text);
}

bool CText::LoadFont() {
  const char* name = GetString("FontName");
  CResourceLoader* resources = World().Resources();
  if (name && *name && m_font.Load(resources, name)) return true;
  LogMessage(kLogWarning, "Font not loaded: %s, using %s\n", name ? name : "", kDefaultFont);
  return m_font.Load(resources, kDefaultFont);
}

ErrCode CText::MakeSurface() {
  const TRect& pos = Pos();
  const int width = pos.right - pos.left + 1, height = pos.bottom - pos.top + 1;
  if (width <= 0 || height <= 0) return err::kOk;
  if (width > kMaxSide || height > kMaxSide) return err::kInvalidValue;
  auto surface = std::make_unique<CBitmap>();
  if (ErrCode error = surface->Create(static_cast<uint16_t>(width), static_cast<uint16_t>(height),
                                      kPixel8, nullptr, kTopDown, 0))
    return error;
  ShowPicture(std::move(surface), m_key);
  Draw();
  return err::kOk;
}

void CText::TextOut(std::string_view text) {
  m_text = text;
  m_hl_first = m_hl_end = 0;
  Draw();
}

void CText::SetTextHLChar(int32_t first, int32_t count) {
  m_hl_first = first;
  m_hl_end = count > 0 ? int64_t{first} + count : first;
  Draw();
}

void CText::Draw() {
  CBitmap* surface = Picture();
  if (!surface) return;
  {
    CBitmapLock lock(*surface);
    if (!lock) return;
    Fill(lock.View(), surface->GetBounds(), static_cast<uint8_t>(std::max(m_key, 0)));
    const std::vector<std::string_view> lines = m_font->BreakLines(m_text, surface->Width());
    for (size_t i = 0; i < lines.size(); ++i) {
      const int y = static_cast<int>(i) * m_font->LineHeight();
      if (y >= surface->Height()) break;
      DrawLine(lock.View(), lines[i], y);
    }
  }
  PictureChanged();
}

void CText::DrawLine(const SPixelView& view, std::string_view line, int y) const {
  // The line in three runs: before the highlight, in it, after it.
  const int64_t at = line.data() - m_text.data();
  const int64_t size = static_cast<int64_t>(line.size());
  const bool lit = m_letter_hl && m_hl_end > m_hl_first;
  const int64_t begin = lit ? std::clamp<int64_t>(m_hl_first - at, 0, size) : 0;
  const int64_t end = lit ? std::clamp<int64_t>(m_hl_end - at, 0, size) : 0;
  const int64_t cuts[] = {0, begin, end, size};
  const TRect clip{0, 0, static_cast<int16_t>(view.width - 1),
                   static_cast<int16_t>(view.height - 1)};
  int pen = 0;
  for (int run = 0; run < 3; ++run) {
    const std::string_view part = line.substr(static_cast<size_t>(cuts[run]),
                                              static_cast<size_t>(cuts[run + 1] - cuts[run]));
    m_font->DrawText(view, pen, y, part, run == 1 ? m_hl_colour : m_colour, clip);
    for (const char c : part) pen += m_font->Advance(c);
  }
}
