// How far a view of incoming text may grow before its oldest text goes. A rich
// edit's memory and the time it takes to destroy one grow with its text
// (under Wine about 300 bytes a character of hex and 0.35-0.55 ms to free
// 1000 of them; far less on Windows), so a view left to grow for a night
// ends the program, and even a clear of it froze the window. The view is
// replaced instead: once it passes copyFrom(), what arrives also goes
// into a hidden copy, which takes its place at the bound, so a trim never
// deletes text and never waits for a large copy to be made. The copy
// starts at three quarters of the bound: what it holds goes into two
// controls, which halves the view's speed for that stretch, and a quarter
// of the bound (a thousand lines of text at the first bound) is still a
// screenful many times over.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv {

class ViewBound {
 public:
  // Characters. The bound starts at kFirstChars and is then fitted to what
  // replacing a view costs here: smaller where destroying the old view
  // took longer than kSwapBudgetMs, larger (up to kMostChars) where it was
  // quick and memory is plentiful.
  static constexpr std::size_t kFirstChars = 256 * 1024;
  static constexpr std::size_t kLeastChars = 64 * 1024;
  static constexpr std::size_t kMostChars = 4 * 1024 * 1024;
  static constexpr uint32_t kSwapBudgetMs = 50;
  // The process's own memory (private bytes) past which the view is cut
  // at once, whatever its length, and the bound made no larger than it is.
  static constexpr uint64_t kMemoryLimit = uint64_t{320} << 20;

  enum class Step { None, StartCopy, Swap, Trim };

  // The copy starts at this length of the view.
  std::size_t copyFrom() const { return chars_ / 4 * 3; }
  // The newest part a replaced view keeps, and a trimmed one.
  std::size_t kept() const { return chars_ - copyFrom(); }

  // Before text goes into a view holding length characters, while a copy
  // is (copying) or is not being made, with the process at processBytes.
  // When the last try to make a copy failed (copyRefused: no window could
  // be had), the view is trimmed where it stands once it reaches the bound,
  // slow as that may be, rather than growing on without one.
  Step next(std::size_t length, bool copying, uint64_t processBytes, bool copyRefused = false);

  // A view of length characters was replaced; destroying it took
  // destroyMs, and the process then held processBytes.
  void swapped(std::size_t length, uint32_t destroyMs, uint64_t processBytes);

  std::size_t chars() const { return chars_; }

 private:
  std::size_t chars_ = kFirstChars;
};

}  // namespace tv
