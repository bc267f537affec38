#include "ui/cursor.h"

#include <algorithm>

#include "gfx/bmp.h"
#include "store/hash_ini.h"
#include "ui/resources.h"

std::shared_ptr<CCursor> CCursor::Load(const std::string& path, ErrCode* error) {
  std::unique_ptr<CBitmap> bitmap = LoadBmp(path.c_str(), error, false);
  if (!bitmap) return nullptr;
  if (bitmap->Bits() != 8 || bitmap->Width() == 0 || bitmap->Height() == 0 ||
      bitmap->Width() > kMaxSide || bitmap->Height() > kMaxSide) {
    *error = err::kInvalidFormat;
    return nullptr;
  }
  CBitmapLock lock(*bitmap);
  if (!lock) {
    *error = err::kInvalidFormat;
    return nullptr;
  }
  auto cursor = std::make_shared<CCursor>();
  cursor->m_path = path;
  cursor->m_width = bitmap->Width();
  cursor->m_height = bitmap->Height();
  for (int y = 0; y < cursor->m_height; ++y) {
    const uint8_t* row = lock.View().Row(y);
    cursor->m_pixels.insert(cursor->m_pixels.end(), row, row + cursor->m_width);
  }
  if (const CPalette* palette = bitmap->Palette()) {
    const std::vector<SRgb> colours = ColoursOf(*palette);
    std::copy_n(colours.begin(), std::min(colours.size(), cursor->m_palette.size()),
                cursor->m_palette.begin());
  }
  cursor->m_transparent = cursor->m_pixels[static_cast<size_t>(cursor->m_height - 1) *
                                           cursor->m_width];
  CHashIni ini(4, 8);
  if (ini.Load((path + ".ini").c_str()) == err::kOk) {
    TPoint hot;
    if (ini.GetPoint("Cursor", "HotSpot", &hot) == err::kOk && hot.x >= 0 && hot.y >= 0 &&
        hot.x < cursor->m_width && hot.y < cursor->m_height)
      cursor->m_hot_spot = hot;
    int32_t transparent = 0;
    if (ini.GetInt("Cursor", "Transparent", &transparent) == err::kOk && transparent >= 0 &&
        transparent <= 255)
      cursor->m_transparent = static_cast<uint8_t>(transparent);
  }
  *error = err::kOk;
  return cursor;
}

SCursorImage CCursor::Image() const {
  return {m_width,         m_height,          m_hot_spot.x, m_hot_spot.y, m_pixels.data(),
          m_palette.data(), m_transparent};
}
