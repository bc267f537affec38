// The painting of a paint object: its canvas and the picture it started
// from, and the tools the player paints with, one selected at a time.
//
// A press puts the selected tool down: the brush and the rubber then follow
// the drags until the release, the stamp and the fill act once. With a map
// every tool stays for the whole press in the region under it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/errors.h"
#include "base/geometry.h"
#include "gfx/bitmap.h"
#include "world/paint_draw.h"

// 8-bit pixels of one picture held in plain memory.
class CPixels {
 public:
  // Copies the pixels of an 8-bit `picture`; false for other pictures.
  bool CopyFrom(const CBitmap& picture);
  bool Empty() const { return m_bytes.empty(); }
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  // Origin null when empty.
  SPixelView View() { return {Empty() ? nullptr : m_bytes.data(), m_width, m_width, m_height}; }

 private:
  std::vector<uint8_t> m_bytes;
  int m_width = 0;
  int m_height = 0;
};

class CPaintBoard {
 public:
  enum class ETool : uint8_t { kBrush, kStamp, kFill, kRubber };
  enum ERubber : int { kRubberRestores = 0, kRubberBlanks = 1 };
  static constexpr int kDefaultDiameter = 9;
  static constexpr int kMaxDiameter = 64;
  // The largest side of a canvas or a tool's picture.
  static constexpr int kMaxSide = 4096;

  static bool IsColour(int32_t value) { return value >= 0 && value <= 0xFF; }
  // An 8-bit picture of sides up to kMaxSide.
  static bool Fits(const CBitmap& picture);

  // A plain 8-bit canvas of the size filled with `blank`, `image` (if any)
  // copied to its top-left, its palette the image's; null for sizes outside
  // 1..kMaxSide.
  static std::unique_ptr<CBitmap> NewCanvas(int width, int height, uint8_t blank,
                                            const CBitmap* image);

  // Paints on `canvas` (made by NewCanvas, kept by the caller) from now on,
  // with what it shows as the original picture; the tools start afresh.
  void Attach(CBitmap* canvas, uint8_t blank, uint8_t colour);

  // The tools. A refusal (INVALIDVALUE) changes nothing.
  // Without an image a round brush of `n` (1..kMaxDiameter); with one, its
  // pixels other than `n`.
  ErrCode SetBrush(const CBitmap* image, int n);
  ErrCode SetStamp(const CBitmap& image, int key);
  // Null: fills in the colour alone.
  ErrCode SetFillPattern(const CBitmap* image, int key);
  ErrCode SetRubber(int diameter, int mode);
  // Null: no map. A map must have the canvas's size.
  ErrCode SetMap(const CBitmap* map);
  ErrCode SetColor(int colour);
  uint8_t Color() const { return m_colour; }
  // Ends the press under way.
  void Select(ETool tool);
  ETool Tool() const { return m_tool; }

  // A press and its drags, in canvas coordinates; each answers the canvas
  // rectangle that may have changed.
  TRect Press(TPoint point);
  TRect Drag(TPoint point);
  void Release() { m_pressed = false; }
  bool Pressed() const { return m_pressed; }

  // These change the whole canvas.
  ErrCode Fill(int colour);
  // Back to the original picture.
  void Clear();
  // The tools as after Attach, and the original picture; the colour and
  // the map stay.
  void Reset();
  // `image` (8-bit) at the top-left, cut to the canvas or padded with the
  // blank; the original stays.
  ErrCode LoadImage(const CBitmap& image);

 private:
  // The brush's or the rubber's dabs and ink.
  const DabList& StrokeDabList() const;
  SInk StrokeInk();
  SPaintArea Area();
  void ResetTools();

  CBitmap* m_canvas = nullptr;
  CPixels m_original;
  uint8_t m_blank = 0;
  uint8_t m_colour = 0;
  ETool m_tool = ETool::kBrush;
  DabList m_brush;
  DabList m_stamp;
  CPixels m_pattern;
  uint32_t m_pattern_key = 0;
  DabList m_rubber;
  int m_rubber_mode = kRubberRestores;
  CPixels m_map;
  // The press under way: where the tool was last, and the map region.
  bool m_pressed = false;
  TPoint m_last{0, 0};
  int m_region = -1;
};
