#include "gfx/zbuffer.h"

#include <gtest/gtest.h>

#include <vector>

#include "gfx/blit.h"

// Found by argument lookup from the test macros.
bool operator==(const TRect& a, const TRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::ostream& operator<<(std::ostream& out, const TRect& r) {
  return out << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}

namespace {

TRect R(int l, int t, int r, int b) {
  return TRect{static_cast<int16_t>(l), static_cast<int16_t>(t), static_cast<int16_t>(r),
               static_cast<int16_t>(b)};
}

// A tile rectangle in canvas pixels.
TRect Tiles(int x0, int y0, int x1, int y1) {
  return R(x0 * 16, y0 * 16, x1 * 16 + 15, y1 * 16 + 15);
}

std::unique_ptr<CBitmap> Solid(int width, int height, uint8_t colour) {
  auto bitmap = std::make_unique<CBitmap>();
  EXPECT_EQ(bitmap->Create(width, height, kPixel8, nullptr, kTopDown, 0), err::kOk);
  CBitmapLock lock(*bitmap);
  Fill(lock.View(), bitmap->GetBounds(), colour);
  return bitmap;
}

class ZBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_canvas = Solid(640, 480, 0);
    ASSERT_EQ(m_z.Init(m_canvas.get()), err::kOk);
    m_background_bitmap = Solid(640, 480, 1);
    m_background.Place(m_canvas->GetBounds(), 1);
    m_background.SetBitmap(m_background_bitmap.get());
    ASSERT_EQ(m_z.AddObject(&m_background), err::kOk);
  }

  std::vector<TRect> Flushed() {
    m_rects.clear();
    m_z.Update();
    m_z.Flush([](const TRect& r, void* self) { static_cast<ZBufferTest*>(self)->m_rects.push_back(r); },
              this);
    return m_rects;
  }

  int Pixel(int x, int y) { return m_canvas->GetPixel(x, y); }

  std::unique_ptr<CBitmap> m_canvas;
  std::unique_ptr<CBitmap> m_background_bitmap;
  CZObj m_background;
  CZBuffer m_z;
  std::vector<TRect> m_rects;
};

TEST_F(ZBufferTest, FlushMergesShownTilesAsTheGrowthRulesSay) {
  EXPECT_EQ(m_z.Columns(), 40);
  EXPECT_EQ(m_z.Rows(), 30);
  // All 40 x 30 tiles: a 30 x 30 square, then squares of the last 10 columns.
  EXPECT_EQ(Flushed(), (std::vector<TRect>{Tiles(0, 0, 29, 29), Tiles(30, 0, 39, 9),
                                          Tiles(30, 10, 39, 19), Tiles(30, 20, 39, 29)}));
  EXPECT_EQ(m_z.RectCount(), 4u);
  EXPECT_EQ(m_z.FlushedTileCount(), 1200u);

  struct Case {
    const char* what;
    TRect invalid;
    std::vector<TRect> rects;
  };
  const Case cases[] = {
      {"single tile", Tiles(3, 4, 3, 4), {Tiles(3, 4, 3, 4)}},
      {"3 x 3 from a pixel rectangle", R(40, 40, 70, 70), {Tiles(2, 2, 4, 4)}},
      {"2 x 2", Tiles(2, 2, 3, 3), {Tiles(2, 2, 3, 3)}},
      {"lone row of five",
       Tiles(5, 10, 9, 10),
       {Tiles(5, 10, 5, 10), Tiles(6, 10, 6, 10), Tiles(7, 10, 7, 10), Tiles(8, 10, 8, 10),
        Tiles(9, 10, 9, 10)}},
      {"row of five at the top", Tiles(0, 0, 4, 0),
       {Tiles(0, 0, 0, 0), Tiles(1, 0, 1, 0), Tiles(2, 0, 2, 0), Tiles(3, 0, 3, 0),
        Tiles(4, 0, 4, 0)}},
      {"column of three", Tiles(7, 3, 7, 5),
       {Tiles(7, 3, 7, 3), Tiles(7, 4, 7, 4), Tiles(7, 5, 7, 5)}},
      // 3 wide, 2 high: the square of 2 cannot widen (the tile above the
      // third column is not shown), so the third column follows alone.
      {"3 x 2", Tiles(0, 5, 2, 6), {Tiles(0, 5, 1, 6), Tiles(2, 5, 2, 5), Tiles(2, 6, 2, 6)}},
      {"edge tiles", R(639, 479, 639, 479), {Tiles(39, 29, 39, 29)}},
  };
  for (const Case& c : cases) {
    m_z.InvalidateRect(c.invalid, 0);
    EXPECT_EQ(Flushed(), c.rects) << c.what;
  }
  EXPECT_EQ(Flushed(), std::vector<TRect>{});
}

TEST_F(ZBufferTest, RepaintsTouchOnlyInvalidatedTiles) {
  Flushed();
  const uint32_t before = m_z.RepaintCount();
  auto sprite_bitmap = Solid(16, 16, 2);
  CZObj sprite;
  sprite.Place(Tiles(1, 1, 1, 1), 5);
  sprite.SetBitmap(sprite_bitmap.get());
  ASSERT_EQ(m_z.AddObject(&sprite), err::kOk);
  Flushed();
  EXPECT_EQ(m_z.RepaintCount(), before + 1);
  EXPECT_EQ(Pixel(16, 16), 2);
  ASSERT_EQ(m_z.MoveObject(&sprite, R(40, 16, 55, 31)), err::kOk);  // tiles 2 and 3
  EXPECT_EQ(Flushed(), (std::vector<TRect>{Tiles(1, 1, 1, 1), Tiles(2, 1, 2, 1),
                                          Tiles(3, 1, 3, 1)}));
  EXPECT_EQ(m_z.RepaintCount(), before + 4);
  EXPECT_EQ(Pixel(16, 16), 1);
  EXPECT_EQ(Pixel(39, 20), 1);
  EXPECT_EQ(Pixel(40, 20), 2);
  EXPECT_EQ(Pixel(55, 31), 2);
  EXPECT_EQ(Pixel(56, 31), 1);
  ASSERT_EQ(m_z.MoveObject(&sprite, R(40, 16, 55, 31)), err::kOk);  // unchanged
  EXPECT_FALSE(m_z.Update());
  m_z.RemoveObject(&sprite);
}

TEST_F(ZBufferTest, RemovingAnOpaqueObjectRepaintsTheLowerOneOnlyWhereItWas) {
  auto sprite_bitmap = Solid(32, 32, 2);
  CZObj sprite;
  sprite.Place(R(20, 20, 51, 51), 9);  // tiles 1-3 in both directions
  sprite.SetBitmap(sprite_bitmap.get());
  ASSERT_EQ(m_z.AddObject(&sprite), err::kOk);
  Flushed();
  EXPECT_EQ(Pixel(30, 30), 2);
  EXPECT_EQ(Pixel(19, 30), 1);
  const uint32_t before = m_z.RepaintCount();
  m_z.RemoveObject(&sprite);
  EXPECT_EQ(Flushed(), std::vector<TRect>{Tiles(1, 1, 3, 3)});
  EXPECT_EQ(m_z.RepaintCount(), before + 9);
  EXPECT_EQ(Pixel(30, 30), 1);
  EXPECT_EQ(Pixel(51, 51), 1);
}

TEST_F(ZBufferTest, KeysEqualZAndZChangesDecideWhatIsOnTop) {
  auto keyed_bitmap = Solid(16, 16, 7);
  CZObj keyed;
  keyed.Place(Tiles(0, 0, 0, 0), 10);
  keyed.SetBitmap(keyed_bitmap.get());
  keyed.SetKey(7);  // all key pixels
  ASSERT_EQ(m_z.AddObject(&keyed), err::kOk);
  auto a_bitmap = Solid(16, 16, 3);
  auto b_bitmap = Solid(16, 16, 4);
  CZObj a, b;
  a.Place(Tiles(1, 0, 1, 0), 5);
  b.Place(Tiles(1, 0, 1, 0), 5);
  a.SetBitmap(a_bitmap.get());
  b.SetBitmap(b_bitmap.get());
  ASSERT_EQ(m_z.AddObject(&a), err::kOk);
  ASSERT_EQ(m_z.AddObject(&b), err::kOk);
  Flushed();
  EXPECT_EQ(Pixel(5, 5), 1);    // the background shows through the key
  EXPECT_EQ(Pixel(20, 5), 4);   // b came later at the same z
  ASSERT_EQ(m_z.SetObjectZ(&a, 6), err::kOk);
  Flushed();
  EXPECT_EQ(Pixel(20, 5), 3);
  // The list of all objects stays sorted by z, highest first.
  EXPECT_EQ(m_z.FirstObject(), &keyed);
  b.SetDrawState(false);
  ASSERT_EQ(m_z.SetObjectZ(&a, 1), err::kOk);
  Flushed();
  EXPECT_EQ(Pixel(20, 5), 3);  // equal z with the background, and a came later
  for (CZObj* o : {&keyed, &a, &b}) m_z.RemoveObject(o);
}

TEST_F(ZBufferTest, AnObjectWhoseBitmapIsSmallerThanItsRectangleLeavesTheRestToLowerOnes) {
  auto small_bitmap = Solid(8, 8, 5);
  CZObj top;
  top.Place(Tiles(0, 0, 0, 0), 9);  // 16 x 16 rectangle, 8 x 8 pixels
  top.SetBitmap(small_bitmap.get());
  ASSERT_EQ(m_z.AddObject(&top), err::kOk);
  Flushed();
  EXPECT_EQ(Pixel(7, 7), 5);
  EXPECT_EQ(Pixel(8, 8), 1);  // the background below
  m_z.RemoveObject(&top);
}

TEST(ZBuffer, TilesWithoutObjectsAreNeitherRepaintedNorShown) {
  auto canvas = Solid(40, 20, 9);  // 3 x 2 tiles, the last ones partial
  CZBuffer z;
  ASSERT_EQ(z.Init(canvas.get()), err::kOk);
  EXPECT_EQ(z.Columns(), 3);
  EXPECT_EQ(z.Rows(), 2);
  auto small = Solid(4, 4, 2);
  CZObj object;
  object.Place(R(36, 16, 45, 25), 3);  // reaches past the canvas
  object.SetBitmap(small.get());
  ASSERT_EQ(z.AddObject(&object), err::kOk);
  z.InvalidateRect(R(0, 0, 39, 19), 0);
  EXPECT_TRUE(z.Update());
  EXPECT_EQ(z.RepaintCount(), 1u);
  EXPECT_EQ(z.TileState(0, 0) & CZBuffer::kRecompose, CZBuffer::kRecompose);
  EXPECT_EQ(z.TileState(2, 1) & 3, CZBuffer::kShow);
  EXPECT_EQ(canvas->GetPixel(36, 16), 2);
  EXPECT_EQ(canvas->GetPixel(39, 19), 2);
  EXPECT_EQ(canvas->GetPixel(35, 16), 9);  // no object: the old pixel stays
  TRect flushed{};
  z.Flush([](const TRect& r, void* out) { *static_cast<TRect*>(out) = r; }, &flushed);
  EXPECT_EQ(flushed, Tiles(2, 1, 2, 1));
  z.RemoveObject(&object);
}

TEST(ZBuffer, InitWantsAnEightBitCanvasWithAFullPalette) {
  CZBuffer z;
  CBitmap wide;
  ASSERT_EQ(wide.Create(32, 32, kPixel565, nullptr, kTopDown, 0), err::kOk);
  EXPECT_EQ(z.Init(&wide), err::kBadParams);
  auto palette = std::make_unique<CPalette>();
  palette->SetCount(16);
  CBitmap small_palette;
  ASSERT_EQ(small_palette.Create(32, 32, kPixel8, std::move(palette), kTopDown, 0), err::kOk);
  EXPECT_EQ(z.Init(&small_palette), err::kBadParams);
  small_palette.Palette()->SetCount(256);
  EXPECT_EQ(z.Init(&small_palette), err::kOk);
}

}  // namespace
