// What the receive options change on the way from the port to the view:
// UTF-8 read across reads, colours taken share by share, stamps on the
// program's clock, the echo of a send among what arrives.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "../support/FakeClock.h"
#include "../support/FakePort.h"
#include "../support/WaitFor.h"
#include "serial/ReceiveFeed.h"
#include "serial/ReceivePipeline.h"

namespace tv {
namespace {

bool NoLead(uint8_t) { return false; }
std::wstring Widen(const char* bytes, std::size_t n) { return std::wstring(bytes, bytes + n); }
std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

struct FakeWall final : WallClock {
  LocalTime now() override { return time; }
  LocalTime time;
};

// The view with its looks, as the feed gives them.
struct StyledView final : TextView {
  void append(const std::wstring& text) override { appendStyled(text, {}); }
  void appendStyled(const std::wstring& text, const std::vector<StyleRun>& runs) override {
    for (const StyleRun& run : runs) looks.push_back(StyleRun{shown.size() + run.at, run.style});
    if (runs.empty() && !looks.empty() && looks.back().style != kPlainStyle)
      looks.push_back(StyleRun{shown.size(), kPlainStyle});
    shown += text;
  }
  void replaceAll(const std::wstring& text) override { shown = text; }
  void clear() override {
    shown.clear();
    looks.clear();
  }
  // The look of the unit at.
  TextStyle lookAt(std::size_t at) const {
    TextStyle style = kPlainStyle;
    for (const StyleRun& run : looks)
      if (run.at <= at) style = run.style;
    return style;
  }
  std::wstring shown;
  std::vector<StyleRun> looks;
};

class ReceiveOptionsTest : public ::testing::Test {
 protected:
  ReceiveOptionsTest() { pipeline.setWallClock(wall); }
  void TearDown() override { stop(); }
  void start() {
    reader_ = std::thread([this] { pipeline.run(port, SystemClock(), running_, hexMode); });
  }
  void stop() {
    running_ = 0;
    if (reader_.joinable()) reader_.join();
  }
  void choose(const ReceiveOptions& o) { pipeline.setOptions(o, wall.time); }
  // What was delivered, once read.
  bool read() {
    return WaitFor([&] { return port.unread() == 0; });
  }

  FakePort port;
  FakeWall wall;
  FakeClock uiClock;
  Flag hexMode{0};
  ReceivePipeline pipeline{NoLead, Widen, [] { return true; }};
  StyledView view;
  ReceiveFeed feed{pipeline, view, uiClock};

 private:
  Flag running_{1};
  std::thread reader_;
};

// A Chinese character whose bytes come in two reads shows whole; half of
// one held when the view turns to hex shows in hex, before what follows,
// rather than being lost.
TEST_F(ReceiveOptionsTest, Utf8TextSplitAcrossReadsShowsWholeAndNothingHeldIsLost) {
  ReceiveOptions o;
  o.utf8 = true;
  choose(o);
  port.setReadSplits({2, 1, 3});
  port.deliver(Bytes("\xE4\xB8\xAD\xE6\x96\x87\r\n"));
  start();
  ASSERT_TRUE(read());
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 4; }));
  EXPECT_EQ(pipeline.take(), L"\x4E2D\x6587 \n");

  port.setReadSplits({});
  port.deliver(Bytes("A\xF0\x9F"));
  ASSERT_TRUE(read());
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 1; }));
  hexMode = 1;
  port.deliver(Bytes("\x98"));
  ASSERT_TRUE(read());
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 1 + 9; }));
  EXPECT_EQ(pipeline.take(), L"AF0 9F 98 ");
}

// Colours reach the view with the text they belong to, however the view
// takes it: a take that ends inside a coloured stretch, the program's own
// line in between (which stays plain), and a clear (after which received
// text goes on in the device's colour).
TEST_F(ReceiveOptionsTest, ColoursReachTheViewWithTheirText) {
  const TextStyle red = StyleOf(1, false), green = StyleOf(2, false);
  ReceiveOptions o;
  o.ansiColors = true;
  choose(o);
  start();
  port.deliver(Bytes("ok \x1b[31mFAIL\x1b[0m done\n\x1b[3"));
  ASSERT_TRUE(read());
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 13; }));
  std::vector<StyleRun> runs;
  EXPECT_EQ(pipeline.take(5, &runs), L"ok FA");
  EXPECT_EQ(runs, (std::vector<StyleRun>{{0, kPlainStyle}, {3, red}}));
  feed.drain();
  EXPECT_EQ(view.shown, L"IL done\n");
  EXPECT_EQ(view.lookAt(0), red);
  EXPECT_EQ(view.lookAt(2), kPlainStyle);

  feed.append(L"[note]\n");
  port.deliver(Bytes("2mgreen"));
  ASSERT_TRUE(read());
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 5; }));
  feed.append(L"[queued]\n");
  port.deliver(Bytes("!"));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 5 + 9 + 1; }));
  feed.drain();
  const std::size_t g = view.shown.find(L"green"), q = view.shown.find(L"[queued]");
  EXPECT_EQ(view.lookAt(view.shown.find(L"[note]")), kPlainStyle);
  EXPECT_EQ(view.lookAt(g), green);
  EXPECT_EQ(view.lookAt(q), kPlainStyle);
  EXPECT_EQ(view.lookAt(q + 9), green) << "the device's colour goes on after the program's line";

  feed.clear();
  port.deliver(Bytes("more"));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 4; }));
  feed.drain();
  EXPECT_EQ(view.shown, L"more");
  EXPECT_EQ(view.lookAt(0), green);
}

// Turning stamps on says which day it is, after what was received before;
// lines then carry the program's clock's time of the read they began in.
TEST_F(ReceiveOptionsTest, StampsTurnedOnSayTheDayAndStampEachLine) {
  wall.time.year = 2026;
  wall.time.month = 3;
  wall.time.day = 7;
  wall.time.hour = 9;
  wall.time.minute = 5;
  wall.time.second = 1;
  wall.time.ms = 20;
  start();
  port.deliver(Bytes("before"));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 6; }));
  ReceiveOptions o;
  o.timestamps = true;
  choose(o);
  port.deliver(Bytes("one\r\ntwo"));
  const std::wstring expected = L"before\n---- 2026-03-07 ----\n[09:05:01.020] one \n[09:05:01.020] two";
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == expected.size(); }));
  EXPECT_EQ(pipeline.take(), expected);

  // Turned on again while on: no second day line.
  choose(o);
  EXPECT_EQ(pipeline.heldUnits(), 0u);
}

// The echo of a send is queued where it happens among what arrives: a
// reply read after it shows after it, and a line the device had begun ends
// first.
TEST_F(ReceiveOptionsTest, AnEchoShowsBeforeTheReplyAndAfterWhatCameBefore) {
  start();
  port.deliver(Bytes("prompt> "));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 8; }));
  pipeline.echo(L"AT");
  port.deliver(Bytes("OK\r\n"));
  ASSERT_TRUE(WaitFor([&] { return pipeline.heldUnits() == 8 + 1 + 6 + 4; }));
  feed.drain();
  EXPECT_EQ(view.shown, L"prompt> \n发→ AT\nOK \n");
}

}  // namespace
}  // namespace tv
