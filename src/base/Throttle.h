// Lets something recurring happen at most once per interval of a counter
// that only grows (milliseconds of a wrapping clock, characters added),
// and remembers whether one was skipped, so the latest state can still be
// caught up with at a moment that matters.
#pragma once

#include <cstdint>

namespace tv {

class Throttle {
 public:
  explicit Throttle(uint32_t interval) : interval_(interval) {}

  // Something happened at now: true when it is to be acted on (the first
  // time, and then once the interval has passed since the last time).
  bool due(uint32_t now) {
    if (acted_ && now - lastAt_ < interval_) {
      skipped_ = true;
      return false;
    }
    acted_ = true;
    lastAt_ = now;
    skipped_ = false;
    return true;
  }

  // The next thing is acted on, whenever it comes.
  void restart() { acted_ = false; }

  // True, once, when something was skipped since it was last acted on.
  bool owed() {
    const bool was = skipped_;
    skipped_ = false;
    return was;
  }

 private:
  uint32_t interval_;
  uint32_t lastAt_ = 0;
  bool acted_ = false;
  bool skipped_ = false;
};

}  // namespace tv
