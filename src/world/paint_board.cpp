#include "world/paint_board.h"

#include "gfx/blit.h"

namespace {

constexpr TRect kNothing{1, 1, 0, 0};
constexpr TRect kEverywhere{-32768, -32768, 32767, 32767};

bool IsDiameter(int value) { return value >= 1 && value <= CPaintBoard::kMaxDiameter; }

// The dabs of `picture` without its `key` pixels; false when it is no
// usable picture.
bool DabsOf(const CBitmap& picture, int key, DabList* dabs) {
  CPixels pixels;
  if (!CPaintBoard::Fits(picture) || !pixels.CopyFrom(picture)) return false;
  *dabs = PictureDabs(pixels.View(), static_cast<uint32_t>(key));
  return true;
}

// Fills `canvas` with `blank` and copies `image` (if any) to its top-left.
void Cover(const SPixelView& canvas, uint8_t blank, const CBitmap* image) {
  const TRect all{0, 0, static_cast<int16_t>(canvas.width - 1), static_cast<int16_t>(canvas.height - 1)};
  Fill(canvas, all, blank);
  if (!image) return;
  CBitmapLock source(*image);
  if (source) Blit8(canvas, 0, 0, source.View(), image->GetBounds(), kNoKey, all);
}

}  // namespace

bool CPaintBoard::Fits(const CBitmap& picture) {
  return picture.Bits() == 8 && picture.Width() <= kMaxSide && picture.Height() <= kMaxSide;
}

bool CPixels::CopyFrom(const CBitmap& picture) {
  if (picture.Bits() != 8) return false;
  CBitmapLock lock(picture);
  if (!lock) return false;
  m_width = picture.Width();
  m_height = picture.Height();
  m_bytes.assign(static_cast<size_t>(m_width) * m_height, 0);
  Blit8(View(), 0, 0, lock.View(), picture.GetBounds(), kNoKey, kEverywhere);
  return true;
}

std::unique_ptr<CBitmap> CPaintBoard::NewCanvas(int width, int height, uint8_t blank,
                                                const CBitmap* image) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide || (image && !Fits(*image)))
    return nullptr;
  auto canvas = std::make_unique<CBitmap>();
  std::unique_ptr<CPalette> palette;
  if (image && image->Palette()) palette = std::make_unique<CPalette>(*image->Palette());
  if (canvas->Create(static_cast<uint16_t>(width), static_cast<uint16_t>(height), kPixel8,
                     std::move(palette), kTopDown, 0) != err::kOk)
    return nullptr;
  CBitmapLock lock(*canvas);
  if (!lock) return nullptr;
  Cover(lock.View(), blank, image);
  return canvas;
}

void CPaintBoard::Attach(CBitmap* canvas, uint8_t blank, uint8_t colour) {
  m_canvas = canvas;
  m_original.CopyFrom(*canvas);
  m_blank = blank;
  m_colour = colour;
  m_map = CPixels();
  ResetTools();
}

void CPaintBoard::ResetTools() {
  m_tool = ETool::kBrush;
  m_brush = RoundDabs(kDefaultDiameter);
  m_stamp.clear();
  m_pattern = CPixels();
  m_rubber = RoundDabs(kDefaultDiameter);
  m_rubber_mode = kRubberRestores;
  m_pressed = false;
}

ErrCode CPaintBoard::SetBrush(const CBitmap* image, int n) {
  if (!image) {
    if (!IsDiameter(n)) return err::kInvalidValue;
    m_brush = RoundDabs(n);
    return err::kOk;
  }
  return DabsOf(*image, n, &m_brush) ? err::kOk : err::kInvalidValue;
}

ErrCode CPaintBoard::SetStamp(const CBitmap& image, int key) {
  return DabsOf(image, key, &m_stamp) ? err::kOk : err::kInvalidValue;
}

ErrCode CPaintBoard::SetFillPattern(const CBitmap* image, int key) {
  CPixels pattern;
  if (image && (!Fits(*image) || !pattern.CopyFrom(*image))) return err::kInvalidValue;
  m_pattern = std::move(pattern);
  m_pattern_key = static_cast<uint32_t>(key);
  return err::kOk;
}

ErrCode CPaintBoard::SetRubber(int diameter, int mode) {
  if (!IsDiameter(diameter) || (mode != kRubberRestores && mode != kRubberBlanks))
    return err::kInvalidValue;
  m_rubber = RoundDabs(diameter);
  m_rubber_mode = mode;
  return err::kOk;
}

ErrCode CPaintBoard::SetMap(const CBitmap* map) {
  CPixels pixels;
  if (map && (!m_canvas || map->Width() != m_canvas->Width() ||
              map->Height() != m_canvas->Height() || !pixels.CopyFrom(*map)))
    return err::kInvalidValue;
  m_map = std::move(pixels);
  return err::kOk;
}

ErrCode CPaintBoard::SetColor(int colour) {
  if (!IsColour(colour)) return err::kInvalidValue;
  m_colour = static_cast<uint8_t>(colour);
  return err::kOk;
}

SPaintArea CPaintBoard::Area() {
  if (m_map.Empty()) return {};
  return {m_map.View(), m_region};
}

const DabList& CPaintBoard::StrokeDabList() const {
  return m_tool == ETool::kRubber ? m_rubber : m_brush;
}

SInk CPaintBoard::StrokeInk() {
  if (m_tool == ETool::kBrush) return {.colour = m_colour};
  if (m_rubber_mode == kRubberBlanks) return {.colour = m_blank};
  // The original has the canvas's size: tiled from the origin it is itself.
  return {.tile = m_original.View()};
}

void CPaintBoard::Select(ETool tool) {
  m_tool = tool;
  m_pressed = false;
}

TRect CPaintBoard::Press(TPoint point) {
  m_pressed = false;
  if (!m_canvas) return kNothing;
  SPixelView map = m_map.View();
  m_region = AreaAt(m_map.Empty() ? nullptr : &map, point).region;
  CBitmapLock lock(*m_canvas);
  if (!lock) return kNothing;
  const SPaintArea area = Area();
  switch (m_tool) {
    case ETool::kStamp:
      return PutDabs(lock.View(), area, point, m_stamp, {.own = true});
    case ETool::kFill:
      return FloodFill(lock.View(), area, point,
                       {.colour = m_colour, .tile = m_pattern.View(), .key = m_pattern_key});
    case ETool::kBrush:
    case ETool::kRubber:
      break;
  }
  m_pressed = true;
  m_last = point;
  return PutDabs(lock.View(), area, point, StrokeDabList(), StrokeInk());
}

TRect CPaintBoard::Drag(TPoint point) {
  if (!m_pressed || !m_canvas) return kNothing;
  CBitmapLock lock(*m_canvas);
  if (!lock) return kNothing;
  const TRect changed = StrokeDabs(lock.View(), Area(), m_last, point, StrokeDabList(), StrokeInk());
  m_last = point;
  return changed;
}

ErrCode CPaintBoard::Fill(int colour) {
  if (!IsColour(colour) || !m_canvas) return err::kInvalidValue;
  CBitmapLock lock(*m_canvas);
  if (!lock) return err::kAllocFail;
  ::Fill(lock.View(), m_canvas->GetBounds(), static_cast<uint8_t>(colour));
  return err::kOk;
}

void CPaintBoard::Clear() {
  if (!m_canvas) return;
  CBitmapLock lock(*m_canvas);
  if (lock) Blit8(lock.View(), 0, 0, m_original.View(), m_canvas->GetBounds(), kNoKey, kEverywhere);
}

void CPaintBoard::Reset() {
  ResetTools();
  Clear();
}

ErrCode CPaintBoard::LoadImage(const CBitmap& image) {
  if (!m_canvas || !Fits(image)) return err::kInvalidValue;
  CBitmapLock lock(*m_canvas);
  if (!lock) return err::kAllocFail;
  Cover(lock.View(), m_blank, &image);
  return err::kOk;
}
