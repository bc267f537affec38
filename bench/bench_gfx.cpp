// Speed of the graphics core: the compositor on a 640 x 480 canvas with a
// background and 50 keyed 64 x 64 sprites, beside the two physical limits
// of a frame (a memcpy of the canvas, and the palette conversion of the
// whole frame to 32-bit pixels that one present costs); decoding a 640 x 480
// animation of 300 frames; loading a 640 x 480 8-bit BMP; nearest-colour
// queries through the palette's cell table.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "fs/file_service.h"
#include "fs/memory_file.h"
#include "fs/native_fs.h"
#include "gfx/anim.h"
#include "gfx/anim_writer.h"
#include "gfx/blit.h"
#include "gfx/bmp.h"
#include "fs/lzss.h"
#include "frame_yardsticks.h"
#include "gfx/zbuffer.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kSprites = 50;
constexpr int kSpriteSize = 64;

TRect Rect(int x, int y, int w, int h) {
  return TRect{static_cast<int16_t>(x), static_cast<int16_t>(y), static_cast<int16_t>(x + w - 1),
               static_cast<int16_t>(y + h - 1)};
}

std::unique_ptr<CBitmap> Pattern(int width, int height, int seed) {
  auto bitmap = std::make_unique<CBitmap>();
  bitmap->Create(width, height, kPixel8, nullptr, kTopDown, 0);
  CBitmapLock lock(*bitmap);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) lock.View().Row(y)[x] = static_cast<uint8_t>((x ^ y) + seed);
  return bitmap;
}

// A disc of colour `seed` on key colour 0.
std::unique_ptr<CBitmap> Sprite(int seed) {
  auto bitmap = Pattern(kSpriteSize, kSpriteSize, seed);
  CBitmapLock lock(*bitmap);
  for (int y = 0; y < kSpriteSize; ++y)
    for (int x = 0; x < kSpriteSize; ++x) {
      const int dx = x - 32, dy = y - 32;
      if (dx * dx + dy * dy > 30 * 30) lock.View().Row(y)[x] = 0;
    }
  return bitmap;
}

struct SScene {
  std::unique_ptr<CBitmap> canvas = Pattern(kWidth, kHeight, 0);
  std::unique_ptr<CBitmap> background_bitmap = Pattern(kWidth, kHeight, 3);
  std::vector<std::unique_ptr<CBitmap>> sprite_bitmaps;
  CZObj background;
  CZObj sprites[kSprites];
  CZBuffer z;
  std::mt19937 random{5};

  SScene() {
    z.Init(canvas.get());
    background.Place(canvas->GetBounds(), 1);
    background.SetBitmap(background_bitmap.get());
    z.AddObject(&background);
    for (int i = 0; i < kSprites; ++i) {
      sprite_bitmaps.push_back(Sprite(i + 1));
      sprites[i].Place(Rect(random() % (kWidth - kSpriteSize), random() % (kHeight - kSpriteSize),
                            kSpriteSize, kSpriteSize),
                       static_cast<uint8_t>(2 + i));
      sprites[i].SetBitmap(sprite_bitmaps.back().get());
      sprites[i].SetKey(0);
      z.AddObject(&sprites[i]);
    }
    Frame();
  }
  void Frame() {
    z.Update();
    z.Flush([](const TRect&, void*) {}, nullptr);
  }
};

void BM_CompositorMoveOneSprite(benchmark::State& state) {
  SScene scene;
  int i = 0;
  for (auto _ : state) {
    CZObj& sprite = scene.sprites[i++ % kSprites];
    const TRect& r = sprite.Rect();
    const int x = (r.left + 3) % (kWidth - kSpriteSize);
    const int y = (r.top + 2) % (kHeight - kSpriteSize);
    scene.z.MoveObject(&sprite, Rect(x, y, kSpriteSize, kSpriteSize));
    scene.Frame();
  }
  state.counters["tiles/frame"] =
      benchmark::Counter(scene.z.FlushedTileCount(), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CompositorMoveOneSprite);

void BM_CompositorFullRecompose(benchmark::State& state) {
  SScene scene;
  for (auto _ : state) {
    scene.z.InvalidateRect(scene.canvas->GetBounds(), 0);
    scene.Frame();
  }
}
BENCHMARK(BM_CompositorFullRecompose)->Unit(benchmark::kMicrosecond);

BENCHMARK(FrameMemcpyYardstick)->Name("BM_YardstickCanvasMemcpy");
BENCHMARK(FramePaletteTo32BitYardstick)
    ->Name("BM_YardstickPaletteTo32Bit")
    ->Unit(benchmark::kMicrosecond);

// 300 frames: a background with a 64 x 64 block moving across it and a
// small counter area changing every frame.
const std::vector<uint8_t>& AnimationBytes() {
  static const std::vector<uint8_t> bytes = [] {
    std::vector<std::vector<uint8_t>> frames;
    for (int f = 0; f < 300; ++f) {
      std::vector<uint8_t> frame(kWidth * kHeight);
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) frame[y * kWidth + x] = static_cast<uint8_t>(x / 40 + y / 30 * 16);
      const int bx = f * 2 % (kWidth - 64), by = 200 + f % 100;
      for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) frame[(by + y) * kWidth + bx + x] = static_cast<uint8_t>(200 + (x ^ y) % 8);
      for (int x = 0; x < 32; ++x) frame[10 * kWidth + 10 + x] = static_cast<uint8_t>(f + x);
      frames.push_back(std::move(frame));
    }
    CPalette palette;
    palette.SetCount(256);
    CMemoryFile file;
    WriteAnimation(&file, SAnimFormat{kWidth, kHeight, 15, 30}, palette, frames);
    return std::vector<uint8_t>(file.Data().begin(), file.Data().end());
  }();
  return bytes;
}

void BM_AnimationDecode300Frames(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = AnimationBytes();
  for (auto _ : state) {
    CAnimReader reader;
    reader.SetReadLimit(static_cast<uint32_t>(bytes.size()));  // served from memory
    reader.OpenFile(std::make_unique<CMemoryFile>(bytes));
    for (uint32_t f = 0; f < 300; ++f) reader.ShowTime(f);
    benchmark::DoNotOptimize(reader.GetFrameBitmap());
  }
  state.SetItemsProcessed(state.iterations() * 300);
  state.counters["file_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_AnimationDecode300Frames)->Unit(benchmark::kMillisecond);

// A 640 x 480 8-bit picture written to a temporary file, plain or
// compressed, and loaded through the native file system.
class CBmpFile {
 public:
  explicit CBmpFile(bool compressed) {
    MountNativeFileSystem();
    m_path = (std::filesystem::temp_directory_path() /
              (compressed ? "tarvolin-bench-lzss.bmp" : "tarvolin-bench-plain.bmp"))
                 .string();
    auto picture = Pattern(kWidth, kHeight, 9);
    auto palette = std::make_unique<CPalette>();
    palette->SetCount(256);
    picture->SetPalette(std::move(palette));
    m_error = compressed ? SaveBmpLzss(m_path.c_str(), *picture, kBottomUp, kLzssDefaultParameter)
                         : SaveBmp(m_path.c_str(), *picture, kBottomUp);
  }
  ~CBmpFile() {
    std::filesystem::remove(m_path);
    ShutdownFileService();
  }
  const char* Path() const { return m_path.c_str(); }
  ErrCode Error() const { return m_error; }

 private:
  std::string m_path;
  ErrCode m_error;
};

void LoadBmpBenchmark(benchmark::State& state, bool compressed) {
  CBmpFile file(compressed);
  if (file.Error()) {
    state.SkipWithError(ErrName(file.Error()));
    return;
  }
  for (auto _ : state) {
    ErrCode error;
    std::unique_ptr<CBitmap> bitmap = LoadBmp(file.Path(), &error, false);
    CBitmapLock lock(*bitmap);  // compressed pixels decode here
    benchmark::DoNotOptimize(lock.View().origin);
  }
}

void BM_LoadBmp640x480Plain(benchmark::State& state) { LoadBmpBenchmark(state, false); }
BENCHMARK(BM_LoadBmp640x480Plain)->Unit(benchmark::kMicrosecond);

void BM_LoadBmp640x480Lzss(benchmark::State& state) { LoadBmpBenchmark(state, true); }
BENCHMARK(BM_LoadBmp640x480Lzss)->Unit(benchmark::kMicrosecond);

void BM_NearestColourWithCells(benchmark::State& state) {
  std::mt19937 random(3);
  CPalette palette;
  palette.SetCount(256);
  for (uint32_t i = 0; i < 256; ++i)
    palette.SetEntry(i, SPalEntry{static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                                  static_cast<uint8_t>(random()), 0});
  palette.BuildCells();
  std::vector<SPalEntry> queries(4096);
  for (SPalEntry& q : queries)
    q = SPalEntry{static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                  static_cast<uint8_t>(random()), 0};
  size_t i = 0;
  for (auto _ : state) {
    uint32_t index;
    palette.FindNearest(queries[i++ & 4095], &index);
    benchmark::DoNotOptimize(index);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NearestColourWithCells);

}  // namespace

BENCHMARK_MAIN();
