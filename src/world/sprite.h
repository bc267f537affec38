// Sprites: a picture, or one frame of a strip of "Cols" frames laid side by
// side, shown keyed by the "TColor" rule. The frame shown is the object's
// picture, so the hit test reads it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "world/visual_object.h"

class CBitmap;

class CWSprite : public CWHotSpot {
  TV_CLASS(CWSprite, CWHotSpot)

 public:
  // Pictures wider or higher than this are refused.
  static constexpr int kMaxSide = 4096;

  CWSprite(CWorld* world, StoreHandle own, StoreHandle template_handle);
  // INVALIDVALUE when "ImageName" gives no picture to show.
  static std::unique_ptr<CWObject> Load(CWorld* world, StoreHandle own,
                                        StoreHandle template_handle, ErrCode* error);

  // Shows the picture `name` cut by "Cols", keeping the column when the new
  // strip has it. INVALIDVALUE, nothing changed, for a missing picture, one
  // that is not 8-bit, or one over kMaxSide.
  ErrCode SetImage(const char* name);
  const std::string& ImageName() const { return m_image_name; }
  // INVALIDVALUE, nothing changed, outside [0, Columns()).
  ErrCode SetColumn(int32_t column);
  int32_t Column() const { return m_column; }
  // The frames of the strip: 1 for a single image.
  int32_t Columns() const { return m_columns; }
  // Frame `column` of a strip of `columns` frames: image width / `columns`
  // wide, as high as the strip.
  static TRect FrameOf(const CBitmap& strip, int32_t column, int32_t columns);
  // The whole strip changes, and the frame is cut again.
  void RecolourSource(uint8_t from, uint8_t to) override;

 private:
  void ShowFrame();

  std::unique_ptr<CBitmap> m_strip;
  std::string m_image_name;
  int32_t m_columns = 1;
  int32_t m_column = 0;
  int32_t m_key = -1;
};
