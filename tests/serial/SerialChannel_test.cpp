#include "serial/SerialChannel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "../support/FakeClock.h"
#include "../support/FakeComm.h"
#include "../support/WaitFor.h"
#include "send/BlockWriter.h"

namespace tv {
namespace {

using Call = FakeComm::Call;
using Ends = FakeComm::Transfer::Ends;

constexpr uint32_t kNotReady = 21;    // ERROR_NOT_READY: Wine's answer once the pty's far end is gone
constexpr uint32_t kBrokenPipe = 109;  // ERROR_BROKEN_PIPE: Wine's pending read on it
constexpr uint32_t kGenFailure = 31;  // ERROR_GEN_FAILURE: a USB adapter pulled on Windows

const LineValues kLine{115200, 8, 0, 0, 0};

class Channel : public ::testing::Test {
 protected:
  bool open() { return channel.openChannel(L"COM7", kLine); }
  std::size_t indexOf(Call call) {
    return static_cast<std::size_t>(std::find(comm.calls.begin(), comm.calls.end(), call) - comm.calls.begin());
  }

  FakeComm comm;
  FakeClock clock;
  int lost = 0;
  SerialChannel channel{comm, clock, [this] { ++lost; }};
};

TEST_F(Channel, OpensThoughTheQueueSizesAreRefusedButNotWithoutTheDriversState) {
  comm.state.fNull = 1;
  comm.state.xonChar = comm.state.xoffChar = 0x13;
  comm.failNext(Call::SetupQueues, 87);
  ASSERT_TRUE(open());
  EXPECT_LT(indexOf(Call::SetupQueues), indexOf(Call::SetState)) << "queue sizes are asked before the state is set";
  DcbFields expected = comm.state;
  PrepareDcb(expected, kLine);
  EXPECT_EQ(comm.applied.fNull, expected.fNull);
  EXPECT_EQ(comm.applied.xonChar, expected.xonChar);
  EXPECT_EQ(comm.applied.baudRate, 115200u);
  EXPECT_EQ(comm.ticksHeld, 1);
  channel.closeChannel();
  EXPECT_EQ(comm.ticksHeld, 0);

  // Writing made-up fields over a state that could not be read would set
  // whatever the zeroes mean to the driver.
  for (Call failing : {Call::GetState, Call::SetState}) {
    comm.failNext(failing, 31);
    // Asked again once when refused.
    if (failing == Call::SetState) comm.failNext(failing, 31);
    comm.applied = DcbFields{};
    EXPECT_FALSE(open());
    EXPECT_FALSE(channel.isOpen());
    EXPECT_EQ(comm.applied.baudRate, 0u);
    EXPECT_EQ(comm.openHandles, 0);
    EXPECT_EQ(comm.liveRecords(), 0u);
    EXPECT_EQ(comm.ticksHeld, 0);
  }
  EXPECT_TRUE(open());
}

// A driver with a small input buffer refuses XON/XOFF limits beyond it in
// every flow mode; with the queue sizes refused too, the port still opens,
// with limits taken from what the driver says of its buffer or, when it
// says nothing, with its own.
TEST_F(Channel, ADriverWithASmallQueueStillOpens) {
  comm.inBuffer = 1024;
  comm.state.xonLim = 512;
  comm.state.xoffLim = 256;
  comm.failAlways(Call::SetupQueues, 87);
  ASSERT_TRUE(open());
  EXPECT_EQ(comm.applied.xonLim, 1024u / 5);
  EXPECT_EQ(comm.applied.xoffLim, 1024u / 5);
  DcbFields expected = comm.state;
  PrepareDcb(expected, kLine);
  EXPECT_EQ(comm.applied.baudRate, expected.baudRate);
  EXPECT_EQ(comm.applied.fRtsControl, expected.fRtsControl);
  EXPECT_EQ(comm.applied.xonChar, expected.xonChar);
  channel.closeChannel();

  comm.tellsInBuffer = false;
  ASSERT_TRUE(open());
  EXPECT_EQ(comm.applied.xonLim, 512u);
  EXPECT_EQ(comm.applied.xoffLim, 256u);
  channel.closeChannel();

  // Asked again once only.
  comm.calls.clear();
  comm.inBuffer = 100;
  EXPECT_FALSE(open());
  EXPECT_EQ(std::count(comm.calls.begin(), comm.calls.end(), Call::SetState), 2);
  EXPECT_EQ(comm.openHandles, 0);
}

// A port that fails without a word from the system: the first hard error
// of a queue query, read or write is reported once, and the channel
// refuses further transfers at once, so no job retries writes for ever.
TEST_F(Channel, AHardErrorReportsThePortLostOnceAndEndsTheTransfers) {
  ASSERT_TRUE(open());
  comm.failAlways(Call::Queued, kNotReady);
  comm.failAlways(Call::StartRead, kNotReady);
  comm.failAlways(Call::StartWrite, kNotReady);
  uint8_t buffer[16];
  EXPECT_EQ(channel.read(buffer, sizeof buffer).status, IoStatus::Failed);
  EXPECT_EQ(lost, 1);
  EXPECT_TRUE(channel.lost());
  EXPECT_FALSE(channel.isOpen());
  EXPECT_EQ(channel.read(buffer, sizeof buffer).status, IoStatus::Closed);

  // Retrying a write that fails at once sleeps; a job that did so for good
  // is cancelled here after a while.
  Flag busy{1};
  struct CountingClock final : Clock {
    explicit CountingClock(Flag& job) : busy(job) {}
    uint32_t nowMs() override { return 0; }
    void sleepMs(uint32_t) override {
      if (++sleeps == 50) busy = 0;
    }
    Flag& busy;
    int sleeps = 0;
  } clock(busy);
  const uint8_t bytes[] = {1, 2, 3};
  EXPECT_FALSE(BlockWriter(channel, clock, busy, 2).write(bytes, sizeof bytes));
  EXPECT_EQ(clock.sleeps, 0);
  EXPECT_EQ(lost, 1) << "reported once";

  EXPECT_TRUE(channel.closeChannel());
  EXPECT_FALSE(channel.lost());
  ASSERT_TRUE(open());
  EXPECT_FALSE(channel.lost());
  EXPECT_TRUE(channel.isOpen());
}

// The read goes by what the driver holds, not by its count: some virtual
// and Bluetooth drivers report 0 or lag behind, and some refuse the status
// query altogether while reading well.
TEST_F(Channel, ReadsTakeWhatTheDriverHoldsWhateverItsQueueQuerySays) {
  ASSERT_TRUE(open());
  comm.countNothing();
  comm.deliver({1, 2, 3});
  uint8_t buffer[8] = {};
  IoResult r = channel.read(buffer, sizeof buffer);
  EXPECT_EQ(r.bytes, 3u);
  EXPECT_EQ(buffer[2], 3);

  constexpr uint32_t kInvalidFunction = 1;
  comm.failAlways(Call::Queued, kInvalidFunction);
  comm.deliver({4, 5});
  EXPECT_EQ(channel.read(buffer, sizeof buffer).bytes, 2u);
  EXPECT_EQ(channel.read(buffer, sizeof buffer).bytes, 0u);
  EXPECT_EQ(lost, 0);
  EXPECT_TRUE(channel.isOpen());

  // With the query refused, a read that does not complete either is the
  // port failing.
  comm.deliver({6});
  comm.scriptReads({{Ends::Never}});
  EXPECT_EQ(channel.read(buffer, sizeof buffer).status, IoStatus::Failed);
  EXPECT_EQ(lost, 1);
}

// A driver in the abort-on-error mode aborts transfers until a queue query
// clears it: no failure. One that aborts every transfer for good while its
// queries succeed would leave the port looking open with nothing arriving
// and a send retrying until cancelled: after about a second of aborted
// transfers that moved nothing it is reported lost.
TEST_F(Channel, ADriverThatAbortsEveryTransferForGoodIsLostAfterASecond) {
  ASSERT_TRUE(open());
  uint8_t buffer[16];
  // The receive poll: a read a millisecond.
  auto pollFor = [&](uint32_t ms) {
    for (uint32_t end = clock.now + ms; clock.now < end; ++clock.now) channel.read(buffer, sizeof buffer);
  };
  comm.failAlways(Call::StartRead, comm_error::kOperationAborted);
  pollFor(900);
  EXPECT_EQ(lost, 0);
  // A read that moves bytes ends the run.
  comm.failNoMore(Call::StartRead);
  comm.deliver({1});
  EXPECT_EQ(channel.read(buffer, sizeof buffer).bytes, 1u);
  comm.failAlways(Call::StartRead, comm_error::kOperationAborted);
  pollFor(900);
  EXPECT_EQ(lost, 0);
  pollFor(200);
  EXPECT_EQ(lost, 1);
  EXPECT_FALSE(channel.isOpen());
  channel.closeChannel();

  // A send through such a driver stops by itself, pending writes aborted
  // as well as ones refused at once.
  ASSERT_TRUE(open());
  std::vector<FakeComm::Transfer> aborts(400, {Ends::InWait, comm_error::kOperationAborted, 0});
  comm.scriptWrites(aborts);
  Flag busy{1};
  struct GuardClock final : Clock {
    GuardClock(FakeClock& c, Flag& b) : clock(c), busy(b) {}
    uint32_t nowMs() override { return clock.now; }
    void sleepMs(uint32_t ms) override {
      clock.now += ms;
      if (++sleeps == 1000) busy = 0;  // what a user's cancel would do
    }
    FakeClock& clock;
    Flag& busy;
    int sleeps = 0;
  } jobClock(clock, busy);
  const uint8_t bytes[] = {1, 2, 3};
  EXPECT_FALSE(BlockWriter(channel, jobClock, busy, 3).write(bytes, sizeof bytes));
  EXPECT_EQ(lost, 2);
  EXPECT_EQ(busy, 1) << "retried until cancelled";
  EXPECT_LT(jobClock.sleeps, 150);
}

TEST_F(Channel, TimeOutsAndCancelsAreNoFailureButAFailedCompletionIs) {
  ASSERT_TRUE(open());
  Flag going{1};
  const uint8_t bytes[] = {'a', 'b', 'c', 'd'};
  comm.scriptWrites({{Ends::InWait, comm_error::kCounterTimeout, 1},
                     {Ends::InWait, comm_error::kOperationAborted, 1},
                     {Ends::AtOnce, comm_error::kSemTimeout, 0},
                     {Ends::InWait, 0, 1}});
  EXPECT_EQ(channel.write(bytes, 4, going).bytes, 1u);
  EXPECT_EQ(channel.write(bytes + 1, 3, going).bytes, 1u);
  EXPECT_EQ(channel.write(bytes + 2, 2, going).status, IoStatus::TimedOut);
  EXPECT_EQ(channel.write(bytes + 2, 2, going).bytes, 1u);
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(comm.written(), std::vector<uint8_t>({'a', 'b', 'c'}));

  comm.deliver({'x'});
  comm.scriptReads({{Ends::InWait, kBrokenPipe}});
  uint8_t buffer[4];
  EXPECT_EQ(channel.read(buffer, sizeof buffer).status, IoStatus::Failed);
  EXPECT_EQ(lost, 1);
}

// A call into the driver that does not return (a Bluetooth port out of
// reach, a driver after an unplug) holds no close: the close gives up
// waiting for it after a while, the port opens again meanwhile, and the
// thread in the call closes the old port once the call returns.
TEST_F(Channel, ADriverCallThatHangsHoldsNeitherTheCloseNorTheNextOpen) {
  ASSERT_TRUE(open());
  comm.holdNextQueued();
  IoResult stuck;
  std::thread reader([&] {
    uint8_t buffer[8];
    stuck = channel.read(buffer, sizeof buffer);
  });
  ASSERT_TRUE(WaitFor([&] { return comm.insideQueued(); }));
  std::atomic<bool> closed{false};
  std::thread closer([&] {
    channel.closeChannel();
    closed = true;
  });
  EXPECT_TRUE(WaitFor([&] { return closed.load(); })) << "the close waited for the driver's call";
  EXPECT_FALSE(channel.isOpen());
  EXPECT_EQ(comm.openHandles, 1) << "closed under the call";

  if (closed) {
    ASSERT_TRUE(open());
    comm.deliver({9});
    uint8_t buffer[8] = {};
    EXPECT_EQ(channel.read(buffer, sizeof buffer).bytes, 1u);
    EXPECT_EQ(comm.openHandles, 2);
  }
  comm.letQueuedGo();
  reader.join();
  closer.join();
  EXPECT_EQ(stuck.status, IoStatus::Closed);
  EXPECT_EQ(comm.openHandles, closed ? 1 : 0) << "the old port is closed by the thread that held it";
  EXPECT_EQ(lost, 0);
  channel.closeChannel();
  EXPECT_EQ(comm.openHandles, 0);
  EXPECT_EQ(comm.liveRecords(), 0u);
}

// A write of a whole frame lasts seconds at a low rate, and one the device
// holds back (CTS low, an XOFF) lasts until its time-out: a cancel ends the
// write in flight at once and drops what the driver holds to send, and the
// next job's writes go out as usual.
TEST_F(Channel, ACancelEndsTheWriteInFlightAndDropsWhatTheDriverHolds) {
  ASSERT_TRUE(channel.openChannel(L"COM7", LineValues{9600, 8, 0, 0, 0}));
  // 1.04 ms a byte: the time-out grows with the line time of what is written.
  EXPECT_EQ(comm.writeTimeoutMsPerByte, 2u);
  comm.capWaits(10000);
  comm.scriptWrites({{Ends::OnCancel}});
  Flag busy{1};
  std::vector<uint8_t> frame(WriteCapBytes(LineValues{9600, 8, 0, 0, 0}), 0x55);
  std::atomic<bool> done{false};
  bool out = true;
  std::thread job([&] {
    out = BlockWriter(channel, clock, busy, frame.size()).write(frame.data(), frame.size());
    done = true;
  });
  ASSERT_TRUE(WaitFor([&] { return comm.waitCount() == 1; }));
  EXPECT_EQ(comm.waits[0], SerialChannel::kWriteTimeoutMs + 2 * frame.size());
  busy = 0;
  channel.interruptWrite();
  EXPECT_TRUE(WaitFor([&] { return done.load(); }, 3)) << "the cancel waited for the write";
  job.join();
  EXPECT_FALSE(out);
  EXPECT_NE(std::find(comm.calls.begin(), comm.calls.end(), Call::Purge), comm.calls.end());
  EXPECT_NE(std::find(comm.calls.begin(), comm.calls.end(), Call::Cancel), comm.calls.end());
  EXPECT_EQ(lost, 0);

  // A cancel that came after the write had ended cuts no later one short.
  busy = 1;
  channel.interruptWrite();
  comm.calls.clear();
  comm.capWaits(50);
  comm.scriptWrites({{Ends::OnCancel}});
  const uint8_t next[] = {'o', 'k'};
  EXPECT_TRUE(BlockWriter(channel, clock, busy, 16).write(next, sizeof next));
  EXPECT_EQ(comm.written(), std::vector<uint8_t>({'o', 'k'}));
  EXPECT_EQ(std::count(comm.calls.begin(), comm.calls.end(), Call::Purge), 0);
}

// Some drivers never complete a cancelled transfer after an unplug. The
// channel waits a bounded time, then leaves the record and its buffer to
// the driver for good (a late completion writes into them, never into
// freed or reused memory) and never blocks a close or a reopen.
TEST_F(Channel, ACancelThatNeverCompletesIsAbandonedNotWaitedFor) {
  ASSERT_TRUE(open());
  comm.deliver({1, 2, 3});
  comm.scriptReads({{Ends::Never}});
  uint8_t buffer[8] = {};
  IoResult r = channel.read(buffer, sizeof buffer);
  EXPECT_EQ(r.status, IoStatus::Failed);
  EXPECT_EQ(comm.waits, std::vector<uint32_t>({SerialChannel::kReadWaitMs, SerialChannel::kCancelWaitMs}));
  EXPECT_EQ(lost, 1);
  EXPECT_TRUE(channel.closeChannel());
  EXPECT_EQ(comm.liveRecords(), 1u) << "only the abandoned record is kept";
  comm.completeLate();
  EXPECT_EQ(buffer[0], 0) << "the driver never had the caller's buffer";

  // A write cut short by a close from another thread: the close returns
  // within the bounded wait, and the bytes the driver may still send are
  // the channel's copy, whatever the job does with its own afterwards.
  ASSERT_TRUE(open());
  comm.capWaits(10000);
  comm.scriptWrites({{Ends::Never}});
  std::vector<uint8_t> block = {'o', 'k'};
  IoResult w;
  Flag going{1};
  std::thread job([&] { w = channel.write(block.data(), block.size(), going); });
  while (comm.waitCount() < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  comm.capWaits(20);
  auto before = std::chrono::steady_clock::now();
  EXPECT_TRUE(channel.closeChannel());
  job.join();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
  EXPECT_EQ(w.status, IoStatus::Failed);
  block.assign(block.size(), 0);
  comm.completeLate();
  EXPECT_EQ(comm.written(), std::vector<uint8_t>({'o', 'k'}));

  ASSERT_TRUE(open());
  comm.deliver({7});
  EXPECT_EQ(channel.read(buffer, sizeof buffer).bytes, 1u);
  EXPECT_EQ(buffer[0], 7);
}

// A driver refuses a new open as denied while the handle of the last one
// is still closing (USB adapters, Bluetooth). Right after the channel's own
// close of the port the open is asked again, for about a second; a port
// another program holds (no close of ours before it) is refused at once,
// and so is one after the second has passed.
TEST_F(Channel, AnOpenDeniedRightAfterOurOwnCloseIsAskedAgainForASecond) {
  ASSERT_TRUE(open());
  channel.closeChannel();
  for (int i = 0; i < 5; ++i) comm.failNext(Call::Open, comm_error::kAccessDenied);
  const uint32_t closedAt = clock.now;
  ASSERT_TRUE(open()) << "the reopen gave up at the first denial";
  EXPECT_EQ(std::count(comm.calls.begin(), comm.calls.end(), Call::Open), 7);
  EXPECT_LT(clock.now - closedAt, SerialChannel::kReopenRetryMs);

  // Still denied a second after the close: left closed, as before.
  channel.closeChannel();
  comm.failAlways(Call::Open, comm_error::kAccessDenied);
  comm.calls.clear();
  EXPECT_FALSE(open());
  EXPECT_GE(std::count(comm.calls.begin(), comm.calls.end(), Call::Open), 2);

  // Another port, or no close of ours before: the first denial stands.
  comm.calls.clear();
  EXPECT_FALSE(channel.openChannel(L"COM8", kLine));
  EXPECT_EQ(std::count(comm.calls.begin(), comm.calls.end(), Call::Open), 1);
  FakeComm otherComm;
  SerialChannel fresh(otherComm, clock, [] {});
  otherComm.failAlways(Call::Open, comm_error::kAccessDenied);
  EXPECT_FALSE(fresh.openChannel(L"COM7", kLine));
  EXPECT_EQ(std::count(otherComm.calls.begin(), otherComm.calls.end(), Call::Open), 1);
  // Any other error is not retried either.
  comm.failNoMore(Call::Open);
  channel.closeChannel();
  comm.failNext(Call::Open, 2);
  comm.calls.clear();
  EXPECT_FALSE(open());
  EXPECT_EQ(std::count(comm.calls.begin(), comm.calls.end(), Call::Open), 1);
}

// Memory that runs out after the port was opened (a transfer's record)
// must not leave the handle open: the port could then not be opened again
// by anyone until the program ends.
TEST_F(Channel, AnOpenThatRunsOutOfMemoryClosesThePort) {
  comm.newIoThrows = true;
  bool threw = false;
  try {
    EXPECT_FALSE(open());
  } catch (const std::bad_alloc&) {
    threw = true;
  }
  EXPECT_TRUE(threw);
  EXPECT_EQ(comm.openHandles, 0) << "the handle was left open";
  EXPECT_EQ(comm.liveRecords(), 0u);
  EXPECT_FALSE(channel.isOpen());
  comm.newIoThrows = false;
  EXPECT_TRUE(open());
}

// A board with a native USB port sends nothing until DTR is raised: a
// level held by the user goes into the configuration of the open, with no
// line call between the open and it; changed while open, the line changes
// at once; a driver that refuses the call leaves the port open.
TEST_F(Channel, ModemLinesGoIntoTheOpensConfigurationAndChangeAtOnceWhileOpen) {
  LineValues held = kLine;
  held.dtr = LineLevel::On;
  held.rts = LineLevel::Off;
  ASSERT_TRUE(channel.openChannel(L"COM7", held));
  EXPECT_EQ(comm.applied.fDtrControl, kControlEnable);
  EXPECT_EQ(comm.applied.fRtsControl, kControlDisable);
  EXPECT_TRUE(comm.lineFunctions().empty()) << "a pulse of the program's own before the configuration";

  uint32_t error = 1;
  EXPECT_TRUE(channel.setModemLine(true, LineLevel::Off, error));
  EXPECT_TRUE(channel.setModemLine(false, LineLevel::On, error));
  EXPECT_EQ(error, 0u);
  // Back to following flow mode 0, which drops the line.
  EXPECT_TRUE(channel.setModemLine(false, LineLevel::FollowFlow, error));
  EXPECT_EQ(comm.lineFunctions(),
            (std::vector<LineFunction>{LineFunction::ClearDtr, LineFunction::SetRts, LineFunction::ClearRts}));

  constexpr uint32_t kNotSupported = 50;
  comm.failNext(Call::LineFunction, kNotSupported);
  EXPECT_FALSE(channel.setModemLine(true, LineLevel::On, error));
  EXPECT_EQ(error, kNotSupported);
  EXPECT_TRUE(channel.isOpen());
  EXPECT_EQ(lost, 0);
  EXPECT_TRUE(channel.setBreak(true, error));
  EXPECT_TRUE(channel.setBreak(false, error));
  channel.closeChannel();
  EXPECT_FALSE(channel.setModemLine(true, LineLevel::On, error));
  EXPECT_EQ(error, 0u);

  // Following XON/XOFF again, a line gets back the level the driver had
  // at the open.
  comm.state.fDtrControl = kControlEnable;
  held.flowMode = 3;
  held.dtr = LineLevel::Off;
  ASSERT_TRUE(channel.openChannel(L"COM7", held));
  EXPECT_EQ(comm.applied.fDtrControl, kControlDisable);
  EXPECT_TRUE(channel.setModemLine(true, LineLevel::FollowFlow, error));
  EXPECT_EQ(comm.lineFunctions().back(), LineFunction::SetDtr);
}

// An adapter that does not take 921600 leaves the port closed; the open
// says it was the rate, and only then. At the fast rates a block of 100 ms
// of line time is one write of the driver, not cut at 4 KiB.
TEST_F(Channel, ARefusedRateIsToldApartAndFastRatesWriteWholeBlocks) {
  comm.state.baudRate = 9600;
  comm.fastestRate = 460800;
  LineValues fast = kLine;
  fast.baudRate = 921600;
  SerialChannel::Opened opened = channel.prepare(L"COM7", fast);
  EXPECT_FALSE(opened);
  EXPECT_TRUE(opened.rateRefused());
  EXPECT_EQ(comm.openHandles, 0);

  comm.failAlways(Call::SetState, 87);
  opened = channel.prepare(L"COM7", kLine);
  EXPECT_FALSE(opened);
  EXPECT_FALSE(opened.rateRefused()) << "blamed on the rate, which the driver takes";
  comm.failNoMore(Call::SetState);

  comm.fastestRate = 0;
  ASSERT_TRUE(channel.openChannel(L"COM7", fast));
  const std::size_t block = WriteCapBytes(fast);
  ASSERT_GT(block, SerialChannel::kIoBytes);
  std::vector<uint8_t> frame(block, 0x55);
  Flag going{1};
  BlockWriter writer(channel, clock, going, block);
  EXPECT_TRUE(writer.write(frame.data(), frame.size()));
  EXPECT_EQ(std::count(comm.calls.begin(), comm.calls.end(), Call::StartWrite), 1);
  EXPECT_EQ(comm.written().size(), block);
}

}  // namespace
}  // namespace tv
