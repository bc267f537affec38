#include "world/restriction.h"

#include <algorithm>

namespace {

int16_t Coord(int value) { return static_cast<int16_t>(std::clamp(value, -32768, 32767)); }

int StepTowards(int value, int target) { return value + (target > value) - (target < value); }

}  // namespace

CWCursorRestriction CWCursorRestriction::Line(int y, int x1, int x2) {
  CWCursorRestriction line;
  line.m_y = y;
  line.m_left = std::min(x1, x2);
  line.m_right = std::max(x1, x2);
  return line;
}

CWCursorRestriction CWCursorRestriction::Mask(std::function<bool(TPoint)> allowed) {
  CWCursorRestriction mask;
  mask.m_allowed = std::move(allowed);
  return mask;
}

bool CWCursorRestriction::Allows(TPoint point) const {
  if (IsLine()) return point.y == m_y && point.x >= m_left && point.x <= m_right;
  return m_allowed(point);
}

TPoint CWCursorRestriction::Constrain(TPoint from, TPoint to) const {
  return IsLine() ? OnLine(to.x) : OnMask(from, to);
}

TPoint CWCursorRestriction::Along(TPoint from, int dx) const { return OnLine(from.x + dx); }

TPoint CWCursorRestriction::OnLine(int x) const {
  return {Coord(std::clamp(x, m_left, m_right)), Coord(m_y)};
}

TPoint CWCursorRestriction::OnMask(TPoint from, TPoint to) const {
  TPoint target = to;
  for (bool x_turn = true; !m_allowed(target) && (target.x != from.x || target.y != from.y);
       x_turn = !x_turn) {
    if (x_turn && target.x != from.x) {
      target.x = Coord(StepTowards(target.x, from.x));
    } else if (target.y != from.y) {
      target.y = Coord(StepTowards(target.y, from.y));
    } else {
      target.x = Coord(StepTowards(target.x, from.x));
    }
  }
  TPoint last = from;
  WalkLine(from, target, [&](TPoint at) {
    if (!m_allowed(at)) return false;
    last = at;
    return true;
  });
  return last;
}
