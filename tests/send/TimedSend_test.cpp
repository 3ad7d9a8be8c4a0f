#include "send/TimedSend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace tv {
namespace {

TEST(TimedSend, DelayModes) {
  struct Case {
    DelayMode mode;
    bool afterLine, afterPass, repeats;
    const wchar_t* tag;
  } cases[] = {
      {DelayMode::Off, false, false, false, L""},
      {DelayMode::LoopAll, false, true, true, L"ALL"},
      {DelayMode::LoopLines, true, false, true, L"LINE"},
      {DelayMode::OnceLines, true, false, false, L"ONCE"},
  };
  for (const Case& c : cases) {
    const int shown = static_cast<int>(c.mode);
    EXPECT_EQ(PausesAfterLine(c.mode), c.afterLine) << shown;
    EXPECT_EQ(PausesAfterPass(c.mode), c.afterPass) << shown;
    EXPECT_EQ(RepeatsPasses(c.mode), c.repeats) << shown;
    EXPECT_EQ(std::wstring(DelayModeTag(c.mode)), c.tag);
  }
}

TEST(TimedSend, ParseDelayText) {
  struct Case {
    const wchar_t* text;
    int32_t value;
  } cases[] = {
      {L"250", 250},      {L"250ms", 250}, {L" 40", 40},  {L"\t\r\n 7", 7}, {L"", 0},
      {L"abc", 0},        {L"007", 7},     {L"-15", -15}, {L"+15", 15},     {L"-", 0},
      {L"- 5", 0},        {L"1 2", 1},     {L"12a3", 12}, {L"2147483647", INT32_MAX},
      {L"2147483648", INT32_MAX},          {L"99999999999999999999999", INT32_MAX},
      {L"-2147483648", INT32_MIN},         {L"-2147483649", INT32_MIN},
      {L"-99999999999999999999999", INT32_MIN},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ParseDelayText(c.text), c.value) << testing::PrintToString(std::wstring(c.text));
  EXPECT_EQ(ParseDelayText(nullptr), 0);
}

TEST(TimedSend, PauseMilliseconds) {
  EXPECT_EQ(PauseMilliseconds(0), 0u);
  EXPECT_EQ(PauseMilliseconds(250), 250u);
  EXPECT_EQ(PauseMilliseconds(INT32_MAX), 2147483647u);
  EXPECT_EQ(PauseMilliseconds(-1), 0u);
  EXPECT_EQ(PauseMilliseconds(INT32_MIN), 0u);
}

// A clock and waits as on Windows without fine timer ticks: every wait ends
// on the next 15.625 ms tick, and the clock reads whole milliseconds.
struct TickingClock {
  uint64_t nowUs;
  uint32_t waits = 0;
  uint32_t longestWait = 0;
  int cancelAtWait = -1;  // the wait that a cancel cuts short, if any

  uint32_t now() const { return static_cast<uint32_t>(nowUs / 1000); }
  bool wait(uint32_t ms) {
    ++waits;
    if (ms > longestWait) longestWait = ms;
    if (static_cast<int>(waits) == cancelAtWait) return true;
    const uint64_t tickUs = 15625;
    uint64_t until = nowUs + uint64_t{ms} * 1000;
    nowUs = (until + tickUs - 1) / tickUs * tickUs;
    return false;
  }
  // Waits out a pause and returns how long it took, in microseconds.
  uint64_t pause(uint32_t ms, uint32_t waitsWhileBusy = UINT32_MAX) {
    uint64_t start = nowUs;
    WaitOutPause(
        ms, [this] { return now(); }, [this](uint32_t m) { return wait(m); },
        [this, waitsWhileBusy] { return waits < waitsWhileBusy; });
    return nowUs - start;
  }
};

TEST(TimedSend, PausesEndWithinATickOfTheirDeadline) {
  // Starting near the clock's wrap as well: the deadline survives it.
  for (uint64_t startUs : {uint64_t{7000}, (uint64_t{1} << 32) * 1000 - 300000}) {
    for (uint32_t ms : {1u, 5u, 49u, 50u, 51u, 1000u, 2999u}) {
      TickingClock clock{startUs};
      uint64_t took = clock.pause(ms);
      EXPECT_GE(took, uint64_t{ms} * 1000) << ms;
      EXPECT_LT(took, uint64_t{ms} * 1000 + 15625 + 1000) << ms;
      EXPECT_LE(clock.longestWait, kPauseSliceMs) << ms;
    }
  }
  TickingClock clock{0};
  EXPECT_EQ(clock.pause(0), 0u);
  EXPECT_EQ(clock.waits, 0u);
}

TEST(TimedSend, PauseStopsAtACancel) {
  TickingClock byEvent{0};
  byEvent.cancelAtWait = 2;
  byEvent.pause(INT32_MAX);
  EXPECT_EQ(byEvent.waits, 2u);
  // A cancel that only clears the busy flag ends the pause after the wait
  // in progress.
  TickingClock byFlag{0};
  byFlag.pause(INT32_MAX, 3);
  EXPECT_EQ(byFlag.waits, 3u);
}

TEST(TimedSend, ComposeTitle) {
  EXPECT_EQ(ComposeTitle(L"Tarn#Vik", L"", L"", L' '), L"Tarn#Vik    ");
  EXPECT_EQ(ComposeTitle(L"Tarn#Vik", L"LINE", L"3/10", L'|'), L"Tarn#Vik LINE 3/10 |");
  EXPECT_EQ(ComposeTitle(L"", L"ALL", L"", L'/'), L" ALL  /");
}

}  // namespace
}  // namespace tv
