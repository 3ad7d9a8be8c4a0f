#include "base/Geometry.h"

#include <gtest/gtest.h>

namespace tv {
namespace {

// Panes as the dialog lays them out: same left and right edges, a 4-pixel
// gap, 290 pixels from the upper pane's top to the lower pane's bottom.
SplitGeometry::Panes Layout(int upperBottom = 110, int lowerBottom = 300) {
  return {Rect{10, 10, 200, upperBottom}, Rect{10, upperBottom + 4, 200, lowerBottom}};
}

void ExpectSplit(const SplitGeometry::Panes& p, int upperBottom, int lowerTop, int lowerBottom = 300) {
  EXPECT_EQ(p.upper, (Rect{10, 10, 200, upperBottom}));
  EXPECT_EQ(p.lower, (Rect{10, lowerTop, 200, lowerBottom}));
}

TEST(Geometry, ContainsTakesLeftAndTopButNotRightAndBottom) {
  Rect r{10, 20, 30, 40};
  EXPECT_TRUE(Contains(r, 10, 20));
  EXPECT_TRUE(Contains(r, 29, 39));
  EXPECT_FALSE(Contains(r, 30, 25));
  EXPECT_FALSE(Contains(r, 15, 40));
  EXPECT_FALSE(Contains(Rect{5, 5, 5, 5}, 5, 5));
}

TEST(Geometry, SetSplitKeepsTheGapAndBothMinimums) {
  SplitGeometry g(18, 36);
  ExpectSplit(g.clamp(Layout(150)), 150, 154);
  int kept = -1;
  ExpectSplit(g.setSplit(Layout(), 150, &kept), 150, 154);
  EXPECT_EQ(kept, 140);

  // Upper minimum: 10 + 18.
  ExpectSplit(g.setSplit(Layout(), 15, &kept), 28, 32);
  EXPECT_EQ(kept, 18);
  ExpectSplit(g.setSplit(Layout(), 27, &kept), 28, 32);
  ExpectSplit(g.setSplit(Layout(), -500, &kept), 28, 32);

  // Lower minimum: 300 - 36 for the lower top.
  ExpectSplit(g.setSplit(Layout(), 290, &kept), 260, 264);
  EXPECT_EQ(kept, 250);
  ExpectSplit(g.setSplit(Layout(), 261, &kept), 260, 264);
  ExpectSplit(g.setSplit(Layout(), 5000, &kept), 260, 264);
}

TEST(Geometry, LowerMinimumWinsWhenBothCannotHold) {
  SplitGeometry g(18, 36);
  int kept = -1;
  // Only 40 pixels from top to bottom: the lower pane gets its 36.
  SplitGeometry::Panes p = g.setSplit(Layout(20, 50), 12, &kept);
  EXPECT_EQ(p.upper.bottom, 10);
  EXPECT_EQ(p.lower.top, 14);
  EXPECT_EQ(kept, 0);

  p = g.clamp(Layout(40, 50));
  EXPECT_EQ(p.lower.height(), 36);
  EXPECT_EQ(p.lower.top - p.upper.bottom, 4);
}

TEST(Geometry, MoveByAndRestoreTheKeptHeight) {
  SplitGeometry g(18, 36);
  int kept = 100;
  ExpectSplit(g.moveBy(Layout(), 20, &kept), 130, 134);
  EXPECT_EQ(kept, 120);

  // A layout pass put the panes back; d == 0 brings the user's split back.
  kept = 120;
  ExpectSplit(g.moveBy(Layout(), 0, &kept), 130, 134);
  EXPECT_EQ(kept, 120);

  // The window shrank: the split gives way but is remembered for when it
  // grows again.
  kept = 250;
  ExpectSplit(g.moveBy(Layout(110, 200), 0, &kept), 160, 164, 200);
  EXPECT_EQ(kept, 250);
  ExpectSplit(g.moveBy(Layout(110, 300), 0, &kept), 260, 264);
}

TEST(Geometry, TheBarIsTheGapBetweenThePanes) {
  SplitGeometry::Panes p = Layout();  // gap rows 110..113
  EXPECT_TRUE(SplitGeometry::isOverBar(p, 10, 110));
  EXPECT_TRUE(SplitGeometry::isOverBar(p, 199, 113));
  EXPECT_FALSE(SplitGeometry::isOverBar(p, 100, 109));
  EXPECT_FALSE(SplitGeometry::isOverBar(p, 100, 114));
  EXPECT_FALSE(SplitGeometry::isOverBar(p, 9, 111));
  EXPECT_FALSE(SplitGeometry::isOverBar(p, 200, 111));
}

TEST(Geometry, FollowTheWindow) {
  const Rect r{10, 20, 110, 70};
  EXPECT_EQ(Follow(r, Anchor::GrowBoth, 30, 40), (Rect{10, 20, 140, 110}));
  EXPECT_EQ(Follow(r, Anchor::GrowWidthMoveDown, 30, 40), (Rect{10, 60, 140, 110}));
  EXPECT_EQ(Follow(r, Anchor::MoveBoth, 30, 40), (Rect{40, 60, 140, 110}));
  for (Anchor a : {Anchor::GrowBoth, Anchor::GrowWidthMoveDown, Anchor::MoveBoth})
    EXPECT_EQ(Follow(r, a, 0, 0), r);
}

TEST(Geometry, SplitterLimitsAndStepsScaleWithTheDpiRoundedToTheNearestPixel) {
  EXPECT_EQ(ScaleForDpi(17, 96), 17);
  EXPECT_EQ(ScaleForDpi(17, 120), 21);  // 21.25
  EXPECT_EQ(ScaleForDpi(17, 144), 26);  // 25.5
  EXPECT_EQ(ScaleForDpi(-17, 144), -26);
  EXPECT_EQ(ScaleForDpi(18, 192), 36);
  EXPECT_EQ(ScaleForDpi(36, 0), 36);
}

}  // namespace
}  // namespace tv
