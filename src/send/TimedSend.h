// Delay modes, the delay box's number and the window title's composition.
#pragma once

#include <cstdint>
#include <string>

namespace tv {

// How a send job is paced: one pass without pauses, a pause after each
// pass and repeat, a pause after each line and repeat, or a pause after
// each line for one pass.
enum class DelayMode : uint8_t { Off, LoopAll, LoopLines, OnceLines };

bool PausesAfterLine(DelayMode mode);
bool PausesAfterPass(DelayMode mode);
bool RepeatsPasses(DelayMode mode);

// The title word of a mode.
const wchar_t* DelayModeTag(DelayMode mode);

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

// How often a job's progress is shown at most: formatting and posting the
// title for every byte costs more than writing the byte. A job still shows
// its exact position before a pause and when a pass ends.
constexpr uint32_t kProgressIntervalMs = 50;

// base, blank, tag, blank, progress, blank, spinner.
std::wstring ComposeTitle(const std::wstring& base, const std::wstring& tag,
                          const std::wstring& progress, wchar_t spinner);

}  // namespace tv
