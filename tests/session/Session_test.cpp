// The session event by event, against a scripted driver, as the window
// drives it: the orders that hurt (an unplug during a send, a setting
// changed while the port opens again, an exit during a file send).
#include "session/Session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "../support/FakeComm.h"
#include "../support/FakeHost.h"

namespace tv {
namespace {

struct ShownText final : TextView {
  void append(const std::wstring& text) override { shown += text; }
  void replaceAll(const std::wstring& text) override { shown = text; }
  void clear() override { shown.clear(); }
  std::wstring shown;
};

bool NoLead(uint8_t) { return false; }
std::wstring Widen(const char* bytes, std::size_t n) { return std::wstring(bytes, bytes + n); }
std::string Narrow(const wchar_t* units, std::size_t n) { return std::string(units, units + n); }

// A file of n bytes 'A'..'Z' over and over.
class MemoryFile final : public ByteSource {
 public:
  explicit MemoryFile(std::size_t n) : size_(n) {}
  bool rewind() override {
    at_ = 0;
    return true;
  }
  std::size_t read(uint8_t* buffer, std::size_t n) override {
    std::size_t k = 0;
    for (; k < n && at_ < size_; ++k, ++at_) buffer[k] = static_cast<uint8_t>('A' + at_ % 26);
    return k;
  }

 private:
  std::size_t size_;
  std::size_t at_ = 0;
};

class SessionTest : public ::testing::Test {
 protected:
  SessionTest() {
    host.onSignal = [this](Signal s, int detail) {
      if (s == Signal::Received) {
        session.drain();
      } else {
        session.onSignal(s, detail);
      }
    };
    session.restore(L"COM7", LineValues{}, DelayMode::Off, 0);
  }
  ~SessionTest() override {
    comm.letOpensGo();
    host.detach();
    session.exit(5000);
  }

  std::vector<uint8_t> bytes(const char* text) { return std::vector<uint8_t>(text, text + std::strlen(text)); }
  bool settle(const std::function<bool()>& done, uint32_t ms = 5000) { return host.pumpUntil(done, ms); }
  void openPort() {
    session.togglePort();
    ASSERT_TRUE(settle([&] { return session.portOpen(); }));
  }
  bool allIdle() { return session.jobs().allIdle(); }

  FakeComm comm;
  FakeHost host;
  ShownText view;
  std::vector<std::wstring> present{L"USB-SERIAL CH340 (COM7)", L"Communications Port (COM1)"};
  std::size_t fileBytes = 1 << 20;
  Session session{Session::Parts{
      comm, SystemClock(), host, view,
      [this](PortEntries& ports) { ports.assign(present, [](const wchar_t* a, const wchar_t* b) { return std::wcscmp(a, b); }); },
      NoLead, Widen, Narrow,
      [this](const std::wstring&, uint64_t& size) -> std::unique_ptr<ByteSource> {
        size = fileBytes;
        return std::make_unique<MemoryFile>(fileBytes);
      }}};
};

// Opening can take seconds (a Bluetooth port out of reach): it runs on a
// thread of its own, the port shows closed until it is open, a second
// toggle abandons it, and the port it opens late is closed, not kept.
TEST_F(SessionTest, AnOpenRunsAwayFromTheWindowAndASecondToggleAbandonsIt) {
  comm.holdOpens();
  session.togglePort();
  ASSERT_TRUE(settle([&] { return comm.insideOpen(); }));
  SessionView v = session.view();
  EXPECT_FALSE(v.portOpen);
  EXPECT_NE(v.status.find(L"☆"), std::wstring::npos) << "shown open before the open returned";
  EXPECT_STREQ(v.portButton, L"关");

  session.togglePort();
  EXPECT_STREQ(session.view().portButton, L"开");
  comm.letOpensGo();
  settle([] { return false; }, 300);
  EXPECT_FALSE(session.portOpen());
  EXPECT_EQ(comm.openHandles, 0) << "the abandoned open's port was kept";

  openPort();
  EXPECT_NE(session.view().status.find(L"★"), std::wstring::npos);
  comm.deliver(bytes("OK\r\n"));
  EXPECT_TRUE(settle([&] { return view.shown.find(L"OK") != std::wstring::npos; }));
}

// A setting changed while the port opens, or while it opens again after
// an earlier change, restarts the open with the newest choice; the old
// handle is closed before the new open (a real port takes one handle).
TEST_F(SessionTest, ASettingChangedDuringAnOpenOrAReopenEndsWithTheNewestOne) {
  comm.exclusive = true;
  comm.holdOpens();
  session.togglePort();
  ASSERT_TRUE(settle([&] { return comm.insideOpen(); }));
  LineValues slow;
  slow.baudRate = 9600;
  session.chooseLine(slow);
  comm.letOpensGo();
  ASSERT_TRUE(settle([&] { return session.portOpen(); }));
  settle([] { return false; }, 100);
  EXPECT_EQ(comm.applied.baudRate, 9600u);
  EXPECT_EQ(comm.openHandles, 1);

  // Two changes in a row on the open port.
  LineValues a, b;
  a.baudRate = 19200;
  b.baudRate = 57600;
  session.chooseLine(a);
  session.chooseLine(b);
  ASSERT_TRUE(settle([&] { return session.portOpen(); }));
  settle([] { return false; }, 100);
  EXPECT_TRUE(session.portOpen());
  EXPECT_EQ(comm.applied.baudRate, 57600u) << "a reopen kept the old handle and its settings";
  EXPECT_EQ(comm.openHandles, 1);
}

// A send pressed while the port is closed opens it, goes out once it is
// open (never before), and closes the port when it ends.
TEST_F(SessionTest, ASendThatOpensThePortStartsAfterTheOpenAndClosesIt) {
  comm.holdOpens();
  session.pressText([] { return std::wstring(L"AT"); });
  ASSERT_TRUE(settle([&] { return comm.insideOpen(); }));
  EXPECT_TRUE(session.jobs().busy(JobKind::Text));
  EXPECT_STREQ(session.view().textSend, L"取消发送");
  EXPECT_FALSE(session.view().portButtonEnabled);
  EXPECT_TRUE(comm.written().empty());
  comm.letOpensGo();
  ASSERT_TRUE(settle([&] { return comm.written() == bytes("AT") && allIdle() && !session.portOpen(); }));
  EXPECT_EQ(comm.openHandles, 0);

  // Cancelled while the port opens: nothing is sent and the port closes.
  comm.holdOpens();
  session.pressText([] { return std::wstring(L"AT"); });
  ASSERT_TRUE(settle([&] { return comm.insideOpen(); }));
  session.pressText([] { return std::wstring(L"never read"); });
  EXPECT_FALSE(session.jobs().busy(JobKind::Text));
  comm.letOpensGo();
  ASSERT_TRUE(settle([&] { return allIdle() && comm.openHandles == 0; }));
  EXPECT_FALSE(session.portOpen());
  EXPECT_EQ(comm.written(), bytes("AT"));
}

// The adapter of the open port is pulled while a file goes out: the send
// stops, the port closes and shows as gone, and nothing is left open.
TEST_F(SessionTest, AnUnplugDuringASendStopsItAndClosesThePort) {
  openPort();
  session.chooseDelayMode(DelayMode::LoopAll);
  session.pressFile(L"C:\\\\big.bin", L"big.bin");
  ASSERT_TRUE(settle([&] { return comm.written().size() > 10000; }));
  present = {L"Communications Port (COM1)"};
  session.portRemoved(L"COM7");
  ASSERT_TRUE(settle([&] { return allIdle(); }));
  EXPECT_FALSE(session.portOpen());
  EXPECT_EQ(comm.openHandles, 0);
  SessionView v = session.view();
  EXPECT_NE(v.status.find(L"端口COM7已神秘消失!"), std::wstring::npos);
  EXPECT_STREQ(v.portButton, L"开");
  EXPECT_TRUE(v.portButtonEnabled && v.textSendEnabled && v.hexSendEnabled);
  ASSERT_TRUE(settle([&] { return view.shown.find(L"发送取消:big.bin") != std::wstring::npos; }));
  EXPECT_NE(view.shown.find(L">>>[COM7]消失<<<\nUSB-SERIAL CH340 (COM7)\n"), std::wstring::npos);
}

// The chosen port leaves the list without a broadcast of its own: the
// list read again closes it and stops every job, whatever the view shows.
TEST_F(SessionTest, AChosenPortMissingFromTheListIsClosedAndItsJobsStop) {
  openPort();
  session.chooseDelayMode(DelayMode::LoopAll);
  session.pressText([] { return std::wstring(L"poll\n"); });
  ASSERT_TRUE(settle([&] { return comm.written().size() > 100; }));
  present = {L"Communications Port (COM1)"};
  session.devicesChanged();
  ASSERT_TRUE(settle([&] { return allIdle(); }));
  EXPECT_FALSE(session.portOpen());
  EXPECT_EQ(comm.openHandles, 0);
  EXPECT_EQ(session.chosenPort(), -1);
  session.togglePort();
  EXPECT_FALSE(session.view().busyWithPort) << "a port not listed was opened";
}

// The window is closed while a file goes out in a loop: everything stops
// within the one deadline, and the port is let go.
TEST_F(SessionTest, AnExitDuringAFileSendEndsWithinItsDeadline) {
  openPort();
  session.chooseDelayMode(DelayMode::LoopAll);
  session.pressFile(L"C:\\\\big.bin", L"big.bin");
  ASSERT_TRUE(settle([&] { return comm.written().size() > 10000; }));
  host.detach();
  const uint32_t before = SystemClock().nowMs();
  EXPECT_TRUE(session.exit(3000));
  EXPECT_LT(SystemClock().nowMs() - before, 3000u);
  EXPECT_EQ(comm.openHandles, 0);
  EXPECT_TRUE(allIdle());
}

// A driver that keeps a read for good holds the exit no longer than its
// deadline, and the exit says a worker is still inside.
TEST_F(SessionTest, AnExitWithADriverThatKeepsACallIsBounded) {
  comm.scriptReads({{FakeComm::Transfer::Ends::Never}});
  openPort();
  ASSERT_TRUE(settle([&] { return comm.waitCount() > 0; }));
  comm.capWaits(60000);
  host.detach();
  const uint32_t before = SystemClock().nowMs();
  EXPECT_FALSE(session.exit(1000));
  EXPECT_LT(SystemClock().nowMs() - before, 2500u);
  comm.capWaits(20);
  comm.completeLate();
}

}  // namespace
}  // namespace tv

namespace tv {
namespace {

// The options chosen in the window reach the reader and the sends: UTF-8
// is read and sent as UTF-8 (and as the code page again once turned off).
TEST_F(SessionTest, UnicodeChosenIsReadAndSentAsUtf8) {
  ReceiveOptions o;
  o.utf8 = true;
  session.chooseReceiveOptions(o);
  openPort();
  comm.deliver(bytes("\xE4\xB8"));
  comm.deliver(bytes("\xAD!"));
  ASSERT_TRUE(settle([&] { return view.shown.find(L"\x4E2D!") != std::wstring::npos; })) << "shown: " << view.shown.size();
  session.pressText([] { return std::wstring(L"\x6587"); });
  ASSERT_TRUE(settle([&] { return allIdle() && comm.written().size() >= 3; }));
  EXPECT_EQ(comm.written(), bytes("\xE6\x96\x87"));

  session.chooseReceiveOptions(ReceiveOptions());
  session.pressText([] { return std::wstring(L"A\x00E9"); });
  ASSERT_TRUE(settle([&] { return allIdle() && comm.written().size() >= 5; }));
  EXPECT_EQ(comm.written(), bytes("\xE6\x96\x87" "A\xE9"));
}

// With the echo on, what the user sends shows among what arrives, in the
// view's current mode, before the device's answer to it; a file shows as
// one line with its name and size.
TEST_F(SessionTest, SentDataShowsBetweenTheLinesReceived) {
  ReceiveOptions o;
  o.echoSent = true;
  session.chooseReceiveOptions(o);
  openPort();
  comm.deliver(bytes("login: "));
  ASSERT_TRUE(settle([&] { return view.shown == L"login: "; }));
  session.pressText([] { return std::wstring(L"root\rls"); });  // as the pane gives it
  ASSERT_TRUE(settle([&] { return allIdle() && comm.written() == bytes("root\nls"); }));
  comm.deliver(bytes("bin\r\n"));
  ASSERT_TRUE(settle([&] { return view.shown.find(L"bin") != std::wstring::npos; }));
  EXPECT_EQ(view.shown, L"login: \n发→ root\n发→ ls\nbin \n");

  view.shown.clear();
  session.toggleView();
  session.pressHex([](const Flag&) { return std::vector<std::wstring>{L"41 0D 0A"}; });
  ASSERT_TRUE(settle([&] { return allIdle() && view.shown.find(L"0A") != std::wstring::npos; }));
  EXPECT_EQ(view.shown, L"发→ 41 0D 0A \n");

  view.shown.clear();
  session.toggleView();
  session.pressHex([](const Flag&) { return std::vector<std::wstring>{L"41 0D 0A"}; });
  ASSERT_TRUE(settle([&] { return allIdle() && !view.shown.empty(); }));
  EXPECT_EQ(view.shown, L"发→ A\n") << "a hex line in the text view reads as received text would";

  view.shown.clear();
  fileBytes = 1000;
  session.pressFile(L"C:\\data\\fw.bin", L"fw.bin");
  ASSERT_TRUE(settle([&] { return allIdle() && view.shown.find(L"发送完成") != std::wstring::npos; }));
  EXPECT_NE(view.shown.find(L"\n发→ 文件 fw.bin, 1000 字节\n"), std::wstring::npos) << "shown: " << view.shown.size();
  EXPECT_EQ(view.shown.find(L"ABC"), std::wstring::npos) << "a file's content is not shown";
}

}  // namespace
}  // namespace tv
