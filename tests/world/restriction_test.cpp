// Where a restricted cursor may go: along a line, or over the allowed
// pixels of a mask, stopping before the first barred one.
#include "world/restriction.h"

#include <gtest/gtest.h>

namespace {

bool Same(TPoint a, TPoint b) { return a.x == b.x && a.y == b.y; }

TEST(CursorRestrictionTest, ALineKeepsItsRowAndClampsTheColumn) {
  const CWCursorRestriction line = CWCursorRestriction::Line(300, 200, 100);
  EXPECT_TRUE(Same(line.Constrain({0, 0}, {150, 10}), {150, 300}));
  EXPECT_TRUE(Same(line.Constrain({0, 0}, {99, 400}), {100, 300}));
  EXPECT_TRUE(Same(line.Along({198, 300}, 5), {200, 300}));
  EXPECT_TRUE(Same(line.Along({150, 300}, -5), {145, 300}));
}

// Allowed: the band 10 <= y <= 12 and the column 30 <= x <= 32.
bool Cross(TPoint point) {
  return (point.y >= 10 && point.y <= 12) || (point.x >= 30 && point.x <= 32);
}

TEST(CursorRestrictionTest, AMaskStopsOnItsLastAllowedPixel) {
  const CWCursorRestriction mask = CWCursorRestriction::Mask(Cross);
  const struct {
    TPoint from, to, expected;
  } cases[] = {
      {{0, 11}, {20, 11}, {20, 11}},  // all allowed
      {{31, 0}, {31, 40}, {31, 40}},
      // Diagonal into the barred corner: pulled back to (21, 12) on the
      // band, then the line from (20, 11) reaches it.
      {{20, 11}, {25, 16}, {21, 12}},
      // Pulled back to the column at (32, 23), which the line reaches.
      {{31, 20}, {40, 30}, {32, 23}},
      // An allowed target, but the line leaves the band after (21, 12).
      {{20, 11}, {31, 25}, {21, 12}},
  };
  for (const auto& c : cases) {
    const TPoint got = mask.Constrain(c.from, c.to);
    EXPECT_TRUE(Same(got, c.expected)) << c.to.x << "," << c.to.y << " -> " << got.x << "," << got.y;
  }
}

}  // namespace
