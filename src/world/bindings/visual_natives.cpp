// The functions on the visual kinds (timers, sprites, texts, animations,
// decorations, paintings) and on the view's dissolves and cursor
// restriction. A refused change writes the script diagnostic and changes
// nothing.
#include <array>
#include <string>
#include <tuple>
#include <type_traits>

#include "fs/replace.h"
#include "gfx/blit.h"
#include "gfx/bmp.h"
#include "gfx/palette.h"
#include "script/script_call.h"
#include "world/animation.h"
#include "world/bindings/natives.h"
#include "world/bindings/path_check.h"
#include "world/decoration.h"
#include "world/paint.h"
#include "world/sprite.h"
#include "world/text.h"
#include "world/timer.h"
#include "world/view.h"
#include "world/world.h"

namespace bindings {

namespace {

// The current object, or (kNamed) the view's object named by the next
// argument, when it is of kind T.
template <class T, bool kNamed = true>
T* Kind(CArgs& args) {
  return KindOf<T>(Target<kNamed>(args));
}

void Report(ErrCode error) {
  if (error) ScriptDiagnostic("%s", ErrName(error));
}

// A file name for reading through the gate; "" stays none.
bool ReadName(const std::string& name, std::string* path) {
  path->clear();
  return name.empty() || CheckScriptPath(name, EFileAccess::kRead, path);
}

TPoint Point(int32_t x, int32_t y) { return {static_cast<int16_t>(x), static_cast<int16_t>(y)}; }

// A colour index, or nothing with INVALIDVALUE.
bool Colour(int32_t value) {
  const bool valid = value >= 0 && value <= 255;
  if (!valid) Report(err::kInvalidValue);
  return valid;
}

// A native whose int arguments, after the object's ID (kNamed) or for the
// current object, go to a method of kind T; a refusal the method returns
// gives the diagnostic.
template <class T, bool kNamed, auto kMethod, size_t kInts>
uint8_t* IntCall(uint8_t* sp) {
  CArgs args(&sp, (kNamed ? 4 : 0) + 4 * kInts);
  T* object = Kind<T, kNamed>(args);
  std::array<int32_t, kInts> values;
  for (int32_t& value : values) value = args.Int();
  if (!object) return sp;
  const auto call = [&] {
    return std::apply([&](auto... value) { return (object->*kMethod)(value...); }, values);
  };
  if constexpr (std::is_void_v<decltype(call())>) call();
  else Report(call());
  return sp;
}

}  // namespace

// Views.

uint8_t* DissolveToView(uint8_t* sp) {
  CArgs args(&sp, 12);
  const StrHandle path = args.Str();
  const int32_t x = args.Int();
  const int32_t y = args.Int();
  if (CWorld* world = RunningWorld()) world->RequestView(CStrText(path).view(), Point(x, y), true);
  return sp;
}

uint8_t* DissolveToImage(uint8_t* sp) {
  CArgs args(&sp, 4);
  std::string path;
  CWorld* world = RunningWorld();
  if (ReadName(args.Text(), &path) && world) Report(world->DissolveToImage(path.c_str()));
  return sp;
}

uint8_t* SetMRHLine(uint8_t* sp) {
  CArgs args(&sp, 12);
  const int32_t y = args.Int();
  const int32_t x1 = args.Int();
  const int32_t x2 = args.Int();
  if (CWPlaneViewWindow* view = RunningView()) view->RestrictToLine(y, x1, x2);
  return sp;
}

uint8_t* SetMRMask(uint8_t* sp) {
  CArgs args(&sp, 12);
  CWVisualObject* visual = AsVisual(ViewObject(args.Str()));
  const int32_t x = args.Int();
  const int32_t y = args.Int();
  CWPlaneViewWindow* view = RunningView();
  if (view) Report(visual ? view->RestrictToMask(*visual, Point(x, y)) : err::kBadParams);
  return sp;
}

uint8_t* MRRemove(uint8_t* sp) {
  if (CWPlaneViewWindow* view = RunningView()) view->RemoveRestriction();
  return sp;
}

uint8_t* SetMousePos(uint8_t* sp) {
  CArgs args(&sp, 8);
  const int32_t x = args.Int();
  const int32_t y = args.Int();
  if (CWPlaneViewWindow* view = RunningView()) view->PlaceCursor(view->Restricted(Point(x, y)));
  return sp;
}

// Timers.

uint8_t* SetInOutTime(uint8_t* sp) {
  return IntCall<CWTimerObj, true, &CWTimerObj::SetInOutTime, 2>(sp);
}

uint8_t* SetTime(uint8_t* sp) { return IntCall<CWTimerObj, true, &CWTimerObj::SetTime, 1>(sp); }

// Sprites and animations.

namespace {

// A sprite shows the picture, an animation plays the file.
ErrCode ShowFile(CWObject* object, const char* name) {
  if (CWSprite* sprite = KindOf<CWSprite>(object)) return sprite->SetImage(name);
  if (CAnim* anim = KindOf<CAnim>(object)) return anim->SetFile(name);
  return err::kOk;
}

}  // namespace

template <bool kNamed>
uint8_t* SetImage(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 8 : 4);
  CWObject* object = Target<kNamed>(args);
  std::string path;
  if (ReadName(args.Text(), &path) && object) Report(ShowFile(object, path.c_str()));
  return sp;
}

template <bool kNamed>
uint8_t* SetColumn(uint8_t* sp) {
  return IntCall<CWSprite, kNamed, &CWSprite::SetColumn, 1>(sp);
}

template <bool kNamed>
uint8_t* GetColumn(uint8_t* sp) {
  CArgs args(&sp, kNamed ? 4 : 0);
  const CWSprite* sprite = Kind<CWSprite, kNamed>(args);
  args.Result(sprite ? sprite->Column() : 0);
  return sp;
}

uint8_t* GetImage(uint8_t* sp) {
  CArgs args(&sp, 4);
  const CWSprite* sprite = Kind<CWSprite>(args);
  args.Result(sprite ? StrNew(sprite->ImageName().c_str()) : StrHandle{0});
  return sp;
}

template <bool kNamed>
uint8_t* SetFrame(uint8_t* sp) {
  return IntCall<CAnim, kNamed, &CAnim::SetFrame, 1>(sp);
}

template <bool kNamed>
uint8_t* PlayAnimation(uint8_t* sp) {
  return IntCall<CAnim, kNamed, &CAnim::Play, 1>(sp);
}

template <bool kNamed>
uint8_t* AnimRescale(uint8_t* sp) {
  return IntCall<CAnim, kNamed, &CAnim::Rescale, 2>(sp);
}

// ReplaceColor, and with kArea RReplaceColor inside a rectangle.
template <bool kNamed, bool kArea>
uint8_t* ReplaceColor(uint8_t* sp) {
  CArgs args(&sp, (kNamed ? 12 : 8) + (kArea ? sizeof(TRect) : 0));
  CAnim* anim = Kind<CAnim, kNamed>(args);
  const int32_t from = args.Int();
  const int32_t to = args.Int();
  const TRect area = kArea ? args.Rect() : TRect{};
  if (anim && Colour(from) && Colour(to))
    anim->ReplaceColor(static_cast<uint8_t>(from), static_cast<uint8_t>(to),
                       kArea ? &area : nullptr);
  return sp;
}

template <bool kSource>
uint8_t* RecolourObject(uint8_t* sp) {
  CArgs args(&sp, 12);
  CWVisualObject* object = Kind<CWVisualObject>(args);
  const int32_t from = args.Int();
  const int32_t to = args.Int();
  if (!object || !Colour(from) || !Colour(to)) return sp;
  const auto old_colour = static_cast<uint8_t>(from);
  const auto new_colour = static_cast<uint8_t>(to);
  if constexpr (kSource) object->RecolourSource(old_colour, new_colour);
  else object->RecolourPicture(old_colour, new_colour);
  return sp;
}

namespace {

// Frame `column` of a strip of `columns` drawn at `at` into the object's
// picture, pixels of `key` (-1: none) left out.
ErrCode DrawFrame(CWVisualObject& object, const CBitmap* strip, TPoint at, int32_t column,
                  int32_t columns, int32_t key) {
  const bool valid = strip && strip->Bits() == 8 && columns > 0 && columns <= strip->Width() &&
                     column >= 0 && column < columns && key >= -1 && key <= 255;
  if (!valid) return err::kInvalidValue;
  return object.DrawIntoPicture(*strip, CWSprite::FrameOf(*strip, column, columns), at,
                                key < 0 ? kNoKey : static_cast<uint32_t>(key));
}

}  // namespace

uint8_t* DrawSprite(uint8_t* sp) {
  CArgs args(&sp, 28);
  CWVisualObject* object = Kind<CWVisualObject>(args);
  const std::string name = args.Text();
  const int32_t x = args.Int();
  const int32_t y = args.Int();
  const int32_t column = args.Int();
  const int32_t columns = args.Int();
  const int32_t key = args.Int();
  CWorld* world = RunningWorld();
  std::string path;
  if (!object || !world || !CheckScriptPath(name, EFileAccess::kRead, &path)) return sp;
  const std::unique_ptr<CBitmap> strip = world->LoadPicture(path.c_str());
  Report(DrawFrame(*object, strip.get(), Point(x, y), column, columns, key));
  return sp;
}

// Texts.

uint8_t* TextOut(uint8_t* sp) {
  CArgs args(&sp, 8);
  CText* text = Kind<CText>(args);
  const StrHandle line = args.Str();
  if (text) text->TextOut(CStrText(line).view());
  return sp;
}

uint8_t* SetTextHLChar(uint8_t* sp) {
  return IntCall<CText, true, &CText::SetTextHLChar, 2>(sp);
}

// Decorations.

uint8_t* ClearDecoration(uint8_t* sp) {
  CArgs args(&sp, 4);
  if (CDecoration* decoration = Kind<CDecoration>(args)) decoration->Clear();
  return sp;
}

template <bool kTimed>
uint8_t* AddDecoration(uint8_t* sp) {
  CArgs args(&sp, kTimed ? 28 : 16);
  CDecoration* decoration = Kind<CDecoration>(args);
  const int32_t x = args.Int();
  const int32_t y = args.Int();
  const std::string name = args.Text();
  const int32_t mode = kTimed ? args.Int() : CDecoration::kStill;
  const int32_t frames = kTimed ? args.Int() : 0;
  const int32_t delay = kTimed ? args.Int() : 0;
  std::string path;
  if (decoration && CheckScriptPath(name, EFileAccess::kRead, &path))
    Report(decoration->AddPiece(Point(x, y), path, mode, frames, delay));
  return sp;
}

uint8_t* GetDecoration(uint8_t* sp) {
  CArgs args(&sp, 16);
  CDecoration* decoration = Kind<CDecoration>(args);
  const int32_t x = args.Int();
  const int32_t y = args.Int();
  std::string name;
  const bool picked = decoration && decoration->Pick(Point(x, y), &name);
  uint8_t* variable = picked ? Out(args.Addr(), 4) : nullptr;
  if (variable) StoreStr(variable, StrNew(name.c_str()));
  args.Result(picked);
  return sp;
}

uint8_t* SaveDecoration(uint8_t* sp) {
  CArgs args(&sp, 12);
  const CDecoration* decoration = Kind<CDecoration>(args);
  const std::string name = args.Text();
  const bool with_bmp = args.Int() != 0;
  std::string path;
  const bool saved = decoration && CheckScriptPath(name, EFileAccess::kWrite, &path) &&
                     decoration->Save(path.c_str(), with_bmp) == err::kOk;
  args.Result(saved);
  return sp;
}

uint8_t* LoadDecoration(uint8_t* sp) {
  CArgs args(&sp, 12);
  CDecoration* decoration = Kind<CDecoration>(args);
  const std::string name = args.Text();
  const ScriptAddr out = args.Addr();
  std::string path;
  uint32_t count = 0;
  const bool loaded = decoration && CheckScriptPath(name, EFileAccess::kRead, &path) &&
                      decoration->Load(path.c_str(), &count) == err::kOk;
  uint8_t* variable = loaded ? Out(out, 4) : nullptr;
  if (variable) Poke(variable, static_cast<int32_t>(count));
  args.Result(variable != nullptr);
  return sp;
}

// Paintings.

namespace {

template <void (CPaint::*kDo)()>
uint8_t* PaintDo(uint8_t* sp) {
  CArgs args(&sp, 4);
  if (CPaint* paint = Kind<CPaint>(args)) (paint->*kDo)();
  return sp;
}

template <CPaintBoard::ETool kTool>
uint8_t* PaintSelect(uint8_t* sp) {
  CArgs args(&sp, 4);
  if (CPaint* paint = Kind<CPaint>(args)) paint->Select(kTool);
  return sp;
}

template <ErrCode (CPaint::*kSet)(const char*, int)>
uint8_t* PaintSetImageInt(uint8_t* sp) {
  CArgs args(&sp, 12);
  CPaint* paint = Kind<CPaint>(args);
  const std::string name = args.Text();
  const int32_t value = args.Int();
  std::string path;
  if (paint && ReadName(name, &path)) Report((paint->*kSet)(path.c_str(), value));
  return sp;
}

// A picture read (kRead) or the canvas written (kWrite) by file name.
template <EFileAccess kAccess, ErrCode (CPaint::*kUse)(const char*)>
uint8_t* PaintFile(uint8_t* sp) {
  CArgs args(&sp, 8);
  CPaint* paint = Kind<CPaint>(args);
  const std::string name = args.Text();
  std::string path;
  const bool allowed = kAccess == EFileAccess::kRead ? ReadName(name, &path)
                                                      : CheckScriptPath(name, kAccess, &path);
  if (paint && allowed) Report((paint->*kUse)(path.c_str()));
  return sp;
}

}  // namespace

uint8_t* PaintReset(uint8_t* sp) { return PaintDo<&CPaint::Reset>(sp); }
uint8_t* PaintClear(uint8_t* sp) { return PaintDo<&CPaint::Clear>(sp); }
uint8_t* PaintSelectBrush(uint8_t* sp) { return PaintSelect<CPaintBoard::ETool::kBrush>(sp); }
uint8_t* PaintSelectStamp(uint8_t* sp) { return PaintSelect<CPaintBoard::ETool::kStamp>(sp); }
uint8_t* PaintSelectFill(uint8_t* sp) { return PaintSelect<CPaintBoard::ETool::kFill>(sp); }
uint8_t* PaintSelectRubber(uint8_t* sp) { return PaintSelect<CPaintBoard::ETool::kRubber>(sp); }
uint8_t* PaintSetColor(uint8_t* sp) { return IntCall<CPaint, true, &CPaint::SetColor, 1>(sp); }
uint8_t* PaintFill(uint8_t* sp) { return IntCall<CPaint, true, &CPaint::Fill, 1>(sp); }
uint8_t* PaintSetBrush(uint8_t* sp) { return PaintSetImageInt<&CPaint::SetBrush>(sp); }
uint8_t* PaintSetStamp(uint8_t* sp) { return PaintSetImageInt<&CPaint::SetStamp>(sp); }
uint8_t* PaintSetFillPattern(uint8_t* sp) {
  return PaintSetImageInt<&CPaint::SetFillPattern>(sp);
}
uint8_t* PaintSetMap(uint8_t* sp) { return PaintFile<EFileAccess::kRead, &CPaint::SetMap>(sp); }
uint8_t* PaintLoadImage(uint8_t* sp) {
  return PaintFile<EFileAccess::kRead, &CPaint::LoadImage>(sp);
}
uint8_t* PaintSaveImage(uint8_t* sp) {
  return PaintFile<EFileAccess::kWrite, &CPaint::SaveImage>(sp);
}

uint8_t* PaintSetRubber(uint8_t* sp) {
  return IntCall<CPaint, true, &CPaint::SetRubber, 2>(sp);
}

uint8_t* PaintSave(uint8_t* sp) {
  CArgs args(&sp, 4);
  if (CPaint* paint = Kind<CPaint>(args)) Report(paint->Save());
  return sp;
}

#define TV_BOTH_FORMS(name)                 \
  template uint8_t* name<false>(uint8_t*); \
  template uint8_t* name<true>(uint8_t*);
TV_BOTH_FORMS(SetImage)
TV_BOTH_FORMS(SetColumn)
TV_BOTH_FORMS(GetColumn)
TV_BOTH_FORMS(SetFrame)
TV_BOTH_FORMS(PlayAnimation)
TV_BOTH_FORMS(AnimRescale)
TV_BOTH_FORMS(AddDecoration)
#undef TV_BOTH_FORMS
template uint8_t* RecolourObject<false>(uint8_t*);
template uint8_t* RecolourObject<true>(uint8_t*);
template uint8_t* ReplaceColor<false, false>(uint8_t*);
template uint8_t* ReplaceColor<true, false>(uint8_t*);
template uint8_t* ReplaceColor<false, true>(uint8_t*);
template uint8_t* ReplaceColor<true, true>(uint8_t*);

// Pictures of every visual kind.

uint8_t* GetPixel(uint8_t* sp) {
  CArgs args(&sp, 12);
  const CWVisualObject* object = Kind<CWVisualObject>(args);
  const int32_t x = args.Int();
  const int32_t y = args.Int();
  const CBitmap* picture = object ? object->Picture() : nullptr;
  args.Result(picture ? picture->GetPixel(x, y) : -1);
  return sp;
}

uint8_t* SaveBmp(uint8_t* sp) {
  CArgs args(&sp, 8);
  const CWVisualObject* object = Kind<CWVisualObject>(args);
  std::string path;
  if (!CheckScriptPath(args.Text(), EFileAccess::kWrite, &path)) return sp;
  const CBitmap* picture = object ? object->Picture() : nullptr;
  const CWPlaneViewWindow* view = RunningView();
  const CPalette* palette = view && view->Canvas() ? view->Canvas()->Palette() : nullptr;
  if (!picture || !palette) return sp;
  CBitmap shown(*picture);
  shown.SetPalette(std::make_unique<CPalette>(*palette));
  Report(WriteReplacing(path.c_str(), 0, [&](CFile& file) { return WriteBmp(&file, shown, 0); }));
  return sp;
}

}  // namespace bindings
