#include "serial/ReceivePipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../support/FakeClock.h"
#include "../support/FakePort.h"
#include "../support/WaitFor.h"
#include "base/HexCodec.h"
#include "serial/ReceiveFeed.h"

namespace tv {
namespace {

// Lead bytes 0x81..0xFE; a pair is one character, anything else stays as it is.
bool IsLead(uint8_t b) { return b >= 0x81 && b <= 0xFE; }

std::wstring Convert(const char* bytes, std::size_t n) {
  std::wstring out;
  for (std::size_t i = 0; i < n; ++i) {
    uint8_t b = static_cast<uint8_t>(bytes[i]);
    if (IsLead(b) && i + 1 < n) {
      out.push_back(static_cast<wchar_t>(0x4E00 + static_cast<uint8_t>(bytes[++i])));
    } else {
      out.push_back(IsLead(b) ? L'?' : static_cast<wchar_t>(b));
    }
  }
  return out;
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// The hex view's text for bytes that start a line: 16 "XX " to a line.
std::wstring HexLines(const std::vector<uint8_t>& data) {
  std::wstring flat = FormatHexBytes(data.data(), data.size());
  std::wstring out;
  for (std::size_t at = 0; at < flat.size(); at += 48) {
    out += flat.substr(at, 48);
    if (at + 48 <= flat.size()) out += L'\n';
  }
  return out;
}

// The view as the UI thread sees it: every insertion recorded, each taking
// msPerInsertion of the UI thread's clock, which moves only then.
struct RecordingView final : TextView {
  explicit RecordingView(FakeClock& c) : clock(c) {}
  void append(const std::wstring& text) override {
    shown += text;
    ++insertions;
    clock.now += msPerInsertion;
  }
  void replaceAll(const std::wstring& text) override { shown = text; }
  void clear() override { shown.clear(); }
  FakeClock& clock;
  uint32_t msPerInsertion = 0;
  std::wstring shown;
  int insertions = 0;
};

// The reader on its own thread over a fake port; the test is the UI thread.
class Receiving : public ::testing::Test {
 protected:
  void start() {
    reader_ = std::thread([this] { pipeline.run(port, SystemClock(), running_, hexMode); });
  }
  void stop() {
    running_ = 0;
    if (reader_.joinable()) reader_.join();
  }
  void TearDown() override { stop(); }

  FakePort port;
  Flag hexMode{0};
  std::atomic<int> wakes{0};
  std::atomic<bool> wakeWorks{true};
  ReceivePipeline pipeline{IsLead, Convert, [this] {
                             ++wakes;
                             return wakeWorks.load();
                           }};

 private:
  Flag running_{1};
  std::thread reader_;
};

TEST_F(Receiving, ReadsOnWhileTheViewTakesNothingAndKeepsEveryByteInOrder) {
  // A view busy for as long as the device sends: the reader must have read
  // everything by itself, whatever sizes the driver's reads come in.
  std::vector<uint8_t> data(300000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  port.setReadSplits({1, 1024, 3, 700, 1024, 1024, 2, 511});
  port.deliver(data);
  hexMode = 1;
  start();
  ASSERT_TRUE(WaitFor([&] { return port.unread() == 0; })) << port.unread() << " bytes never read";
  stop();
  // One request for the whole backlog, since nothing was taken meanwhile.
  EXPECT_EQ(wakes, 1);
  EXPECT_EQ(pipeline.take(), HexLines(data));
}

// With flow control on the line, the driver holds the device back while
// the reader waits for the view: nothing is skipped.
TEST(ReceiveBound, WithFlowControlTheReaderStopsAtTheBoundAndGoesOnOnceTheViewTakes) {
  constexpr std::size_t kLimit = 20000;
  FakePort port;
  ReceivePipeline pipeline(IsLead, Convert, [] { return true; }, kLimit);
  pipeline.holdBackAtBound(true);
  std::vector<uint8_t> data(200000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 251);
  port.deliver(data);
  Flag running{1}, hexMode{1};
  std::thread reader([&] { pipeline.run(port, SystemClock(), running, hexMode); });
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldBytes() >= kLimit; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  // Held back in the driver, not thrown away.
  EXPECT_LE(pipeline.heldBytes(), kLimit + ReceivePipeline::kReadBytes);
  EXPECT_EQ(pipeline.heldUnits(), 3 * pipeline.heldBytes() + pipeline.heldBytes() / 16);
  EXPECT_GT(port.unread(), 0u);
  std::wstring shown;
  while (port.unread() > 0 || pipeline.heldUnits() > 0) {
    shown += pipeline.take(7001);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  running = 0;
  reader.join();
  shown += pipeline.take();
  EXPECT_EQ(shown, HexLines(data));
}

// Every read, in order and untouched, whatever the view does with it.
struct RecordingTap final : ReceiveTap {
  void put(const uint8_t* bytes, std::size_t n) override {
    std::lock_guard<std::mutex> hold(m);
    got.insert(got.end(), bytes, bytes + n);
  }
  std::vector<uint8_t> bytes() {
    std::lock_guard<std::mutex> hold(m);
    return got;
  }
  std::mutex m;
  std::vector<uint8_t> got;
};

// Where the hex view's text for data puts byte k (16 to a line).
std::size_t HexAt(std::size_t k) { return 3 * k + k / 16; }

// Without flow control a stop at the bound only moved the loss into the
// driver, which overruns within milliseconds at a high rate: the reader
// reads on while the view takes nothing, the tap gets every byte, and
// the view is given the newest text it keeps, after one line that says
// exactly how many bytes it skipped (not one per read).
TEST(ReceiveBound, WithoutFlowControlTheReaderReadsOnAndTheViewSkipsWhatItCouldNeverKeep) {
  constexpr std::size_t kKept = 30000;
  FakePort port;
  RecordingTap tap;
  ReceivePipeline pipeline(IsLead, Convert, [] { return true; }, 20000);
  pipeline.setTap(&tap);
  pipeline.setKeptUnits(kKept);
  std::vector<uint8_t> data(300000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + (i >> 10));
  port.setReadSplits({1024, 5, 1024, 700});
  port.deliver(data);
  Flag running{1}, hexMode{1};
  std::thread reader([&] { pipeline.run(port, SystemClock(), running, hexMode); });
  ASSERT_TRUE(WaitFor([&] { return port.unread() == 0; })) << "the reader stopped for a view behind";
  running = 0;
  reader.join();
  EXPECT_EQ(tap.bytes(), data);

  const std::wstring shown = pipeline.take();
  EXPECT_LE(shown.size(), kKept);
  EXPECT_GE(shown.size(), kKept / 2 - 4000);
  const std::size_t lineEnd = shown.find(L'\n');
  ASSERT_NE(lineEnd, std::wstring::npos);
  const uint64_t skipped = pipeline.skippedBytes();
  EXPECT_EQ(shown.substr(0, lineEnd + 1), ReceivePipeline::SkippedLine(skipped));
  EXPECT_EQ(shown.substr(lineEnd + 1), HexLines(data).substr(HexAt(skipped))) << "not the newest bytes, or miscounted";

  // Skipped again once the view has taken part of a read: the rest of that
  // read still shows (its bytes left are known only in proportion), then
  // a line of its own that counts only the new skip, exactly.
  auto hexRun = [](uint8_t byte, std::size_t from, std::size_t to) {
    std::wstring out;
    const std::wstring pair = FormatHexBytes(&byte, 1);
    for (std::size_t k = from; k < to; ++k) out += k % 16 == 15 ? pair + L"\n" : pair;
    return out;
  };
  port.setReadSplits({1024});
  port.deliver(std::vector<uint8_t>(1000, 0x11));
  running = 1;
  std::thread again([&] { pipeline.run(port, SystemClock(), running, hexMode); });
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldBytes() == 1000; }));
  const std::wstring ones = hexRun(0x11, 0, 1000);
  EXPECT_EQ(pipeline.take(100), ones.substr(0, 100));
  std::vector<uint8_t> more(100000, 0x22);
  port.deliver(more);
  ASSERT_TRUE(WaitFor([&] { return port.unread() == 0; }));
  running = 0;
  again.join();
  const std::wstring next = pipeline.take();
  const uint64_t skippedNow = pipeline.skippedBytes() - skipped;
  ASSERT_GT(skippedNow, 0u);
  EXPECT_EQ(next, ones.substr(100) + L"\n" + ReceivePipeline::SkippedLine(skippedNow) +
                      hexRun(0x22, 1000 + skippedNow, 1000 + more.size()));
}

// A board's coloured console flooding a view that falls behind: what is
// skipped takes its colour changes with it, the skip line shows plainly,
// and every character kept keeps its own colour (a change left where the
// skipped text was painted the wrong stretch).
TEST(ReceiveBound, SkippedColouredTextTakesItsLooksAlong) {
  FakePort port;
  ReceivePipeline pipeline(IsLead, Convert, [] { return true; }, 20000);
  pipeline.setKeptUnits(20000);
  ReceiveOptions colours;
  colours.ansiColors = true;
  pipeline.setOptions(colours, LocalTime{});
  std::string line;
  std::vector<uint8_t> data;
  for (int n = 0; n < 6000; ++n) {
    line = "\x1b[31mRED\x1b[0m plain " + std::to_string(n % 10) + "\n";
    data.insert(data.end(), line.begin(), line.end());
  }
  port.setReadSplits({1000, 333});
  port.deliver(data);
  Flag running{1}, hexMode{0};
  std::thread reader([&] { pipeline.run(port, SystemClock(), running, hexMode); });
  ASSERT_TRUE(WaitFor([&] { return port.unread() == 0; }));
  running = 0;
  reader.join();
  std::vector<StyleRun> runs;
  const std::wstring shown = pipeline.take(static_cast<std::size_t>(-1), &runs);
  ASSERT_GT(pipeline.skippedBytes(), 0u);
  std::vector<TextStyle> looks(shown.size(), kPlainStyle);
  for (std::size_t r = 0; r < runs.size(); ++r) {
    const std::size_t end = r + 1 < runs.size() ? runs[r + 1].at : shown.size();
    for (std::size_t k = runs[r].at; k < end && k < shown.size(); ++k) looks[k] = runs[r].style;
  }
  const std::size_t skip = shown.find(L"跳过");
  ASSERT_NE(skip, std::wstring::npos);
  const std::size_t skipEnd = shown.find(L'\n', skip);
  for (std::size_t k = shown.rfind(L'\n', skip) + 1; k <= skipEnd; ++k) EXPECT_EQ(looks[k], kPlainStyle) << k;
  TextStyle red = kPlainStyle;
  for (std::size_t k = shown.find(L"RED", skipEnd); k != std::wstring::npos; k = shown.find(L"RED", k + 3)) {
    if (red == kPlainStyle) red = looks[k];
    for (std::size_t i = k; i < k + 3; ++i) ASSERT_EQ(looks[i], red) << i;
    ASSERT_NE(red, kPlainStyle);
    for (std::size_t i = k + 3; i < k + 11; ++i) ASSERT_EQ(looks[i], kPlainStyle) << i;
  }
}

// A reader stopped for a reopen or a port event takes what the driver
// still holds before it ends: the close that follows would drop it.
TEST(ReceiveStop, AStoppedReaderReadsWhatTheDriverStillHolds) {
  FakePort port;
  ReceivePipeline pipeline(IsLead, Convert, [] { return true; });
  std::vector<uint8_t> data(3 * ReceivePipeline::kReadBytes + 100);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  port.deliver(data);
  Flag stopped{0}, hexMode{1};
  FakeClock clock;
  pipeline.run(port, clock, stopped, hexMode);
  EXPECT_EQ(port.unread(), 0u);
  EXPECT_EQ(pipeline.take(), HexLines(data));

  // Not beyond the bound for a view that has fallen behind, with flow
  // control.
  ReceivePipeline bounded(IsLead, Convert, [] { return true; }, 2 * ReceivePipeline::kReadBytes);
  bounded.holdBackAtBound(true);
  port.deliver(data);
  bounded.run(port, clock, stopped, hexMode);
  EXPECT_EQ(bounded.heldBytes(), 2 * ReceivePipeline::kReadBytes);
  EXPECT_EQ(port.unread(), data.size() - 2 * ReceivePipeline::kReadBytes);
}

// A device that goes on talking after the stop: what it sends reaches the
// driver at the times the test gives, on the reader's own clock, the way a
// USB adapter hands over what it received every few milliseconds.
class PacedPort final : public Port {
 public:
  explicit PacedPort(FakeClock& clock) : clock_(clock) {}
  void sendAt(uint32_t ms, const std::vector<uint8_t>& bytes) { planned_.push_back({ms, bytes}); }

  bool isOpen() const override { return true; }
  IoResult read(uint8_t* buffer, std::size_t capacity) override {
    for (auto it = planned_.begin(); it != planned_.end();) {
      if (it->first > clock_.now) {
        ++it;
        continue;
      }
      arrived_.insert(arrived_.end(), it->second.begin(), it->second.end());
      it = planned_.erase(it);
    }
    std::size_t n = std::min(capacity, arrived_.size());
    std::copy(arrived_.begin(), arrived_.begin() + static_cast<std::ptrdiff_t>(n), buffer);
    arrived_.erase(arrived_.begin(), arrived_.begin() + static_cast<std::ptrdiff_t>(n));
    return IoResult{n, IoStatus::Done};
  }
  IoResult write(const uint8_t*, std::size_t, const Flag&) override { return IoResult{0, IoStatus::Failed}; }
  void interruptWrite() override {}

 private:
  FakeClock& clock_;
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> planned_;
  std::vector<uint8_t> arrived_;
};

// A read that finds nothing does not mean the device has finished: an
// adapter delivering every 16 ms loses everything after its first delivery
// to the close otherwise. The reader waits for a quiet line, and for no
// longer than its last pass may take.
TEST(ReceiveStop, AStoppedReaderReadsOnUntilTheLineIsQuiet) {
  Flag stopped{0}, hexMode{1};
  {
    FakeClock clock;
    PacedPort port(clock);
    ReceivePipeline pipeline(IsLead, Convert, [] { return true; });
    std::vector<uint8_t> sent;
    uint32_t last = 0;
    for (uint32_t at = 0; at <= 150; at += 16) {
      std::vector<uint8_t> bytes = {static_cast<uint8_t>(at), 0x11, 0x22, static_cast<uint8_t>(at + 1)};
      port.sendAt(at, bytes);
      sent.insert(sent.end(), bytes.begin(), bytes.end());
      last = at;
    }
    pipeline.run(port, clock, stopped, hexMode);
    EXPECT_EQ(pipeline.take(), HexLines(sent));
    EXPECT_GE(clock.now, last + ReceivePipeline::kQuietMs);
    EXPECT_LE(clock.now, last + ReceivePipeline::kQuietMs + 2) << "waited on past a quiet line";
  }
  {
    // Nothing more comes: the reader ends once the line has been quiet.
    FakeClock clock;
    PacedPort port(clock);
    ReceivePipeline pipeline(IsLead, Convert, [] { return true; });
    pipeline.run(port, clock, stopped, hexMode);
    EXPECT_LE(clock.now, ReceivePipeline::kQuietMs + 2);
    // Nor for a port that has closed.
    FakeClock closedClock;
    FakePort closed;
    closed.close();
    pipeline.run(closed, closedClock, stopped, hexMode);
    EXPECT_LE(closedClock.now, 1u);
  }
  {
    // A device that never stops talking does not hold up the close.
    FakeClock clock;
    PacedPort port(clock);
    ReceivePipeline pipeline(IsLead, Convert, [] { return true; });
    std::vector<uint8_t> sent;
    for (uint32_t at = 0; at <= 2000; at += 5) {
      port.sendAt(at, {0x5A});
      if (at <= ReceivePipeline::kLastPassMs) sent.push_back(0x5A);
    }
    pipeline.run(port, clock, stopped, hexMode);
    EXPECT_GE(clock.now, ReceivePipeline::kLastPassMs);
    EXPECT_LE(clock.now, ReceivePipeline::kLastPassMs + 2);
    EXPECT_EQ(pipeline.take(), HexLines(sent));
  }
}

// The UI thread takes a full backlog a share at a time while the reader
// keeps adding to it: every share comes from where the last one ended,
// also across the points where what was taken is let go, and a share
// never ends inside a surrogate pair.
TEST(ReceiveBacklog, AFullBacklogTakenShareByShareComesOutWholeAndInOrder) {
  FakePort port;
  ReceivePipeline pipeline(IsLead, Convert, [] { return true; });
  pipeline.holdBackAtBound(true);
  std::vector<uint8_t> data(ReceivePipeline::kHeldBytesLimit + 300000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
  port.deliver(data);
  Flag running{1}, hexMode{1};
  std::thread reader([&] { pipeline.run(port, SystemClock(), running, hexMode); });
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldBytes() >= ReceivePipeline::kHeldBytesLimit; }));
  std::wstring shown;
  while (port.unread() > 0 || pipeline.heldUnits() > 0) {
    std::size_t before = pipeline.heldUnits();
    std::wstring share = pipeline.take(ReceiveFeed::kDrainUnits);
    EXPECT_LE(share.size(), ReceiveFeed::kDrainUnits);
    EXPECT_GE(pipeline.heldUnits() + share.size(), before);
    shown += share;
    if (share.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  running = 0;
  reader.join();
  shown += pipeline.take();
  EXPECT_EQ(shown, HexLines(data));
  EXPECT_EQ(pipeline.heldBytes(), 0u);

  const std::wstring pairs = {L'a', 0xD83D, 0xDE00, L'b', 0xD83D, 0xDE01, L'c'};
  pipeline.add(L"xyz");
  EXPECT_EQ(pipeline.take(1), L"x");
  pipeline.add(pairs);
  EXPECT_EQ(pipeline.take(3), L"yza");
  EXPECT_EQ(pipeline.take(1), std::wstring(pairs, 1, 2)) << "half a pair";
  EXPECT_EQ(pipeline.take(2), L"b");
  EXPECT_FALSE(pipeline.nothingWaiting());
  EXPECT_EQ(pipeline.heldUnits(), 3u);
  EXPECT_EQ(pipeline.take(), std::wstring(pairs, 4, 3));
  EXPECT_TRUE(pipeline.nothingWaiting());
  pipeline.add(L"left");
  EXPECT_EQ(pipeline.take(2), L"le");
  EXPECT_EQ(pipeline.take(0), L"ft") << "asked for nothing, as if for a pair";
  pipeline.add(L"z");
  EXPECT_EQ(pipeline.take(0), L"z");
  pipeline.add(L"gone");
  EXPECT_EQ(pipeline.take(1), L"g");
  pipeline.discard();
  EXPECT_EQ(pipeline.heldUnits(), 0u);
  EXPECT_EQ(pipeline.take(), L"");
}

// Draining a full backlog share by share must cost in proportion to the
// backlog: a take that let go of what was taken every time would shift the
// whole rest each time, for a cost growing with the square of the backlog
// (at the bound, minutes of a frozen window).
TEST(ReceiveBacklog, TakingAFullBacklogMovesEachUnitOnlyAFewTimes) {
  ReceivePipeline pipeline(IsLead, Convert, [] { return true; });
  for (int i = 0; i < 64; ++i) pipeline.add(std::wstring(64 * 1024, static_cast<wchar_t>(L'a' + i % 26)));
  // Shares of several sizes, with text still coming in now and then.
  const std::pair<std::size_t, std::size_t> phases[] = {
      {ReceiveFeed::kDrainUnits, 2u << 20}, {1000, 1u << 20}, {3, 3000}};
  uint64_t taken = 0;
  for (auto [share, units] : phases) {
    for (std::size_t i = 0, phaseTaken = 0; phaseTaken < units; ++i) {
      if (i % 16 == 15) pipeline.add(std::wstring(share, L'z'));
      const std::size_t got = pipeline.take(share).size();
      phaseTaken += got;
      taken += got;
    }
    EXPECT_GE(pipeline.unitsMoved(), taken) << share;
    EXPECT_LE(pipeline.unitsMoved(), 3 * taken) << share;
  }
  EXPECT_GT(pipeline.heldUnits(), 0u);
}

TEST_F(Receiving, HexLinesHoldSixteenBytesAcrossReadsAndStartAfterOtherText) {
  FakeClock clock;
  RecordingView view(clock);
  ReceiveFeed feed(pipeline, view, clock);
  hexMode = 1;
  start();
  std::vector<uint8_t> first(10, 0xAA), second(10, 0xBB);
  port.deliver(first);
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 30; }));
  port.deliver(second);
  ASSERT_TRUE(WaitFor([&] { return port.unread() == 0 && pipeline.heldUnits() == 61; }));
  feed.drain();
  EXPECT_EQ(view.shown, L"AA AA AA AA AA AA AA AA AA AA BB BB BB BB BB BB \nBB BB BB BB ");

  // The program's own text, straight in or queued behind received bytes,
  // ends the line: the next bytes start one of their own.
  view.shown.clear();
  feed.append(L"\n[note]\n");
  port.deliver(Bytes("\x01"));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 3; }));
  feed.append(L"[queued]\n");
  port.deliver(std::vector<uint8_t>(17, 0x02));
  ASSERT_TRUE(WaitFor([&] { return port.unread() == 0 && pipeline.heldUnits() == 3 + 9 + 52; }));
  feed.drain();
  EXPECT_EQ(view.shown, L"\n[note]\n01 [queued]\n" + HexLines(std::vector<uint8_t>(17, 0x02)));

  // So does a clear, and text shown in text mode.
  feed.clear();
  port.deliver(Bytes("\x03\x04"));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 6; }));
  hexMode = 0;
  port.deliver(Bytes("ab"));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 8; }));
  hexMode = 1;
  port.deliver(std::vector<uint8_t>(16, 0x05));
  ASSERT_TRUE(WaitFor([&] { return port.unread() == 0 && pipeline.heldUnits() == 8 + 49; }));
  feed.drain();
  EXPECT_EQ(view.shown, L"03 04 ab" + HexLines(std::vector<uint8_t>(16, 0x05)));
}

TEST_F(Receiving, AppendsFromTheUiThreadComeAfterWhatWasReceivedBeforeThem) {
  FakeClock clock;
  RecordingView view(clock);
  ReceiveFeed feed(pipeline, view, clock);
  start();
  feed.append(L"[first]");
  EXPECT_EQ(view.shown, L"[first]");
  view.shown.clear();
  view.insertions = 0;
  port.deliver(Bytes("abc"));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 3; }));
  feed.append(L"[note]");
  port.deliver(Bytes("def"));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 12; }));
  feed.drain();
  EXPECT_EQ(view.shown, L"abc[note]def");
  EXPECT_EQ(view.insertions, 1);

  // A backlog goes in a share at a time, as many as fit the drain's time;
  // a copy of the view waits for what was received before it, and only that.
  std::string lots(5 * ReceiveFeed::kDrainUnits + 5, 'q');
  port.deliver(Bytes(lots));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == lots.size(); }));
  feed.append(L"!");
  view.shown.clear();
  view.insertions = 0;
  // Two fit; a third would end past the drain's time.
  view.msPerInsertion = ReceiveFeed::kDrainMs / 2 - 1;
  feed.drain();
  EXPECT_EQ(view.insertions, 2);
  view.msPerInsertion = ReceiveFeed::kDrainMs * 2;
  feed.drain();
  EXPECT_EQ(view.insertions, 3);
  EXPECT_EQ(view.shown.size(), 3 * ReceiveFeed::kDrainUnits);
  feed.drainAll();
  EXPECT_EQ(view.insertions, 6);
  EXPECT_EQ(view.shown, std::wstring(lots.begin(), lots.end()) + L"!");

  // A clear takes what was received before it along.
  port.deliver(Bytes("old"));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 3; }));
  feed.clear();
  port.deliver(Bytes("new"));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 3; }));
  feed.drain();
  EXPECT_EQ(view.shown, L"new");
}

TEST_F(Receiving, TheModeAtReadTimeDecidesAndNothingReadBeforeACloseIsLost) {
  start();
  // Text, with half a character left over when the view switches to hex:
  // that byte shows in hex rather than being lost or glued to later bytes.
  port.deliver(Bytes("AB\r\x81"));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 3; }));
  hexMode = 1;
  port.deliver(Bytes("C"));
  ASSERT_TRUE(WaitFor([&] { return port.unread() == 0 && pipeline.heldUnits() > 3; }));
  hexMode = 0;
  port.deliver(Bytes("\x82"));  // half a character when the port closes
  ASSERT_TRUE(WaitFor([&] { return port.unread() == 0; }));
  port.close();
  stop();
  EXPECT_EQ(pipeline.take(), L"AB 81 43 ?");
}

TEST_F(Receiving, AskingForATakeIsCoalescedAndRepeatedWhenItCouldNotBePosted) {
  wakeWorks = false;
  start();
  port.deliver(Bytes("x"));
  ASSERT_TRUE(WaitFor([&] { return wakes == 1; }));
  wakeWorks = true;
  port.deliver(Bytes("y"));
  ASSERT_TRUE(WaitFor([&] { return wakes == 2; }));
  port.deliver(Bytes("z"));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 3; }));
  EXPECT_EQ(wakes, 2);
  // Taking a share leaves a request for the rest.
  EXPECT_EQ(pipeline.take(2), L"xy");
  EXPECT_EQ(wakes, 3);
  EXPECT_EQ(pipeline.take(), L"z");
  port.deliver(Bytes("w"));
  ASSERT_TRUE(WaitFor([&] { return wakes == 4; }));
}

// A converter that runs out of memory on the calls the test picks.
std::atomic<int> g_conversions{0};
std::atomic<int> g_failFrom{1 << 30};
std::atomic<int> g_failCount{0};
std::wstring ConvertShortOfMemory(const char* bytes, std::size_t n) {
  const int call = g_conversions++;
  if (call >= g_failFrom && call < g_failFrom + g_failCount) throw std::bad_alloc();
  return Convert(bytes, n);
}

// Memory running out for text just read must not end the program, nor
// lose the bytes (a driver gives nothing back) or half a character held
// between reads: the owner is asked to make room and the reader tries
// again until the text goes in.
TEST(ReceiveMemory, TextReadWhileMemoryIsShortIsKeptAndComesOutWholeInOrder) {
  FakePort port;
  std::atomic<int> lowMemory{0};
  ReceivePipeline pipeline(IsLead, ConvertShortOfMemory, [] { return true; });
  pipeline.setLowMemory([&] { ++lowMemory; });
  g_conversions = 0;
  g_failFrom = 1;
  g_failCount = 3;
  Flag running{1}, hexMode{0};
  std::thread reader([&] { pipeline.run(port, SystemClock(), running, hexMode); });
  port.deliver(Bytes("ab\x81"));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 2; }));
  port.deliver(Bytes("\x82" "cd\n"));
  ASSERT_TRUE(WaitFor([&] { return lowMemory >= 3 && port.unread() == 0 && pipeline.heldUnits() == 6; }));
  port.deliver(Bytes("ef"));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 8; }));
  running = 0;
  reader.join();
  g_failCount = 0;
  EXPECT_EQ(lowMemory, 3);
  EXPECT_EQ(pipeline.take(), L"ab\x4E82" L"cd\nef");
}

}  // namespace
}  // namespace tv
