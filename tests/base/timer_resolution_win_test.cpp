// The opt-out from Windows 11's timer throttling of hidden windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "base/TimerResolution.h"

namespace tv {
namespace {

struct Request {
  HANDLE process;
  int infoClass;
  DWORD size;
  std::vector<ULONG> fields;
};
std::vector<Request> g_requests;

BOOL WINAPI RecordingSet(HANDLE process, int infoClass, void* info, DWORD size) {
  const ULONG* fields = static_cast<const ULONG*>(info);
  g_requests.push_back({process, infoClass, size, std::vector<ULONG>(fields, fields + size / sizeof(ULONG))});
  return TRUE;
}

// The request the system documents: ProcessPowerThrottling (4) with a
// PROCESS_POWER_THROTTLING_STATE of version 1 whose control mask takes
// over PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION (4) and whose state
// mask leaves it clear, so the resolution is always honoured. A system
// without the call (XP to Windows 7) is asked nothing.
TEST(TimerResolution, TheProcessAsksToKeepItsTicksWhereTheSystemCan) {
  g_requests.clear();
  EXPECT_TRUE(KeepFineTicksWhenHidden(RecordingSet));
  ASSERT_EQ(g_requests.size(), 1u);
  EXPECT_EQ(g_requests[0].process, GetCurrentProcess());
  EXPECT_EQ(g_requests[0].infoClass, 4);
  EXPECT_EQ(g_requests[0].size, 12u);
  EXPECT_EQ(g_requests[0].fields, (std::vector<ULONG>{1, 4, 0}));

  EXPECT_FALSE(KeepFineTicksWhenHidden(nullptr));
  // Whatever this system has, asking it does no harm.
  KeepFineTicksWhenHidden(FindSetProcessInformation());
}

}  // namespace
}  // namespace tv
