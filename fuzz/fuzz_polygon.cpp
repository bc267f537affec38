// Feeds arbitrary text to the hit polygon reader, then hit-tests a grid of
// points around what it read: a kept polygon has 3 to 15 points, lies inside
// the region's rectangle, and no point outside its bounding box is hit.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "world/region.h"

namespace {

int16_t Clamp(int value) { return static_cast<int16_t>(std::clamp(value, -32768, 32767)); }

TRect BoxOf(std::span<const TPoint> points) {
  TRect box{points[0].x, points[0].y, points[0].x, points[0].y};
  for (const TPoint point : points) box = UnionRect(box, {point.x, point.y, point.x, point.y});
  return box;
}

void CheckPoint(const CRegion& region, const TRect& box, TPoint point) {
  if (region.Contains(point) && !RectContains(box, point)) std::abort();
}

void CheckGrid(const CRegion& region, const TRect& box) {
  constexpr int kSteps = 32;
  const int width = box.right - box.left + 1;
  const int height = box.bottom - box.top + 1;
  for (int i = 0; i <= kSteps; ++i) {
    for (int j = 0; j <= kSteps; ++j) {
      CheckPoint(region, box,
                 {Clamp(box.left - width / 4 + i * (width + width / 2) / kSteps),
                  Clamp(box.top - height / 4 + j * (height + height / 2) / kSteps)});
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const CRegion region(TRect{0, 0, -1, -1}, text);
  if (!region.HasPolygon()) {
    if (region.Contains({0, 0})) std::abort();
    return 0;
  }
  const std::span<const TPoint> polygon = region.Polygon();
  if (polygon.size() < 4 || polygon.size() > kMaxPolygonPoints + 1) std::abort();
  if (polygon.front().x != polygon.back().x || polygon.front().y != polygon.back().y) std::abort();
  const TRect box = BoxOf(polygon);
  if (!RectContains(region.Bounds(), {box.left, box.top}) ||
      !RectContains(region.Bounds(), {box.right, box.bottom}))
    std::abort();
  CheckGrid(region, box);
  for (const TPoint vertex : polygon)
    for (const int d : {-1, 1}) {
      CheckPoint(region, box, {Clamp(vertex.x + d), vertex.y});
      CheckPoint(region, box, {vertex.x, Clamp(vertex.y + d)});
    }
  return 0;
}
