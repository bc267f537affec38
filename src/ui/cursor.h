// Mouse cursors: an 8-bit picture in its own palette with a hot spot.
//
// The picture is a BMP file; "<file>.ini" beside it may say, in section
// [Cursor], HotSpot=x, y (default 0, 0) and Transparent=n (default the
// bottom-left pixel). A broken .ini leaves the defaults.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/geometry.h"
#include "platform/platform.h"

class CCursor {
 public:
  // Pictures larger than this are refused with INVALIDFORMAT.
  static constexpr int kMaxSide = 256;

  static std::shared_ptr<CCursor> Load(const std::string& path, ErrCode* error);

  const std::string& Path() const { return m_path; }
  TPoint HotSpot() const { return m_hot_spot; }
  SCursorImage Image() const;

 private:
  std::string m_path;
  int m_width = 0;
  int m_height = 0;
  std::vector<uint8_t> m_pixels;
  std::array<SRgb, 256> m_palette{};
  uint8_t m_transparent = 0;
  TPoint m_hot_spot;
};
