#include "base/Geometry.h"

namespace tv {

bool Contains(const Rect& r, int x, int y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

SplitGeometry::Panes SplitGeometry::clamp(Panes p) const {
  int gap = p.lower.top - p.upper.bottom;
  int minUpperBottom = p.upper.top + minUpper_;
  int maxLowerTop = p.lower.bottom - minLower_;
  if (minUpperBottom >= p.upper.bottom) {
    p.upper.bottom = minUpperBottom;
    p.lower.top = minUpperBottom + gap;
  }
  if (p.lower.top >= maxLowerTop) {
    p.lower.top = maxLowerTop;
    p.upper.bottom = maxLowerTop - gap;
  }
  return p;
}

SplitGeometry::Panes SplitGeometry::setSplit(Panes now, int y, int* kept) const {
  int gap = now.lower.top - now.upper.bottom;
  now.upper.bottom = y;
  now.lower.top = y + gap;
  Panes p = clamp(now);
  *kept = p.upper.height();
  return p;
}

SplitGeometry::Panes SplitGeometry::moveBy(Panes now, int d, int* kept) const {
  int gap = now.lower.top - now.upper.bottom;
  if (d != 0) {
    now.upper.bottom += d;
    now.lower.top = now.upper.bottom + gap;
    Panes p = clamp(now);
    *kept = p.upper.height();
    return p;
  }
  now.upper.bottom = now.upper.top + *kept;
  now.lower.top = now.upper.bottom + gap;
  return clamp(now);
}

bool SplitGeometry::isOverBar(const Panes& now, int x, int y) {
  Rect across{now.upper.left, now.upper.bottom, now.upper.right, now.lower.top};
  Rect beside{now.upper.right, now.upper.top, now.lower.left, now.upper.bottom};
  return Contains(across, x, y) || Contains(beside, x, y);
}

Rect Follow(const Rect& r, Anchor anchor, int dx, int dy) {
  switch (anchor) {
    case Anchor::GrowBoth:
      return Rect{r.left, r.top, r.right + dx, r.bottom + dy};
    case Anchor::GrowWidthMoveDown:
      return Rect{r.left, r.top + dy, r.right + dx, r.bottom + dy};
    case Anchor::MoveBoth:
      return Rect{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
  }
  return r;
}

int ScaleForDpi(int pixels, int dpi) {
  if (dpi <= 0) return pixels;
  long long scaled = static_cast<long long>(pixels) * dpi;
  return static_cast<int>((scaled + (scaled < 0 ? -48 : 48)) / 96);
}

}  // namespace tv
