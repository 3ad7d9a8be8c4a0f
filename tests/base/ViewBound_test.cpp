#include "base/ViewBound.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace tv {
namespace {

using Step = ViewBound::Step;
constexpr uint64_t kPlenty = 64u << 20;

// A view fed in equal pieces for a long session, as ReceiveView feeds it:
// the copy starts at three quarters of the bound and takes the view's
// place at the bound, so the view never holds more than the bound, and
// after each swap it holds the newest quarter.
TEST(ViewBound, AViewFedForeverStaysWithinTheBoundAndKeepsTheNewestQuarter) {
  ViewBound bound;
  const std::size_t piece = 1000;
  std::size_t view = 0, copy = 0;
  bool copying = false;
  int swaps = 0;
  for (int i = 0; i < 5000; ++i) {
    switch (bound.next(view, copying, kPlenty)) {
      case Step::StartCopy:
        copying = true;
        copy = 0;
        break;
      case Step::Swap:
        EXPECT_GE(view, bound.chars());
        EXPECT_GE(copy + piece, bound.chars() / 4);
        EXPECT_LE(copy, bound.chars() / 4 + piece);
        view = copy;
        copying = false;
        ++swaps;
        bound.swapped(view, ViewBound::kSwapBudgetMs, kPlenty);  // neither cheap nor dear: the bound stays
        break;
      case Step::Trim:  // only when no copy could be made
        ADD_FAILURE() << "trimmed in place though copies could be made";
        break;
      case Step::None:
        break;
    }
    view += piece;
    if (copying) copy += piece;
    ASSERT_LE(view, ViewBound::kFirstChars + piece);
  }
  EXPECT_GT(swaps, 10);
  EXPECT_EQ(bound.chars(), ViewBound::kFirstChars);
}

// Where the steps change, to the character, whatever the bound has been
// fitted to: the copy starts at exactly three quarters of the bound and
// takes the view's place at exactly the bound. A view whose copy could not
// be made is trimmed at exactly the bound, and until then a copy is tried
// again.
TEST(ViewBound, TheStepsChangeExactlyAtThreeQuartersAndAtTheBound) {
  ViewBound bound;
  // As it starts, then fitted to a length no multiple of four, then doubled.
  for (uint32_t destroyMs : {ViewBound::kSwapBudgetMs, ViewBound::kSwapBudgetMs * 3, 1u}) {
    bound.swapped(bound.chars(), destroyMs, kPlenty);
    const std::size_t chars = bound.chars();
    const std::size_t threeQuarters = chars / 4 * 3;
    SCOPED_TRACE(chars);
    EXPECT_EQ(bound.copyFrom(), threeQuarters);
    EXPECT_EQ(bound.kept(), chars - threeQuarters);
    EXPECT_EQ(bound.next(threeQuarters - 1, false, kPlenty), Step::None);
    EXPECT_EQ(bound.next(threeQuarters, false, kPlenty), Step::StartCopy);
    EXPECT_EQ(bound.next(chars - 1, true, kPlenty), Step::None);
    EXPECT_EQ(bound.next(chars, true, kPlenty), Step::Swap);
    EXPECT_EQ(bound.next(threeQuarters, false, kPlenty, true), Step::StartCopy);
    EXPECT_EQ(bound.next(chars - 1, false, kPlenty, true), Step::StartCopy);
    EXPECT_EQ(bound.next(chars, false, kPlenty, true), Step::Trim);
    EXPECT_EQ(bound.next(chars * 3, false, kPlenty, true), Step::Trim);
    EXPECT_EQ(bound.chars(), chars) << "asking moved the bound";
  }
  EXPECT_EQ(bound.chars(), ViewBound::kFirstChars / 3 * 2);
}

// Replacing a view costs the destruction of the old one; the bound follows
// what that cost here: down in proportion when it took too long (never
// below the least), up while it was quick and memory plentiful.
TEST(ViewBound, TheBoundFollowsWhatDestroyingAViewCost) {
  ViewBound slow;
  slow.swapped(slow.chars(), ViewBound::kSwapBudgetMs * 4, kPlenty);
  EXPECT_EQ(slow.chars(), ViewBound::kFirstChars / 4);
  slow.swapped(slow.chars(), 100000, kPlenty);
  EXPECT_EQ(slow.chars(), ViewBound::kLeastChars);

  ViewBound quick;
  for (int i = 0; i < 20; ++i) quick.swapped(quick.chars(), 1, kPlenty);
  EXPECT_EQ(quick.chars(), ViewBound::kMostChars);

  ViewBound crowded;
  crowded.swapped(crowded.chars(), 1, ViewBound::kMemoryLimit / 2);
  EXPECT_EQ(crowded.chars(), ViewBound::kFirstChars);
  // A view cut early (memory) says nothing about a longer one.
  ViewBound early;
  early.swapped(ViewBound::kFirstChars / 2, 1, kPlenty);
  EXPECT_EQ(early.chars(), ViewBound::kFirstChars);
}

// Past the memory limit the view is cut at once, and the bound made no
// larger than the view was; a view already at its least length is left
// alone, since something else holds the memory.
TEST(ViewBound, ShortOfMemoryTheViewIsCutAtOnceButNotBelowItsLeast) {
  ViewBound bound;
  const std::size_t length = ViewBound::kFirstChars / 3;
  EXPECT_EQ(bound.next(length, false, ViewBound::kMemoryLimit), Step::StartCopy);
  EXPECT_EQ(bound.chars(), length);
  EXPECT_EQ(bound.next(length + 10, true, ViewBound::kMemoryLimit), Step::Swap);

  ViewBound small;
  EXPECT_EQ(small.next(ViewBound::kLeastChars - 1, false, ViewBound::kMemoryLimit * 2), Step::None);
  EXPECT_EQ(small.next(ViewBound::kLeastChars - 1, true, ViewBound::kMemoryLimit * 2), Step::None);
  EXPECT_EQ(small.chars(), ViewBound::kFirstChars);
}

}  // namespace
}  // namespace tv
