// Text objects: a surface of the object's "Pos" size on which scripts write
// text in the object's font, broken into lines of its width, with a run of
// letters optionally highlighted in another colour.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ui/held_resource.h"
#include "world/visual_object.h"

class CText : public CWHotSpot {
  TV_CLASS(CText, CWHotSpot)

 public:
  // The font of a text whose "FontName" gives none.
  static constexpr char kDefaultFont[] = "/Game Interface/Shared/andika20.fnt";
  // Surfaces wider or higher than this are refused.
  static constexpr int kMaxSide = 4096;

  CText(CWorld* world, StoreHandle own, StoreHandle template_handle);
  // INVALIDVALUE when neither "FontName" nor the default font loads, or the
  // surface is over kMaxSide.
  static std::unique_ptr<CWObject> Load(CWorld* world, StoreHandle own,
                                        StoreHandle template_handle, ErrCode* error);

  // Shows `text` (Latin-1) from the top-left, broken into lines at "\n" and
  // to the surface's width, clipped to the surface; the highlight goes.
  void TextOut(std::string_view text);
  // Highlights the `count` bytes of the text from `first` in "HLColor" while
  // "LetterHL" is on; a count of 0 or less clears the highlight.
  void SetTextHLChar(int32_t first, int32_t count);
  const std::string& Text() const { return m_text; }

 private:
  // The font named by "FontName", else (with a log line) the default one.
  bool LoadFont();
  ErrCode MakeSurface();
  void Draw();
  void DrawLine(const SPixelView& view, std::string_view line, int y) const;

  CHeldFont m_font;
  std::string m_text;
  int64_t m_hl_first = 0;
  int64_t m_hl_end = 0;  // empty: nothing highlighted
  int32_t m_key;
  uint8_t m_colour;
  uint8_t m_hl_colour;
  bool m_letter_hl;
};
