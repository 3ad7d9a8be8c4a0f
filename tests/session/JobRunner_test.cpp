// Send jobs started and cancelled as the window's thread does.
#include "session/JobRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>

#include "../support/FakeHost.h"
#include "../support/FakePort.h"
#include "base/Threading.h"

namespace tv {
namespace {

struct Runner {
  FakePort port;
  FakeHost host;
  TitleParts title;
  std::atomic<DelayMode> mode{DelayMode::Off};
  std::atomic<int32_t> delayMs{0};
  std::wstring said;
  JobRunner runner{port, SystemClock(), host, title, mode, delayMs, [this](const std::wstring& text) { said += text; }};
};

// A cancel that comes before the job's thread has taken its first step is
// kept: the thread never marks the job busy again, which in the repeating
// modes ran it until the next cancel.
TEST(JobRunner, ACancelBeforeTheThreadRunsIsKept) {
  Runner r;
  r.mode = DelayMode::LoopAll;
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(r.runner.start(JobKind::Text, 16, [](const SendContext& c) {
      while (c.busy) c.host.pause();
    }));
    r.runner.cancel(JobKind::Text);
    ASSERT_TRUE(r.runner.wait(3000)) << "round " << round << ": the job ran on after its cancel";
    EXPECT_TRUE(r.runner.idle(JobKind::Text));
    EXPECT_FALSE(r.runner.busy(JobKind::Text));
  }
}

// A job that runs out of memory (a copy of a long pane, a file's buffer)
// ends as a cancelled one does, and says why, instead of ending the
// program with it.
TEST(JobRunner, AJobOutOfMemoryEndsAndSaysSo) {
  Runner r;
  ASSERT_TRUE(r.runner.start(JobKind::File, 16, [](const SendContext&) { throw std::bad_alloc(); }));
  ASSERT_TRUE(r.host.pumpUntil([&] { return r.runner.idle(JobKind::File) && !r.said.empty(); }));
  r.runner.wait(3000);
  EXPECT_FALSE(r.runner.busy(JobKind::File));
  EXPECT_EQ(r.said, JobRunner::kOutOfMemoryText);
  std::vector<Signal> seen = r.host.seen();
  EXPECT_NE(std::find(seen.begin(), seen.end(), Signal::LowMemory), seen.end()) << "the window was not asked to make room";
}

// A job inside a call that a cancel cannot end (a file read on a stalled
// network share, a write a driver keeps) is not waited for without end at
// exit, and the exit learns that it is still running: it then ends the
// process before destroying what the job uses. The wait is one deadline
// for all the jobs, not one for each.
TEST(JobRunner, AWaitAtExitSaysWhetherAJobIsStillRunning) {
  Runner r;
  Event stalled;
  for (JobKind job : {JobKind::Text, JobKind::File})
    ASSERT_TRUE(r.runner.start(job, 16, [&stalled](const SendContext&) { stalled.wait(10000); }));
  r.runner.cancelAll();
  EXPECT_EQ(r.port.interrupts, kJobKindCount) << "a write in flight is interrupted";
  const uint32_t before = SystemClock().nowMs();
  EXPECT_FALSE(r.runner.wait(200));
  EXPECT_LT(SystemClock().nowMs() - before, 400u) << "each stalled job was waited for in turn";
  stalled.set();
  EXPECT_TRUE(r.runner.wait(5000));
}

// A job pressed while the port opens holds its place: busy, so a second
// press cancels it, and not idle, so no other job starts beside it; one
// cancelled meanwhile never runs.
TEST(JobRunner, AReservedJobCancelledBeforeItsLaunchNeverRuns) {
  Runner r;
  r.runner.reserve(JobKind::Hex);
  EXPECT_TRUE(r.runner.busy(JobKind::Hex));
  EXPECT_FALSE(r.runner.idle(JobKind::Hex));
  r.runner.cancel(JobKind::Hex);
  bool ran = false;
  EXPECT_FALSE(r.runner.launch(JobKind::Hex, 16, [&ran](const SendContext&) { ran = true; }));
  EXPECT_TRUE(r.runner.wait(1000));
  EXPECT_FALSE(ran);
  EXPECT_TRUE(r.runner.idle(JobKind::Hex));
}

}  // namespace
}  // namespace tv
