#include "base/ViewBound.h"

namespace tv {

ViewBound::Step ViewBound::next(std::size_t length, bool copying, uint64_t processBytes, bool copyRefused) {
  // Whatever else holds memory, the view keeps its least length: cutting
  // it further would free little and show less.
  const bool memoryShort = processBytes >= kMemoryLimit && length >= kLeastChars;
  if (memoryShort && length < chars_) chars_ = length;
  if (copying) return length >= chars_ || memoryShort ? Step::Swap : Step::None;
  if (copyRefused && length >= chars_) return Step::Trim;
  return length >= copyFrom() ? Step::StartCopy : Step::None;
}

void ViewBound::swapped(std::size_t length, uint32_t destroyMs, uint64_t processBytes) {
  if (destroyMs > kSwapBudgetMs) {
    // The cost grows about in proportion to the length.
    uint64_t fitted = static_cast<uint64_t>(length) * kSwapBudgetMs / destroyMs;
    chars_ = fitted < kLeastChars ? kLeastChars : static_cast<std::size_t>(fitted);
  } else if (destroyMs <= kSwapBudgetMs / 4 && processBytes < kMemoryLimit / 2 && length >= chars_) {
    chars_ = chars_ * 2 > kMostChars ? kMostChars : chars_ * 2;
  }
}

}  // namespace tv
