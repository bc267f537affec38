#include "gfx/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "gfx/palette.h"

namespace {

TEST(Bitmap, StridesArePaddedRowsSignedByRowOrder) {
  struct Case {
    uint16_t width, height, type;
    int order;
    int16_t stride;
    uint32_t bytes;
    uint16_t bits;
  };
  const Case cases[] = {
      {640, 480, kPixel8, kBottomUp, -640, 307200, 8},
      {3, 2, kPixel8, kTopDown, 4, 8, 8},
      {3, 2, kPixel555, kTopDown, 8, 16, 16},
      {3, 2, kPixel565, kBottomUp, -8, 16, 16},
      {3, 1, kPixel24, kTopDown, 12, 12, 24},
      {5, 1, kPixel32, kTopDown, 20, 20, 32},
  };
  for (const Case& c : cases) {
    CBitmap bitmap;
    ASSERT_EQ(bitmap.Create(c.width, c.height, c.type, nullptr, c.order, 0), err::kOk);
    EXPECT_EQ(bitmap.Stride(), c.stride) << c.width << " type " << c.type;
    EXPECT_EQ(bitmap.ByteCount(), c.bytes);
    EXPECT_EQ(bitmap.Bits(), c.bits);
  }
  CBitmap bitmap;
  EXPECT_EQ(bitmap.Create(4, 4, 2, nullptr, kTopDown, 0), err::kBmpBadType);
  EXPECT_EQ(bitmap.Create(4, 4, 7, nullptr, kTopDown, 0), err::kBmpBadType);
}

TEST(Bitmap, PixelAddressCountsRowsFromTheTopInBothOrdersUnderALock) {
  CBitmap bitmap;
  ASSERT_EQ(bitmap.Create(3, 2, kPixel8, nullptr, kBottomUp, 0), err::kOk);
  EXPECT_EQ(bitmap.PixelAddress(0, 0), nullptr);
  CHandleLock lock(bitmap.PixelBlock());
  uint8_t* base = lock.as<uint8_t>();
  // Bottom-up: the first stored row is the last one.
  EXPECT_EQ(bitmap.PixelAddress(0, 0), base + 4);
  EXPECT_EQ(bitmap.PixelAddress(2, 1), base + 2);
  ASSERT_EQ(bitmap.SetRowOrder(kTopDown), err::kOk);
  EXPECT_EQ(bitmap.PixelAddress(0, 0), base);
  EXPECT_EQ(bitmap.PixelAddress(1, 1), base + 5);
}

TEST(Bitmap, GetAndSetPixelInEveryDepth) {
  struct Case {
    uint16_t type;
    uint32_t value;
    uint8_t bytes[4];
    int size;
  };
  const Case cases[] = {
      {kPixel8, 0xAB, {0xAB}, 1},
      {kPixel555, 0x7C1F, {0x1F, 0x7C}, 2},
      {kPixel24, 0x332211, {0x11, 0x22, 0x33}, 3},  // blue, green, red
      {kPixel32, 0x12345678, {0x78, 0x56, 0x34, 0x12}, 4},
  };
  for (const Case& c : cases) {
    CBitmap bitmap;
    ASSERT_EQ(bitmap.Create(3, 3, c.type, nullptr, kBottomUp, 0), err::kOk);
    bitmap.SetPixel(1, 2, c.value);
    EXPECT_EQ(bitmap.GetPixel(1, 2), static_cast<int32_t>(c.value));
    CHandleLock lock(bitmap.PixelBlock());
    // Row 2 from the top of a bottom-up bitmap is the first stored row.
    EXPECT_EQ(std::memcmp(lock.as<uint8_t>() + c.size, c.bytes, c.size), 0) << c.type;
    EXPECT_EQ(bitmap.GetPixel(-1, 0), -1);
    EXPECT_EQ(bitmap.GetPixel(3, 0), -1);
    EXPECT_EQ(bitmap.GetPixel(0, 3), -1);
    bitmap.SetPixel(3, 0, 1);  // ignored
  }
}

TEST(Bitmap, SetRowOrderSwapsRowsOnlyWhenTheOrderChanges) {
  CBitmap bitmap;
  ASSERT_EQ(bitmap.Create(1, 3, kPixel8, nullptr, kTopDown, 0), err::kOk);
  for (int y = 0; y < 3; ++y) bitmap.SetPixel(0, y, 10 + y);
  ASSERT_EQ(bitmap.SetRowOrder(kTopDown), err::kOk);
  CHandleLock lock(bitmap.PixelBlock());
  const uint8_t* bytes = lock.as<uint8_t>();
  EXPECT_EQ(bytes[0], 10);
  ASSERT_EQ(bitmap.SetRowOrder(kBottomUp), err::kOk);
  EXPECT_EQ(bitmap.Stride(), -4);
  EXPECT_EQ(bytes[0], 12);
  EXPECT_EQ(bytes[4], 11);
  EXPECT_EQ(bytes[8], 10);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(bitmap.GetPixel(0, y), 10 + y);
}

TEST(Bitmap, Convert555To565MovesRedAndGreenUp) {
  CBitmap bitmap;
  ASSERT_EQ(bitmap.Create(3, 1, kPixel555, nullptr, kTopDown, 0), err::kOk);
  bitmap.SetPixel(0, 0, 0x7FFF);
  bitmap.SetPixel(1, 0, 0x0421);  // 1, 1, 1
  bitmap.SetPixel(2, 0, 0x001F);
  ASSERT_EQ(bitmap.Convert555To565(), err::kOk);
  EXPECT_EQ(bitmap.Type(), kPixel565);
  EXPECT_EQ(bitmap.GetPixel(0, 0), 0xFFDF);
  EXPECT_EQ(bitmap.GetPixel(1, 0), 0x0841);
  EXPECT_EQ(bitmap.GetPixel(2, 0), 0x001F);
  EXPECT_EQ(bitmap.Convert555To565(), err::kBmpBadType);
}

TEST(Bitmap, CopyHasItsOwnPixelsAndPalette) {
  auto palette = std::make_unique<CPalette>();
  ASSERT_EQ(palette->SetCount(2), err::kOk);
  palette->SetEntry(1, SPalEntry{1, 2, 3, 0});
  CBitmap bitmap;
  ASSERT_EQ(bitmap.Create(2, 2, kPixel8, std::move(palette), kBottomUp, 0), err::kOk);
  bitmap.SetPixel(1, 0, 7);
  CBitmap copy(bitmap);
  bitmap.SetPixel(1, 0, 8);
  EXPECT_EQ(copy.GetPixel(1, 0), 7);
  EXPECT_EQ(copy.Stride(), -4);
  ASSERT_NE(copy.Palette(), bitmap.Palette());
  SPalEntry entry;
  ASSERT_EQ(copy.Palette()->GetEntry(1, &entry), err::kOk);
  EXPECT_EQ(entry.red, 3);
}

TEST(Palette, EntryAccessChecksTheIndex) {
  CPalette palette;
  SPalEntry entry;
  EXPECT_EQ(palette.GetEntry(0, &entry), err::kUnknownError);
  EXPECT_EQ(palette.SetEntry(0, entry), err::kUnknownError);
  ASSERT_EQ(palette.SetCount(4), err::kOk);
  EXPECT_EQ(palette.GetEntry(4, &entry), err::kPalBigIndex);
  EXPECT_EQ(palette.SetEntry(3, SPalEntry{9, 8, 7, 0}), err::kOk);
  EXPECT_EQ(palette.GetEntry(3, &entry), err::kOk);
  EXPECT_EQ(entry.blue, 9);
  ASSERT_EQ(palette.SetCount(4), err::kOk);  // unchanged count keeps entries
  EXPECT_EQ(palette.GetEntry(3, &entry), err::kOk);
  EXPECT_EQ(entry.blue, 9);
}

// Eight entries far from the query except 3 and 7, both at distance 10.
CPalette TiePalette() {
  CPalette palette;
  palette.SetCount(8);
  for (uint32_t i = 0; i < 8; ++i) palette.SetEntry(i, SPalEntry{255, 255, 255, 0});
  palette.SetEntry(3, SPalEntry{0, 0, 10, 0});
  palette.SetEntry(7, SPalEntry{0, 0, 30, 0});
  return palette;
}

TEST(Palette, NearestColourTiesGoToTheLowerIndexWithAndWithoutCells) {
  CPalette palette = TiePalette();
  const SPalEntry query{0, 0, 20, 0};
  uint32_t index = 99;
  palette.FindNearest(query, &index);
  EXPECT_EQ(index, 3u);
  ASSERT_EQ(palette.BuildCells(), err::kOk);
  index = 99;
  palette.FindNearest(query, &index);
  EXPECT_EQ(index, 3u);
  // The range search needs strictly better than the bound it is given.
  int distance = 10;
  index = 99;
  palette.FindNearestInRange(query, 0, 7, &index, &distance);
  EXPECT_EQ(index, 99u);
  distance = 11;
  palette.FindNearestInRange(query, 4, 7, &index, &distance);
  EXPECT_EQ(index, 7u);
  EXPECT_EQ(distance, 10);
}

TEST(Palette, DistanceIsTheLargestChannelDifference) {
  EXPECT_EQ(CPalette::Distance(SPalEntry{10, 20, 30, 0}, SPalEntry{15, 5, 31, 99}), 15);
  EXPECT_EQ(CPalette::CellOf(SPalEntry{255, 0, 0, 0}), 7);
  EXPECT_EQ(CPalette::CellOf(SPalEntry{0, 32, 0, 0}), 8);
  EXPECT_EQ(CPalette::CellOf(SPalEntry{0, 0, 64, 0}), 128);
}

TEST(Palette, CellSearchAgreesWithTheFullSearch) {
  std::mt19937 random(7);
  for (int round = 0; round < 4; ++round) {
    CPalette palette;
    const uint32_t count = round == 0 ? 1 : 16 << round;
    palette.SetCount(count);
    for (uint32_t i = 0; i < count; ++i)
      palette.SetEntry(i, SPalEntry{static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                                    static_cast<uint8_t>(random()), 0});
    CPalette cells(palette);
    ASSERT_EQ(cells.BuildCells(), err::kOk);
    for (int q = 0; q < 3000; ++q) {
      const SPalEntry colour{static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                             static_cast<uint8_t>(random()), 0};
      uint32_t full = 0, fast = 0;
      palette.FindNearest(colour, &full);
      cells.FindNearest(colour, &fast);
      ASSERT_EQ(fast, full) << "round " << round;
    }
  }
}

TEST(Palette, DerivedTablesFollowTheEntries) {
  CPalette palette;
  palette.SetCount(3);
  palette.SetEntry(0, SPalEntry{0, 0, 0, 0});
  palette.SetEntry(1, SPalEntry{255, 255, 255, 0});
  palette.SetEntry(2, SPalEntry{0, 0, 255, 0});  // red
  ASSERT_EQ(palette.BuildLookup15(), err::kOk);
  EXPECT_EQ(palette.Lookup15()[0x7FFF], 1);
  EXPECT_EQ(palette.Lookup15()[0x7C00], 2);  // 5-5-5 red
  EXPECT_EQ(palette.Lookup15()[0x0001], 0);
  ASSERT_EQ(palette.Build16BitTable(), err::kOk);
  EXPECT_EQ(palette.Table16()[1], 0xFFFF);
  EXPECT_EQ(palette.Table16()[2], 0xF800);
  palette.SetCount(4);
  EXPECT_EQ(palette.Lookup15(), nullptr);
  EXPECT_EQ(palette.Table16(), nullptr);
}

}  // namespace
