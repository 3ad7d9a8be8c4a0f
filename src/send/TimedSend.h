// Delay modes, the delay box's number and the window title's composition.
#pragma once

#include <cstdint>
#include <string>

namespace tv {

enum DelayMode : int32_t {
  kDelayOff = 2100,        // one pass, no pauses
  kDelayLoopAll = 2101,    // pause after each pass, repeat
  kDelayLoopLines = 2102,  // pause after each line, repeat
  kDelayOnceLines = 2103,  // pause after each line, one pass
};

bool PausesAfterLine(int32_t mode);
bool PausesAfterPass(int32_t mode);
bool RepeatsPasses(int32_t mode);

// The title word of a mode, or null for a value outside 2100..2103 (the
// title then keeps the tag it had).
const wchar_t* DelayModeTag(int32_t mode);

// Leading blanks, an optional sign, decimal digits; stops at anything else.
// No digits give 0; out-of-range values saturate to the signed 32-bit limits.
int32_t ParseDelayText(const wchar_t* text);

// How long a pause really waits. A negative delay can only come from a
// stored value; it waits no time rather than forever.
uint32_t PauseMilliseconds(int32_t delay);

// The longest single wait of a pause: a cancel that only clears a flag is
// noticed within this time.
constexpr uint32_t kPauseSliceMs = 50;

// Waits out a pause of pauseMs toward its deadline. now() is a monotonic
// millisecond clock that may wrap; waitMs(ms) waits about ms and returns
// true when a cancel cut it short; keepGoing() is looked at before
// every wait. Each wait is cut to what the clock says is left, so a wait
// that ends early or late (on Windows, on a timer tick) is made up for
// rather than added to the next: a pause ends within one late wait of its deadline,
// however many waits it takes.
template <typename Clock, typename Wait, typename KeepGoing>
void WaitOutPause(uint32_t pauseMs, Clock now, Wait waitMs, KeepGoing keepGoing) {
  const uint32_t start = now();
  while (keepGoing()) {
    uint32_t elapsed = now() - start;
    if (elapsed >= pauseMs) return;
    uint32_t left = pauseMs - elapsed;
    if (waitMs(left < kPauseSliceMs ? left : kPauseSliceMs)) return;
  }
}

// Spaces a job's progress updates out in time: formatting and posting the
// title for every byte costs more than writing the byte. A job still shows
// its exact position before a pause and when a pass ends.
class ProgressPacer {
 public:
  static constexpr uint32_t kIntervalMs = 50;
  // The position moved: true when it is to be shown now (the first time, and
  // then whenever the interval has passed since the last time); nowMs is a
  // wrapping millisecond clock.
  bool advanced(uint32_t nowMs) {
    unshown_ = true;
    if (shown_ && nowMs - lastMs_ < kIntervalMs) return false;
    shown_ = true;
    lastMs_ = nowMs;
    unshown_ = false;
    return true;
  }
  // Before a pause and at the end of a pass: true when the latest position
  // has not been shown yet.
  bool catchUp() {
    bool due = unshown_;
    unshown_ = false;
    return due;
  }

 private:
  bool shown_ = false;
  bool unshown_ = false;
  uint32_t lastMs_ = 0;
};

// base, blank, tag, blank, progress, blank, spinner.
std::wstring ComposeTitle(const std::wstring& base, const std::wstring& tag,
                          const std::wstring& progress, wchar_t spinner);

}  // namespace tv
