// Window-free geometry of the main dialog: the pane splitter's clamp and the
// rules by which controls follow the window when it is resized.
#pragma once

namespace tv {

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const Rect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

// Left and top edges inside, right and bottom edges outside.
bool Contains(const Rect& r, int x, int y);

// The boundary between an upper and a lower pane.
// Only the boundary moves; the gap between the panes stays as it is.
class SplitGeometry {
 public:
  SplitGeometry(int minUpper, int minLower) : minUpper_(minUpper), minLower_(minLower) {}

  struct Panes {
    Rect upper;
    Rect lower;
  };

  // Boundary at client y; the new upper height becomes the kept one.
  Panes setSplit(Panes now, int y, int* keptUpperHeight) const;
  // d != 0 moves the boundary by d and keeps the new height; d == 0 puts
  // the kept height back (after a layout pass reset both panes).
  Panes moveBy(Panes now, int d, int* keptUpperHeight) const;
  // The upper pane keeps minUpper pixels, then the lower pane keeps
  // minLower; when both cannot hold the lower one wins.
  Panes clamp(Panes p) const;

  static bool isOverBar(const Panes& now, int x, int y);

 private:
  int minUpper_;
  int minLower_;
};

enum class Anchor {
  GrowBoth,           // takes the extra width and height
  GrowWidthMoveDown,  // below the one that grows: keeps its height
  MoveBoth,           // stays at the bottom right
};

Rect Follow(const Rect& initial, Anchor anchor, int dx, int dy);

// Pixels at 96 DPI as pixels at `dpi`, rounded to the nearest; a DPI the
// system could not tell (0 or less) counts as 96.
int ScaleForDpi(int pixels, int dpi);

}  // namespace tv
