#include "world/region.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <limits>

namespace {

// Reads a number as "%d" does (blanks, sign, digits) into a coordinate.
bool ReadCoordinate(std::string_view text, size_t* at, int16_t* out) {
  size_t i = *at;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  uint32_t magnitude = 0;
  const auto [end, error] =
      std::from_chars(text.data() + i, text.data() + text.size(), magnitude);
  if (error != std::errc()) return false;
  const int64_t value = negative ? -int64_t{magnitude} : int64_t{magnitude};
  if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max())
    return false;
  *out = static_cast<int16_t>(value);
  *at = static_cast<size_t>(end - text.data());
  return true;
}

bool ReadLiteral(std::string_view text, size_t* at, char literal) {
  if (*at >= text.size() || text[*at] != literal) return false;
  ++*at;
  return true;
}

bool ReadPoint(std::string_view text, size_t* at, TPoint* point) {
  return ReadCoordinate(text, at, &point->x) && ReadLiteral(text, at, ',') &&
         ReadCoordinate(text, at, &point->y);
}

// The points the text announces, or none when one of them does not parse.
std::vector<TPoint> ParsePolygon(std::string_view text) {
  const size_t separators = std::min<size_t>(std::count(text.begin(), text.end(), ';'),
                                             kMaxPolygonPoints - 1);
  std::vector<TPoint> points(separators + 1);
  size_t at = 0;
  for (size_t i = 0; i < points.size(); ++i)
    if ((i > 0 && !ReadLiteral(text, &at, ';')) || !ReadPoint(text, &at, &points[i])) return {};
  return points;
}

TRect Widened(const TRect& rect, TPoint point) {
  if (RectEmpty(rect)) return {point.x, point.y, point.x, point.y};
  return UnionRect(rect, {point.x, point.y, point.x, point.y});
}

// Wider than a coordinate: the outside point may lie just beyond the range.
struct SPoint {
  int32_t x;
  int32_t y;
};

int64_t Cross(SPoint from, SPoint to, SPoint at) {
  return int64_t{to.x - from.x} * (at.y - from.y) - int64_t{to.y - from.y} * (at.x - from.x);
}

bool OnNegativeSide(SPoint from, SPoint to, SPoint at) { return Cross(from, to, at) < 0; }

bool SegmentsCross(SPoint a, SPoint b, SPoint c, SPoint d) {
  return OnNegativeSide(a, b, c) != OnNegativeSide(a, b, d) &&
         OnNegativeSide(c, d, a) != OnNegativeSide(c, d, b);
}

SPoint Wide(TPoint point) { return {point.x, point.y}; }

// The count starts from the view origin. A polygon whose box reaches over
// the origin (an area in the view's corner) may have the origin on its
// outline or inside it, where the count would turn inside out; it counts
// from just beyond its box's corner instead.
SPoint OutsidePoint(std::span<const TPoint> closed) {
  TRect box{closed[0].x, closed[0].y, closed[0].x, closed[0].y};
  for (const TPoint point : closed) box = Widened(box, point);
  if (!RectContains(box, {0, 0})) return {0, 0};
  return {box.left - 1, box.top - 1};
}

}  // namespace

CRegion::CRegion(const TRect& pos, std::string_view polygon) : m_bounds(pos) {
  std::vector<TPoint> points = ParsePolygon(polygon);
  if (points.size() < 3) return;
  for (const TPoint point : points) m_bounds = Widened(m_bounds, point);
  points.push_back(points.front());
  m_polygon = std::move(points);
}

bool CRegion::Contains(TPoint point) const {
  return HasPolygon() ? PolygonContains(m_polygon, point) : RectContains(m_bounds, point);
}

void CRegion::Offset(int dx, int dy) {
  m_bounds = OffsetRect(m_bounds, dx, dy);
  for (TPoint& point : m_polygon)
    point = {static_cast<int16_t>(point.x + dx), static_cast<int16_t>(point.y + dy)};
}

std::string CRegion::PolygonText() const {
  std::string text;
  for (size_t i = 0; i + 1 < m_polygon.size(); ++i) {
    if (i > 0) text += ';';
    text += std::to_string(m_polygon[i].x) + ',' + std::to_string(m_polygon[i].y);
  }
  return text;
}

bool PolygonContains(std::span<const TPoint> closed, TPoint point) {
  if (closed.empty()) return false;
  const SPoint from = OutsidePoint(closed);
  bool inside = false;
  for (size_t i = 1; i < closed.size(); ++i)
    if (SegmentsCross(from, Wide(point), Wide(closed[i - 1]), Wide(closed[i]))) inside = !inside;
  return inside;
}
