#include "world/sprite.h"

#include "base/log.h"

#include "gfx/blit.h"
#include "gfx/palette.h"
#include "world/world.h"

namespace {

bool Usable(const CBitmap* picture) {
  return picture && picture->Bits() == 8 && picture->Width() <= CWSprite::kMaxSide &&
         picture->Height() <= CWSprite::kMaxSide;
}

}  // namespace

CWSprite::CWSprite(CWorld* world, StoreHandle own, StoreHandle template_handle)
    : CWHotSpot(world, own, template_handle), m_column(GetLong("Column")) {}

std::unique_ptr<CWObject> CWSprite::Load(CWorld* world, StoreHandle own,
                                         StoreHandle template_handle, ErrCode* error) {
  auto sprite = std::make_unique<CWSprite>(world, own, template_handle);
  const char* name = sprite->GetString("ImageName");
  *error = err::kOk;
  if (const ErrCode failed = sprite->SetImage(name ? name : "")) {
    LogMessage(kLogWarning, "%s: %s\n", name ? name : "", ErrName(failed));
    return nullptr;
  }
  return sprite;
}

ErrCode CWSprite::SetImage(const char* name) {
  std::unique_ptr<CBitmap> strip = *name ? World().LoadPicture(name) : nullptr;
  if (!Usable(strip.get())) return err::kInvalidValue;
  m_strip = std::move(strip);
  m_image_name = name;
  const int32_t columns = GetLong("Cols");
  m_columns = columns > 0 && columns <= m_strip->Width() ? columns : 1;
  if (m_column < 0 || m_column >= m_columns) m_column = 0;
  m_key = KeyOf(*m_strip);
  ShowFrame();
  return err::kOk;
}

ErrCode CWSprite::SetColumn(int32_t column) {
  if (column < 0 || column >= m_columns) return err::kInvalidValue;
  m_column = column;
  ShowFrame();
  return err::kOk;
}

void CWSprite::RecolourSource(uint8_t from, uint8_t to) {
  if (!m_strip) return;
  Recolour(*m_strip, from, to);
  ShowFrame();
}

TRect CWSprite::FrameOf(const CBitmap& strip, int32_t column, int32_t columns) {
  const int width = strip.Width() / columns;
  const int left = column * width;
  return {static_cast<int16_t>(left), 0, static_cast<int16_t>(left + width - 1),
          static_cast<int16_t>(strip.Height() - 1)};
}

void CWSprite::ShowFrame() {
  const TRect cut = FrameOf(*m_strip, m_column, m_columns);
  auto frame = std::make_unique<CBitmap>();
  const CPalette* palette = m_strip->Palette();
  if (frame->Create(static_cast<uint16_t>(cut.right - cut.left + 1),
                    static_cast<uint16_t>(cut.bottom + 1), kPixel8,
                    palette ? std::make_unique<CPalette>(*palette) : nullptr, kTopDown,
                    0) != err::kOk)
    return ShowPicture(nullptr, m_key);
  {
    CBitmapLock target(*frame);
    CBitmapLock source(*m_strip);
    if (target && source) Blit8(target.View(), 0, 0, source.View(), cut, kNoKey, frame->GetBounds());
  }
  ShowPicture(std::move(frame), m_key);
}
