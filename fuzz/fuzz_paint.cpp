// Reads the bytes as paint tool calls, presses and drags on a fixed 30 x 20
// canvas, then checks that nothing was written past the canvas's rows and
// that every pixel holds a colour that was in play: the pictures' and the
// colours the calls accepted, never the map's.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "world/paint_board.h"

namespace {

constexpr int kWidth = 30, kHeight = 20;  // rows of 32 bytes: two of padding
constexpr uint8_t kBlank = 5, kColour = 9;

std::unique_ptr<CBitmap> Picture(int width, int height, int base) {
  auto picture = std::make_unique<CBitmap>();
  picture->Create(static_cast<uint16_t>(width), static_cast<uint16_t>(height), kPixel8, nullptr,
                  kTopDown, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) picture->SetPixel(x, y, base + (x * 7 + y * 3) % 5);
  return picture;
}

struct SPictures {
  // Colours 20-24, 30-34, 40-44, 50-54 and 60-64; the maps 200-204.
  std::unique_ptr<CBitmap> original = Picture(kWidth, kHeight, 20);
  std::array<std::unique_ptr<CBitmap>, 4> tools = {Picture(5, 4, 30), Picture(3, 3, 40),
                                                   Picture(4, 3, 50), Picture(7, 33, 60)};
  std::unique_ptr<CBitmap> map = Picture(kWidth, kHeight, 200);
  std::unique_ptr<CBitmap> wrong_map = Picture(kWidth - 1, kHeight, 200);
};

class CBytes {
 public:
  CBytes(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  bool More() const { return m_at < m_size; }
  uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
  int Short() { return static_cast<int16_t>(Byte() | Byte() << 8); }
  TPoint Point() { return {static_cast<int16_t>(Short()), static_cast<int16_t>(Short())}; }
  // Near the canvas, where most strokes go.
  TPoint NearPoint() {
    return {static_cast<int16_t>(Byte() % 64 - 16), static_cast<int16_t>(Byte() % 48 - 14)};
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_at = 0;
};

void Run(CPaintBoard& board, const SPictures& pictures, CBytes& in, std::array<bool, 256>& in_play) {
  const auto tool = [&] { return pictures.tools[in.Byte() % 4].get(); };
  const auto accepted = [&](ErrCode error, int colour) {
    if (!error) in_play[colour & 0xFF] = true;
  };
  switch (in.Byte() % 16) {
    case 0: board.SetBrush(nullptr, static_cast<int8_t>(in.Byte())); break;
    case 1: board.SetBrush(tool(), in.Short()); break;
    case 2: board.SetStamp(*tool(), in.Short()); break;
    case 3: board.SetFillPattern(in.Byte() % 2 ? tool() : nullptr, in.Short()); break;
    case 4: board.SetRubber(static_cast<int8_t>(in.Byte()), in.Byte() % 4); break;
    case 5: {
      const CBitmap* maps[] = {nullptr, pictures.map.get(), pictures.wrong_map.get()};
      board.SetMap(maps[in.Byte() % 3]);
      break;
    }
    case 6: {
      const int colour = in.Short();
      accepted(board.SetColor(colour), colour);
      break;
    }
    case 7: board.Select(static_cast<CPaintBoard::ETool>(in.Byte() % 4)); break;
    case 8: board.Press(in.Byte() % 4 ? in.NearPoint() : in.Point()); break;
    case 9: board.Drag(in.Point()); break;
    case 10: board.Release(); break;
    case 11: {
      const int colour = in.Short();
      accepted(board.Fill(colour), colour);
      break;
    }
    case 12: board.Clear(); break;
    case 13: board.Reset(); break;
    case 14: board.LoadImage(*tool()); break;
    default: board.Drag(in.NearPoint()); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const SPictures pictures;
  std::array<bool, 256> in_play{};
  for (int base : {20, 30, 40, 50, 60})
    for (int i = 0; i < 5; ++i) in_play[base + i] = true;
  in_play[kBlank] = in_play[kColour] = true;
  std::unique_ptr<CBitmap> canvas =
      CPaintBoard::NewCanvas(kWidth, kHeight, kBlank, pictures.original.get());
  if (!canvas) std::abort();
  CPaintBoard board;
  board.Attach(canvas.get(), kBlank, kColour);
  CBytes in(data, size);
  for (int calls = 0; in.More() && calls < 400; ++calls) Run(board, pictures, in, in_play);
  CBitmapLock lock(*canvas);
  const SPixelView& view = lock.View();
  if (!lock || view.width != kWidth || view.height != kHeight) std::abort();
  for (int y = 0; y < kHeight; ++y) {
    const uint8_t* row = view.Row(y);
    if (row[kWidth] != 0 || row[kWidth + 1] != 0) std::abort();
    for (int x = 0; x < kWidth; ++x)
      if (!in_play[row[x]]) std::abort();
  }
  return 0;
}
