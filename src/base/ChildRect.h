// A child window's rectangle in its parent's client coordinates.
#pragma once

#include <windows.h>

#include "base/Geometry.h"

namespace tv {

inline Rect ChildRect(HWND parent, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return Rect{r.left, r.top, r.right, r.bottom};
}

}  // namespace tv
