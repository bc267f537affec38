#include "gfx/bitmap.h"

#include <cstring>
#include <utility>
#include <vector>

#include "base/byte_order.h"

CBitmap::CBitmap(const CBitmap& other)
    : CObject(),
      m_width(other.m_width),
      m_height(other.m_height),
      m_bits(other.m_bits),
      m_stride(other.m_stride),
      m_byte_count(other.m_byte_count),
      m_type(other.m_type) {
  if (other.m_palette) m_palette = std::make_unique<CPalette>(*other.m_palette);
  if (!other.m_pixels) return;
  CHandleLock source(other.m_pixels.get());
  CHandle copy(source ? AllocHandle(m_byte_count) : 0);
  CHandleLock target(copy.get());
  if (!target) return;
  std::memcpy(target.get(), source.get(), m_byte_count);
  m_pixels = std::move(copy);
}

CBitmap::~CBitmap() = default;

uint16_t CBitmap::BitsOfType(uint16_t type) {
  switch (type) {
    case kPixel8: return 8;
    case kPixel555:
    case kPixel565: return 16;
    case kPixel24: return 24;
    case kPixel32: return 32;
    default: return 0;
  }
}

uint32_t CBitmap::RowBytes(uint16_t bits, uint16_t width) {
  return (uint32_t{bits} / 8 * width + 3) & ~uint32_t{3};
}

ErrCode CBitmap::SetGeometry(uint16_t width, uint16_t height, uint16_t type, int order) {
  const uint16_t bits = BitsOfType(type);
  if (bits == 0) return err::kBmpBadType;
  const uint32_t row = RowBytes(bits, width);
  if (row > 0x7FFF || (order != kBottomUp && order != kTopDown)) return err::kBadParams;
  m_width = width;
  m_height = height;
  m_bits = bits;
  m_type = type;
  m_stride = static_cast<int16_t>(order * static_cast<int>(row));
  m_byte_count = row * height;
  return err::kOk;
}

ErrCode CBitmap::Create(uint16_t width, uint16_t height, uint16_t type,
                        std::unique_ptr<CPalette> palette, int order, uint32_t extra) {
  m_pixels.reset();
  m_palette = std::move(palette);
  if (ErrCode error = SetGeometry(width, height, type, order)) return error;
  const uint64_t size = uint64_t{m_byte_count} + extra;
  if (size > 0) {
    m_pixels.reset(size <= UINT32_MAX ? AllocHandle(size) : 0);
    CHandleLock pixels(m_pixels.get());
    if (!pixels) return err::kBmpNoMem;
    std::memset(pixels.get(), 0, size);
  }
  return err::kOk;
}

ErrCode CBitmap::Adopt(uint16_t width, uint16_t height, uint16_t type,
                       std::unique_ptr<CPalette> palette, int order, CHandle block) {
  m_pixels.reset();
  m_palette = std::move(palette);
  if (ErrCode error = SetGeometry(width, height, type, order)) return error;
  m_pixels = std::move(block);
  return err::kOk;
}

// Pixels produced by a custom handler (compressed bitmaps) are rebuilt at
// every first lock, so changes to them would not last: such pixels become a
// plain block first.
ErrCode CBitmap::MakePlain() {
  if (!m_pixels || HandleSize(m_pixels.get()) != 0) return err::kOk;
  CHandleLock source(m_pixels.get());
  if (!source) return err::kLockFail;
  CHandle plain(AllocHandle(m_byte_count));
  CHandleLock target(plain.get());
  if (!target) return err::kBmpNoMem;
  std::memcpy(target.get(), source.get(), m_byte_count);
  m_pixels = std::move(plain);
  return err::kOk;
}

ErrCode CBitmap::SetRowOrder(int order) {
  if ((order < 0) == (m_stride < 0)) return err::kOk;
  if (ErrCode error = MakePlain()) return error;
  CHandleLock lock(m_pixels.get());
  if (m_pixels && !lock) return err::kLockFail;
  const uint32_t row = m_stride < 0 ? -m_stride : m_stride;
  if (lock && m_height > 1) {
    std::vector<uint8_t> swap(row);
    uint8_t* base = lock.as<uint8_t>();
    for (uint32_t top = 0, bottom = m_height - 1u; top < bottom; ++top, --bottom) {
      std::memcpy(swap.data(), base + top * row, row);
      std::memcpy(base + top * row, base + bottom * row, row);
      std::memcpy(base + bottom * row, swap.data(), row);
    }
  }
  m_stride = static_cast<int16_t>(-m_stride);
  return err::kOk;
}

ErrCode CBitmap::Convert555To565() {
  if (m_type != kPixel555) return err::kBmpBadType;
  if (ErrCode error = MakePlain()) return error;
  CHandleLock lock(m_pixels.get());
  if (m_pixels && !lock) return err::kLockFail;
  for (int y = 0; lock && y < m_height; ++y) {
    uint8_t* row = PixelAddress(0, y);
    for (int x = 0; x < m_width; ++x) {
      uint16_t v;
      std::memcpy(&v, row + 2 * x, 2);
      v = static_cast<uint16_t>(((v & 0xFFE0) * 2) | (v & 0x1F));
      std::memcpy(row + 2 * x, &v, 2);
    }
  }
  m_type = kPixel565;
  return err::kOk;
}

uint8_t* CBitmap::PixelAddress(int x, int y) const {
  uint8_t* base = static_cast<uint8_t*>(HandleLockedPointer(m_pixels.get()));
  if (!base) return nullptr;
  const intptr_t row = m_stride > 0 ? intptr_t{y} * m_stride
                                    : intptr_t{m_height - 1 - y} * -m_stride;
  return base + row + intptr_t{x} * (m_bits / 8);
}

int32_t CBitmap::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return -1;
  CHandleLock lock(m_pixels.get());
  if (!lock) return -1;
  const uint8_t* p = PixelAddress(x, y);
  switch (m_bits) {
    case 8: return p[0];
    case 16: return GetLe16(p);
    case 24: return GetLe16(p) | p[2] << 16;
    default: return static_cast<int32_t>(GetLe32(p));
  }
}

void CBitmap::SetPixel(int x, int y, uint32_t value) {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
  CHandleLock lock(m_pixels.get());
  if (!lock) return;
  uint8_t* p = PixelAddress(x, y);
  for (int i = 0; i < m_bits / 8; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

TRect CBitmap::GetBounds() const {
  return TRect{0, 0, static_cast<int16_t>(m_width - 1), static_cast<int16_t>(m_height - 1)};
}

CBitmapLock::CBitmapLock(const CBitmap& bitmap) : m_handle(bitmap.PixelBlock()) {
  if (!LockHandle(m_handle)) return;
  m_view.origin = bitmap.PixelAddress(0, 0);
  m_view.stride = bitmap.Stride();
  m_view.width = bitmap.Width();
  m_view.height = bitmap.Height();
}

CBitmapLock::~CBitmapLock() {
  if (m_view.origin) UnlockHandle(m_handle);
}
