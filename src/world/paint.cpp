#include "world/paint.h"

#include <string>

#include "base/log.h"
#include "fs/replace.h"
#include "gfx/bmp.h"
#include "ui/event.h"
#include "world/view.h"
#include "world/world.h"

std::unique_ptr<CWObject> CPaint::Load(CWorld* world, StoreHandle own, StoreHandle template_handle,
                                       ErrCode*) {
  auto paint = std::make_unique<CPaint>(world, own, template_handle);
  if (!paint->MakeCanvas()) return nullptr;
  return paint;
}

CPaint::CPaint(CWorld* world, StoreHandle own, StoreHandle template_handle)
    : CWHotSpot(world, own, template_handle) {}

bool CPaint::MakeCanvas() {
  const char* name = GetString("ImageName");
  ErrCode error = err::kOk;
  std::unique_ptr<CBitmap> image = NamedPicture(name, &error);
  if (error) {
    LogMessage(kLogWarning, "%s: %s\n", name, ErrName(error));
    return false;
  }
  const TRect pos = GetRect("Pos");
  const int width = image ? image->Width() : pos.right - pos.left + 1;
  const int height = image ? image->Height() : pos.bottom - pos.top + 1;
  const uint8_t blank = Blank(image.get());
  std::unique_ptr<CBitmap> canvas = CPaintBoard::NewCanvas(width, height, blank, image.get());
  if (!canvas) {
    LogMessage(kLogWarning, "Pos %d x %d: %s\n", width, height, ErrName(err::kInvalidValue));
    return false;
  }
  const int32_t colour = GetLong("SColor");
  m_board.Attach(canvas.get(), blank, CPaintBoard::IsColour(colour) ? static_cast<uint8_t>(colour) : 0);
  const int32_t key = KeyOf(*canvas);
  ShowPicture(std::move(canvas), key);
  return true;
}

uint8_t CPaint::Blank(const CBitmap* image) const {
  bool missing = false;
  int32_t colour = GetLong("TColor", &missing);
  if (!missing && image) colour = KeyOf(*image);
  return CPaintBoard::IsColour(colour) ? static_cast<uint8_t>(colour) : 0;
}

bool CPaint::HitTest(TPoint point) const { return Region().Contains(point); }

TPoint CPaint::Local(TPoint point) const {
  return {static_cast<int16_t>(point.x - Pos().left), static_cast<int16_t>(point.y - Pos().top)};
}

void CPaint::OnMouse(uint32_t code, TPoint point) {
  if (code == kEvMouseMove) return PictureChanged(m_board.Drag(Local(point)));
  if (code == kEvLeftUp || code == kCaptureLost) m_board.Release();
  // The handler may take the object away.
  CWorld& world = World();
  const uint32_t serial = Serial();
  CWHotSpot::OnMouse(code, point);
  if (code != kEvLeftDown || !world.Find(serial) || !IsActive() || !AtModalLevel()) return;
  if (CWPlaneViewWindow* view = world.CurrentView()) view->SetCapture(this);
  PictureChanged(m_board.Press(Local(point)));
}

std::unique_ptr<CBitmap> CPaint::NamedPicture(const char* image, ErrCode* error) const {
  *error = err::kOk;
  if (!image || !*image) return nullptr;
  std::unique_ptr<CBitmap> picture = World().LoadPicture(image);
  if (!picture || !CPaintBoard::Fits(*picture)) {
    *error = err::kInvalidValue;
    return nullptr;
  }
  return picture;
}

template <class Use>
ErrCode CPaint::WithPicture(const char* image, Use use) {
  ErrCode error = err::kOk;
  std::unique_ptr<CBitmap> picture = NamedPicture(image, &error);
  return error ? error : use(picture.get());
}

ErrCode CPaint::SetBrush(const char* image, int n) {
  return WithPicture(image, [&](const CBitmap* picture) { return m_board.SetBrush(picture, n); });
}

ErrCode CPaint::SetStamp(const char* image, int key) {
  return WithPicture(image, [&](const CBitmap* picture) {
    return picture ? m_board.SetStamp(*picture, key) : err::kInvalidValue;
  });
}

ErrCode CPaint::SetFillPattern(const char* image, int key) {
  return WithPicture(image,
                     [&](const CBitmap* picture) { return m_board.SetFillPattern(picture, key); });
}

ErrCode CPaint::SetRubber(int diameter, int mode) { return m_board.SetRubber(diameter, mode); }

ErrCode CPaint::SetMap(const char* image) {
  return WithPicture(image, [&](const CBitmap* picture) { return m_board.SetMap(picture); });
}

ErrCode CPaint::SetColor(int colour) {
  if (ErrCode error = m_board.SetColor(colour)) return error;
  return SetLong("SColor", colour);
}

ErrCode CPaint::Fill(int colour) {
  if (ErrCode error = m_board.Fill(colour)) return error;
  PictureChanged();
  return err::kOk;
}

void CPaint::Clear() {
  m_board.Clear();
  PictureChanged();
}

void CPaint::Reset() {
  m_board.Reset();
  PictureChanged();
}

ErrCode CPaint::LoadImage(const char* image) {
  return WithPicture(image, [&](const CBitmap* picture) {
    if (!picture) return err::kInvalidValue;
    if (ErrCode error = m_board.LoadImage(*picture)) return error;
    PictureChanged();
    return err::kOk;
  });
}

ErrCode CPaint::Save() { return SaveImage(("/out/" + Name() + ".bmp").c_str()); }

ErrCode CPaint::SaveImage(const char* path) {
  if (!Picture()) return err::kInvalidValue;
  CBitmap copy(*Picture());
  const CWPlaneViewWindow* view = World().CurrentView();
  const CBitmap* screen = view ? view->Canvas() : nullptr;
  if (screen && screen->Palette()) copy.SetPalette(std::make_unique<CPalette>(*screen->Palette()));
  return WriteReplacing(path, 0, [&copy](CFile& file) { return WriteBmp(&file, copy, kBottomUp); });
}
