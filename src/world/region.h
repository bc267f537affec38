// The hit region of a visual object: its "Pos" rectangle (inclusive bounds,
// view coordinates) and, optionally, a polygon read from its "Polygon" text.
//
// The text holds points "x,y" in view coordinates separated by ";" (the
// tool writes "%d,%d" and ";%d,%d"). At most kMaxPolygonPoints are read: the
// separators are counted, at most kMaxPolygonPoints - 1 of them, and that
// many points plus one must parse, else the polygon is dropped; whatever
// follows them is ignored. A number takes optional blanks, an optional sign
// and digits, and must fit a 16-bit coordinate; a polygon of fewer than three
// points encloses nothing and is dropped too. A polygon that is kept widens
// the rectangle to cover it (an empty rectangle becomes its bounding box).
//
// With a polygon a point is inside when the segment from the view origin
// (0, 0) to it crosses an odd number of the polygon's edges; two segments
// cross when the ends of each lie on different sides of the other, a point
// being on the one side when the cross product is negative and on the other
// when it is zero or positive. Points on an edge or a vertex are in or out
// by that rule alone, so the same outline listed in the other direction may
// answer differently there. A polygon whose bounding box holds the origin
// counts from the point diagonally before the box's top-left corner
// instead, since from a start on or inside the outline the count would
// turn inside out. Without a polygon the rectangle decides.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/geometry.h"

inline constexpr size_t kMaxPolygonPoints = 15;

class CRegion {
 public:
  CRegion() = default;
  CRegion(const TRect& pos, std::string_view polygon);

  const TRect& Bounds() const { return m_bounds; }
  bool HasPolygon() const { return !m_polygon.empty(); }
  // The polygon's points, closed: the first is repeated at the end.
  std::span<const TPoint> Polygon() const { return m_polygon; }
  bool Contains(TPoint point) const;
  // Moves the rectangle and the polygon together.
  void Offset(int dx, int dy);
  // "x,y;x,y;..." as the tool writes it back; empty without a polygon.
  std::string PolygonText() const;

 private:
  TRect m_bounds{0, 0, -1, -1};
  std::vector<TPoint> m_polygon;
};

// The crossing test over a closed outline (last point equal to the first).
bool PolygonContains(std::span<const TPoint> closed, TPoint point);
