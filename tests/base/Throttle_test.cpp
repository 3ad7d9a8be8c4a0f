#include "base/Throttle.h"

#include <gtest/gtest.h>

namespace tv {
namespace {

// A job's progress, the view's memory query: at most once an interval,
// across the wrap of a millisecond clock, and what was skipped is owed
// once, so the exact state can still be shown before a pause.
TEST(Throttle, OncePerIntervalAcrossTheWrapAndWhatWasSkippedIsOwedOnce) {
  Throttle t(50);
  const uint32_t start = 0xFFFFFFF0u;
  EXPECT_TRUE(t.due(start));
  EXPECT_FALSE(t.owed());
  EXPECT_FALSE(t.due(start + 10));
  EXPECT_FALSE(t.due(start + 49));
  EXPECT_TRUE(t.owed());
  EXPECT_FALSE(t.owed());
  EXPECT_TRUE(t.due(start + 50)) << "the clock's wrap held it back";
  EXPECT_FALSE(t.owed());
  EXPECT_FALSE(t.due(start + 51));
  t.restart();
  EXPECT_TRUE(t.due(start + 52));
}

}  // namespace
}  // namespace tv
