// The movable boundary between two panes, one above the other.
#pragma once

#include <windows.h>

#include "base/Geometry.h"

namespace tv {

// The limits and steps it is given are pixels at 96 DPI; it scales them by
// the window's DPI, so at 200 % the upper pane still keeps a line of text.
class PaneSplitter {
 public:
  void init(HWND owner, int upperId, int lowerId, int minUpper, int minLower);

  // While dragging: the boundary goes to client y.
  void setSplit(int y);
  // Alt+Up/Down move by -17/+17; 0 puts the user's split back after the
  // layout pass reset both panes.
  void moveBy(int d);
  // Whether the cursor (from GetCursorPos) is over the bar.
  bool cursorOverBar() const;
  // A pane's control was replaced by a new one in the same place.
  void replaceControl(HWND old, HWND fresh);

 private:
  SplitGeometry::Panes measure() const;
  void apply(const SplitGeometry::Panes& p);

  HWND owner_ = nullptr;
  HWND upper_ = nullptr;
  HWND lower_ = nullptr;
  SplitGeometry geometry_{18, 36};
  int keptUpperHeight_ = 0;  // the upper pane's height the user chose
  int dpi_ = 96;
};

}  // namespace tv
