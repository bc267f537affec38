// Bitmaps: a pixel buffer in a movable memory block with its geometry, pixel
// type and an optional palette.
//
// Rows are padded to 4 bytes. The stride's sign is the row order: negative
// strides store the last row first (bottom-up, as BMP files with a positive
// height do), positive strides the first row first. Either way row y, counted
// from the top, starts at PixelAddress(0, 0) + y * stride.
#pragma once

#include <cstdint>
#include <memory>

#include "base/errors.h"
#include "base/memory.h"
#include "base/object.h"
#include "gfx/palette.h"
#include "base/geometry.h"

enum EPixelType : uint16_t {
  kPixel8 = 1,    // palettised
  kPixel555 = 3,  // 16-bit RGB 5-5-5
  kPixel24 = 4,   // blue, green, red
  kPixel32 = 5,
  kPixel565 = 6,  // 16-bit RGB 5-6-5
};

enum : int { kBottomUp = -1, kTopDown = 1 };

class CBitmap : public CObject {
  TV_CLASS(CBitmap, CObject)

 public:
  CBitmap() = default;
  // Copies geometry, palette and pixels. A copy whose pixels cannot be had
  // (the source's lock or the allocation fails) has none.
  CBitmap(const CBitmap& other);
  CBitmap& operator=(const CBitmap&) = delete;
  ~CBitmap() override;

  // Bits per pixel of a type; 0 for types outside the list.
  static uint16_t BitsOfType(uint16_t type);
  // The padded row size.
  static uint32_t RowBytes(uint16_t bits, uint16_t width);

  // Drops the old pixels and palette and allocates |stride| * height + `extra`
  // zero bytes. `order` is kBottomUp or kTopDown.
  virtual ErrCode Create(uint16_t width, uint16_t height, uint16_t type,
                         std::unique_ptr<CPalette> palette, int order, uint32_t extra);
  // Swaps the rows in place when `order` differs from the current one. The
  // pixels must not be locked meanwhile (compressed pixels get a new block).
  virtual ErrCode SetRowOrder(int order);
  // Type 3 only: every pixel becomes 5-6-5 and the type 6.
  virtual ErrCode Convert555To565();
  // The address of pixel (x, y), y from the top. The pixel block must be
  // locked; null when it is not.
  virtual uint8_t* PixelAddress(int x, int y) const;

  // As Create, but the pixels are `block`, which already holds them in the
  // given row order (or produces them through its custom handler).
  ErrCode Adopt(uint16_t width, uint16_t height, uint16_t type,
                std::unique_ptr<CPalette> palette, int order, CHandle block);

  // -1 outside the bitmap or when the pixels cannot be locked. Pixels set in
  // a compressed bitmap last only while it stays locked.
  int32_t GetPixel(int x, int y) const;
  // Ignores coordinates outside.
  void SetPixel(int x, int y, uint32_t value);
  TRect GetBounds() const;

  uint16_t Width() const { return m_width; }
  uint16_t Height() const { return m_height; }
  uint16_t Bits() const { return m_bits; }
  uint16_t Type() const { return m_type; }
  int16_t Stride() const { return m_stride; }
  int RowOrder() const { return m_stride < 0 ? kBottomUp : kTopDown; }
  // |stride| * height: the pixel bytes proper, without the extra bytes.
  uint32_t ByteCount() const { return m_byte_count; }
  MemHandle PixelBlock() const { return m_pixels.get(); }
  CPalette* Palette() const { return m_palette.get(); }
  void SetPalette(std::unique_ptr<CPalette> palette) { m_palette = std::move(palette); }

 private:
  ErrCode SetGeometry(uint16_t width, uint16_t height, uint16_t type, int order);
  ErrCode MakePlain();

  CHandle m_pixels;
  uint16_t m_width = 0;
  uint16_t m_height = 0;
  uint16_t m_bits = 0;
  int16_t m_stride = 0;
  uint32_t m_byte_count = 0;
  uint16_t m_type = 0;
  std::unique_ptr<CPalette> m_palette;
};

// The pixels of an 8-bit area as the drawing routines see them.
struct SPixelView {
  uint8_t* origin = nullptr;  // pixel (0, 0)
  int32_t stride = 0;
  int width = 0;
  int height = 0;

  uint8_t* Row(int y) const { return origin + static_cast<intptr_t>(y) * stride; }
};

// Holds one lock of a bitmap's pixels for a scope.
class CBitmapLock {
 public:
  explicit CBitmapLock(const CBitmap& bitmap);
  ~CBitmapLock();
  CBitmapLock(const CBitmapLock&) = delete;
  CBitmapLock& operator=(const CBitmapLock&) = delete;

  explicit operator bool() const { return m_view.origin != nullptr; }
  const SPixelView& View() const { return m_view; }

 private:
  MemHandle m_handle;
  SPixelView m_view;
};
