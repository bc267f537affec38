// Where a view lets the cursor go: along a horizontal line, or over the
// pixels of an object's picture that have the object's transparent colour.
#pragma once

#include <cstdint>
#include <functional>

#include "base/geometry.h"

class CWCursorRestriction {
 public:
  // The cursor stays on row `y` between `x1` and `x2` (either order).
  static CWCursorRestriction Line(int y, int x1, int x2);
  // The cursor rests only where `allowed` says so.
  static CWCursorRestriction Mask(std::function<bool(TPoint)> allowed);

  bool IsLine() const { return !m_allowed; }
  // Where a cursor at `from` (allowed) that moves to `to` ends up.
  TPoint Constrain(TPoint from, TPoint to) const;
  // A line's point `dx` pixels along from `from`, clamped to the line.
  TPoint Along(TPoint from, int dx) const;
  bool Allows(TPoint point) const;

 private:
  TPoint OnLine(int x) const;
  // A barred target is pulled back towards `from` one axis step at a
  // time until it is allowed; then the cursor follows the straight line
  // from `from` to it and stops before the first barred pixel.
  TPoint OnMask(TPoint from, TPoint to) const;

  int m_y = 0;
  int m_left = 0;
  int m_right = 0;
  std::function<bool(TPoint)> m_allowed;
};
