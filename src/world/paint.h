// "Paint": a canvas the player paints on with the tools scripts set up.
//
// The canvas is the picture "ImageName" names (the object takes its size)
// or, without one, a canvas of the "Pos" size filled with "TColor" (0 when
// missing), which is also what the blanking rubber paints. "SColor" is the
// painting colour. A left press paints after "OnLButtonDown" has run, and
// the object holds the view's capture until the button comes up, so that
// the drags reach it wherever the cursor goes.
#pragma once

#include <memory>

#include "world/paint_board.h"
#include "world/visual_object.h"

class CPaint : public CWHotSpot {
  TV_CLASS(CPaint, CWHotSpot)

 public:
  // The loader: null when the canvas cannot be had, after one warning
  // naming the picture and the error.
  static std::unique_ptr<CWObject> Load(CWorld* world, StoreHandle own, StoreHandle template_handle,
                                        ErrCode* error);

  CPaint(CWorld* world, StoreHandle own, StoreHandle template_handle);

  // The whole rectangle is hit, transparent pixels too.
  bool HitTest(TPoint point) const override;
  void OnMouse(uint32_t code, TPoint point) override;

  // What scripts do with the painting. Pictures are named as resources;
  // an empty or null name is none. A refusal (INVALIDVALUE: a picture that
  // cannot be had, a value out of range) changes nothing.
  ErrCode SetBrush(const char* image, int n);
  ErrCode SetStamp(const char* image, int key);
  ErrCode SetFillPattern(const char* image, int key);
  ErrCode SetRubber(int diameter, int mode);
  ErrCode SetMap(const char* image);
  // Also writes "SColor".
  ErrCode SetColor(int colour);
  void Select(CPaintBoard::ETool tool) { m_board.Select(tool); }
  ErrCode Fill(int colour);
  void Clear();
  void Reset();
  ErrCode LoadImage(const char* image);
  // "/out/<name>.bmp".
  ErrCode Save();
  // The canvas as an 8-bit BMP file with the view's palette, replacing the
  // file whole.
  ErrCode SaveImage(const char* path);
  const CPaintBoard& Board() const { return m_board; }

 private:
  // Makes and shows the canvas; false, with the warning, when it cannot.
  bool MakeCanvas();
  // "TColor" as a colour of `image`, 0 when missing or no colour.
  uint8_t Blank(const CBitmap* image) const;
  // The picture of the name, 8-bit and small enough; null without a name,
  // and with INVALIDVALUE when there is no such picture.
  std::unique_ptr<CBitmap> NamedPicture(const char* image, ErrCode* error) const;
  // `use` (const CBitmap* or null) -> ErrCode with the named picture, unless
  // it cannot be had.
  template <class Use>
  ErrCode WithPicture(const char* image, Use use);
  TPoint Local(TPoint point) const;

  CPaintBoard m_board;
};
