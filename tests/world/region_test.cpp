// Hit regions: the "Polygon" text, the rectangle and the crossing test.
#include "world/region.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr TRect kNoPos{0, 0, -1, -1};
constexpr const char* kTriangle = "10,10;50,10;30,40";

struct SHit {
  TPoint point;
  bool hit;
};

void ExpectHits(const CRegion& region, std::initializer_list<SHit> hits) {
  for (const SHit& h : hits)
    EXPECT_EQ(region.Contains(h.point), h.hit) << h.point.x << "," << h.point.y;
}

TEST(RegionTest, WithoutPolygonTheInclusiveRectangleDecides) {
  ExpectHits(CRegion({10, 20, 30, 40}, ""), {{{10, 20}, true},
                                             {{30, 40}, true},
                                             {{31, 40}, false},
                                             {{30, 41}, false},
                                             {{9, 30}, false},
                                             {{20, 19}, false}});
  ExpectHits(CRegion(kNoPos, ""), {{{0, 0}, false}, {{-1, -1}, false}});
}

TEST(RegionTest, TriangleHitsInsideAndMissesTheRestOfItsRectangle) {
  const CRegion region({20, 20, 25, 25}, kTriangle);
  ASSERT_TRUE(region.HasPolygon());
  EXPECT_EQ(region.Bounds().left, 10);
  EXPECT_EQ(region.Bounds().top, 10);
  EXPECT_EQ(region.Bounds().right, 50);
  EXPECT_EQ(region.Bounds().bottom, 40);
  ASSERT_TRUE(RectContains(region.Bounds(), {12, 35}));
  ExpectHits(region, {{{30, 20}, true}, {{12, 35}, false}, {{22, 22}, true}});
}

// The side test counts a zero cross product as the positive side, so on the
// outline the order of the points decides.
TEST(RegionTest, EdgesAndVerticesFollowTheSideRule) {
  ExpectHits(CRegion(kNoPos, kTriangle), {{{30, 10}, true},  // on the top edge
                                          {{20, 25}, true},  // on the left edge
                                          {{40, 25}, true},  // on the right edge
                                          {{10, 10}, true},
                                          {{50, 10}, false},
                                          {{30, 40}, true}});
  ExpectHits(CRegion(kNoPos, "30,40;50,10;10,10"), {{{30, 10}, false}, {{30, 20}, true}});
}

TEST(RegionTest, HorizontalEdgesAndRaysThroughAVertex) {
  // (20, 20) is seen from the origin through the corner (10, 10).
  ExpectHits(CRegion(kNoPos, "10,10;40,10;40,40;10,40"),
             {{{25, 10}, true}, {{25, 40}, true}, {{20, 20}, true}, {{40, 10}, false},
              {{25, 9}, false}, {{25, 41}, false}, {{41, 25}, false}});
  ExpectHits(CRegion(kNoPos, "10,10;10,40;40,40;40,10"),
             {{{25, 10}, false}, {{25, 40}, false}, {{20, 20}, true}});
}

TEST(RegionTest, ConcavePolygonMissesItsNotch) {
  ExpectHits(CRegion(kNoPos, "10,10;50,10;50,50;30,30;10,50"),
             {{{30, 40}, false}, {{15, 40}, true}, {{45, 40}, true}, {{30, 20}, true}});
}

// Counted from the origin itself, these would miss inside and hit outside.
TEST(RegionTest, PolygonOverTheViewOriginStillHitsItsInside) {
  ExpectHits(CRegion(kNoPos, "0,0;100,0;100,50;0,50"),
             {{{50, 25}, true}, {{150, 25}, false}, {{-1, -1}, false}});
  ExpectHits(CRegion(kNoPos, "-10,-10;10,-10;0,10"),
             {{{0, 0}, true}, {{0, -5}, true}, {{-20, -20}, false}, {{9, 9}, false}});
}

TEST(RegionTest, ParsingKeepsOrDropsTheWholePolygon) {
  const struct {
    const char* text;
    const char* kept;  // as written back; empty when dropped
  } kCases[] = {
      {"", ""},
      {"10,10;50,10", ""},                      // two points enclose nothing
      {"10,10;50,10;30,x", ""},                 // a number missing
      {"10,10;50,10;30,40;", ""},               // a separator announces a fourth point
      {"10,10;50,10;;30,40", ""},
      {"10 ,10;50,10;30,40", ""},               // nothing may come before the comma
      {"99999,1;2,3;4,5", ""},                  // beyond 16 bits
      {"4294967296,1;2,3;4,5", ""},
      {"garbage", ""},
      {"10,10;50,10;30,40xyz", "10,10;50,10;30,40"},  // what follows is ignored
      {" 10, 10;-5,+7;\t3,4", "10,10;-5,7;3,4"},
      {"32767,-32768;0,0;-32768,32767", "32767,-32768;0,0;-32768,32767"},
  };
  for (const auto& c : kCases) {
    const CRegion region({1, 2, 3, 4}, c.text);
    EXPECT_EQ(region.PolygonText(), c.kept) << c.text;
    EXPECT_EQ(region.HasPolygon(), *c.kept != '\0') << c.text;
  }
}

TEST(RegionTest, TwentyPointsKeepTheFirstFifteen) {
  std::string text;
  for (int i = 0; i < 20; ++i) text += (i ? ";" : "") + std::to_string(i < 15 ? i : 100) + ",0";
  text.replace(text.find(";2,0"), 4, ";2,9");
  const CRegion region(kNoPos, text);
  ASSERT_EQ(region.Polygon().size(), 16u);
  EXPECT_EQ(region.Polygon().back().x, 0);
  EXPECT_EQ(region.Bounds().right, 14);
  EXPECT_EQ(region.Bounds().bottom, 9);
}

TEST(RegionTest, OffsetMovesRectangleAndPolygon) {
  CRegion region(kNoPos, kTriangle);
  region.Offset(5, -5);
  EXPECT_EQ(region.PolygonText(), "15,5;55,5;35,35");
  EXPECT_EQ(region.Bounds().left, 15);
  EXPECT_EQ(region.Bounds().bottom, 35);
  ExpectHits(region, {{{35, 15}, true}, {{17, 30}, false}});
  CRegion plain({0, 0, 9, 9}, "");
  plain.Offset(-10, 0);
  ExpectHits(plain, {{{-10, 0}, true}, {{0, 0}, false}});
}

}  // namespace
