// Send jobs started and cancelled as the UI thread does.
#include <windows.h>

#include <gtest/gtest.h>

#include "../support/FakePort.h"
#include "app/JobRunner.h"
#include "send/TimedSend.h"

namespace tv {
namespace {

// A cancel that comes before the job's thread has taken its first step is
// kept: the thread never marks the job busy again, which in the repeating
// modes ran it until the next cancel.
TEST(JobRunner, ACancelBeforeTheThreadRunsIsKept) {
  AppState app;
  app.delayMode = kDelayLoopAll;
  UiBridge bridge;
  FakePort port;
  JobRunner runner(app, bridge, port);
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(runner.startText(L"AT\r\n", 16));
    runner.cancel(JobKind::Text);
    runner.wait(3000);
    ASSERT_TRUE(runner.idle(JobKind::Text)) << "round " << round << ": the job ran on after its cancel";
    EXPECT_FALSE(runner.busy(JobKind::Text));
  }
}

}  // namespace
}  // namespace tv
