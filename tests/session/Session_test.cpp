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
#include "../support/FakeLogFiles.h"

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

// The system's time, moved on by the test where it must not wait it out.
struct ShiftedClock final : Clock {
  uint32_t nowMs() override { return SystemClock().nowMs() + shift; }
  void sleepMs(uint32_t ms) override { SystemClock().sleepMs(ms); }
  std::atomic<uint32_t> shift{0};
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

  bool shows(const std::wstring& text) { return view.shown.find(text) != std::wstring::npos; }
  std::size_t timesShown(const std::wstring& text) {
    std::size_t n = 0;
    for (std::size_t at = view.shown.find(text); at != std::wstring::npos; at = view.shown.find(text, at + 1)) ++n;
    return n;
  }

  FakeComm comm;
  ShiftedClock clock;
  FakeHost host;
  FakeLogFiles files;
  ShownText view;
  std::vector<std::wstring> present{L"USB-SERIAL CH340 (COM7)", L"Communications Port (COM1)"};
  std::size_t fileBytes = 1 << 20;
  Session session{Session::Parts{
      comm, clock, host, view,
      [this](PortEntries& ports) { ports.assign(present, [](const wchar_t* a, const wchar_t* b) { return std::wcscmp(a, b); }); },
      NoLead, Widen, Narrow,
      [this](const std::wstring&, uint64_t& size) -> std::unique_ptr<ByteSource> {
        size = fileBytes;
        return std::make_unique<MemoryFile>(fileBytes);
      },
      &files}};
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

std::size_t Count(const std::wstring& text, const std::wstring& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// DTR and RTS chosen while the port is open change at once, with no
// reopen, while a send goes on; the view gets a line per change; a driver
// that refuses says so once and keeps the port open; the level last
// applied is what Alt+E and Alt+R toggle from.
TEST_F(SessionTest, ModemLinesChangeAtOnceWhileOpenAndARefusalKeepsThePort) {
  EXPECT_FALSE(session.appliedDtr()) << "known with the port closed";
  openPort();
  EXPECT_EQ(comm.applied.fDtrControl, kControlDisable);
  EXPECT_EQ(session.appliedDtr(), std::optional<bool>(false)) << "flow mode 0 drops DTR";
  session.chooseDelayMode(DelayMode::LoopAll);
  session.pressText([] { return std::wstring(L"poll\n"); });
  ASSERT_TRUE(settle([&] { return comm.written().size() > 100; }));

  session.chooseModemLines(LineLevel::On, LineLevel::FollowFlow);
  EXPECT_EQ(session.appliedDtr(), std::optional<bool>(true));
  ASSERT_TRUE(settle([&] { return view.shown.find(L"DTR 开\n") != std::wstring::npos; }));
  EXPECT_EQ(comm.lineFunctions(), (std::vector<LineFunction>{LineFunction::SetDtr}));
  const std::vector<FakeComm::Call> calls = comm.callsMade();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), FakeComm::Call::Open), 1) << "reopened for a modem line";
  EXPECT_TRUE(session.jobs().busy(JobKind::Text)) << "the send stopped";
  session.cancel(JobKind::Text);
  ASSERT_TRUE(settle([&] { return allIdle(); }));

  constexpr uint32_t kNotSupported = 50;
  comm.failNext(FakeComm::Call::LineFunction, kNotSupported);
  session.chooseModemLines(LineLevel::Off, LineLevel::Off);
  ASSERT_TRUE(settle([&] { return view.shown.find(L"RTS 关\n") != std::wstring::npos; }));
  EXPECT_EQ(Count(view.shown, L"DTR 关"), 1u);
  EXPECT_NE(view.shown.find(L"DTR 关 未生效"), std::wstring::npos);
  EXPECT_TRUE(session.portOpen());
  EXPECT_EQ(session.appliedDtr(), std::optional<bool>(true)) << "a refused level counted as applied";
  EXPECT_EQ(session.appliedRts(), std::optional<bool>(false));

  // The RTS handshake drives RTS: a level chosen for it waits for the
  // flow mode to let go of it.
  LineValues handshake;
  handshake.flowMode = 1;
  handshake.dtr = LineLevel::Off;
  handshake.rts = LineLevel::Off;
  session.chooseLine(handshake);
  ASSERT_TRUE(settle([&] { return session.portOpen(); }));
  EXPECT_EQ(comm.applied.fRtsControl, kControlHandshake);
  EXPECT_FALSE(session.appliedRts());
  const std::size_t made = comm.lineFunctions().size();
  session.chooseModemLines(LineLevel::Off, LineLevel::On);
  settle([] { return false; }, 100);
  EXPECT_EQ(comm.lineFunctions().size(), made);
}

// The break holds the line for a quarter of a second on a worker, so the
// window goes on at once; none while a send runs or the port is closed.
TEST_F(SessionTest, ABreakRunsAwayFromTheWindowAndNeverDuringASend) {
  session.sendBreak();
  openPort();
  session.chooseDelayMode(DelayMode::LoopAll);
  session.pressText([] { return std::wstring(L"poll\n"); });
  EXPECT_FALSE(session.canSendBreak());
  session.sendBreak();
  session.cancel(JobKind::Text);
  ASSERT_TRUE(settle([&] { return allIdle(); }));
  EXPECT_TRUE(comm.lineFunctions().empty());

  ASSERT_TRUE(session.canSendBreak());
  session.sendBreak();
  EXPECT_FALSE(session.canSendBreak()) << "a second break over the first";
  std::vector<LineFunction> made = comm.lineFunctions();
  EXPECT_EQ(std::count(made.begin(), made.end(), LineFunction::ClearBreak), 0) << "the window waited out the break";
  ASSERT_TRUE(settle([&] { return session.canSendBreak(); }));
  EXPECT_EQ(comm.lineFunctions(), (std::vector<LineFunction>{LineFunction::SetBreak, LineFunction::ClearBreak}));
}

// An adapter that does not take a fast rate: the port stays closed and
// the view says why, once, however often the user tries.
TEST_F(SessionTest, ARefusedFastRateIsSaidOnceAndThePortStaysClosed) {
  comm.state.baudRate = 9600;
  comm.fastestRate = 460800;
  LineValues fast;
  fast.baudRate = 921600;
  session.chooseLine(fast);
  for (int attempt = 0; attempt < 2; ++attempt) {
    session.togglePort();
    ASSERT_TRUE(settle([&] { return !session.view().busyWithPort; }));
  }
  EXPECT_FALSE(session.portOpen());
  EXPECT_EQ(comm.openHandles, 0);
  EXPECT_EQ(Count(view.shown, L"波特率 921600 不被支持\n"), 1u);
}

// With reconnecting on, a port the user opened that is pulled is waited
// for and opened again, with the same settings, when it comes back under
// its own name; another COM number is not followed, and the send the loss
// stopped is not started again.
TEST_F(SessionTest, AReconnectWaitsForTheLostPortByItsNameOnly) {
  session.chooseReconnect(true);
  LineValues slow;
  slow.baudRate = 9600;
  session.chooseLine(slow);
  openPort();
  session.chooseDelayMode(DelayMode::LoopAll);
  session.pressText([] { return std::wstring(L"poll\n"); });
  ASSERT_TRUE(settle([&] { return comm.written().size() > 100; }));

  present = {L"Communications Port (COM1)"};
  session.portRemoved(L"COM7");
  ASSERT_TRUE(settle([&] { return allIdle(); }));
  EXPECT_NE(view.shown.find(L"端口 COM7 已断开, 等待重连\n"), std::wstring::npos);
  EXPECT_TRUE(session.waitingToReconnect());
  EXPECT_STREQ(session.view().portButton, L"关");

  present = {L"Communications Port (COM1)", L"USB-SERIAL CH340 (COM9)"};
  session.portArrived(L"COM9");
  settle([&] { session.tick(); return false; }, 300);
  EXPECT_EQ(comm.openHandles, 0) << "followed another COM number";

  const std::size_t sent = comm.written().size();
  comm.applied = DcbFields{};
  present = {L"Communications Port (COM1)", L"USB-SERIAL CH340 (COM7)"};
  session.portArrived(L"COM7");
  ASSERT_TRUE(settle([&] { return session.portOpen(); }));
  EXPECT_EQ(comm.applied.baudRate, 9600u);
  EXPECT_NE(view.shown.find(L"端口 COM7 已重新连接\n"), std::wstring::npos);
  EXPECT_FALSE(session.waitingToReconnect());
  settle([] { return false; }, 100);
  EXPECT_TRUE(allIdle());
  EXPECT_EQ(comm.written().size(), sent) << "the stopped send started again";
}

// The button, turning the option off or choosing a port ends the wait; a
// port only a send opened is not waited for.
TEST_F(SessionTest, AReconnectEndsWithTheUsersWordAndNeverFollowsASendsPort) {
  session.chooseReconnect(true);
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    present = {L"USB-SERIAL CH340 (COM7)", L"Communications Port (COM1)"};
    openPort();
    present = {L"Communications Port (COM1)"};
    session.portRemoved(L"COM7");
    ASSERT_TRUE(session.waitingToReconnect());
    if (way == 0) session.togglePort();
    if (way == 1) session.chooseReconnect(false);
    if (way == 2) session.choosePort(L"COM1");
    EXPECT_FALSE(session.waitingToReconnect());
    EXPECT_FALSE(session.view().busyWithPort);
    present = {L"USB-SERIAL CH340 (COM7)", L"Communications Port (COM1)"};
    session.choosePort(L"COM7");
    session.portArrived(L"COM7");
    settle([&] { session.tick(); return false; }, 200);
    EXPECT_FALSE(session.view().busyWithPort) << "opened after the wait had ended";
    session.chooseReconnect(true);
  }

  session.chooseDelayMode(DelayMode::LoopAll);
  session.pressText([] { return std::wstring(L"poll\n"); });
  ASSERT_TRUE(settle([&] { return session.portOpen(); }));
  const std::size_t shown = view.shown.size();
  present = {L"Communications Port (COM1)"};
  session.portRemoved(L"COM7");
  EXPECT_FALSE(session.waitingToReconnect());
  EXPECT_EQ(view.shown.find(L"等待重连", shown), std::wstring::npos) << "a send's port waited for";
}

// A port that dies without a word stays listed: it is tried every second
// until it opens; a wait that finds nothing in ten minutes ends.
TEST_F(SessionTest, ASilentDeathIsTriedEverySecondUntilItOpensForTenMinutes) {
  constexpr uint32_t kNotReady = 21;
  constexpr uint32_t kFileNotFound = 2;
  session.chooseReconnect(true);
  openPort();
  comm.failAlways(FakeComm::Call::Queued, kNotReady);
  comm.failAlways(FakeComm::Call::StartRead, kNotReady);
  comm.failAlways(FakeComm::Call::Open, kFileNotFound);
  ASSERT_TRUE(settle([&] { session.tick(); return session.waitingToReconnect(); }));
  EXPECT_FALSE(session.portOpen());
  EXPECT_GE(session.chosenPort(), 0) << "the dead port left the list";
  settle([&] { session.tick(); return false; }, 2500);
  const std::vector<FakeComm::Call> calls = comm.callsMade();
  const auto opens = std::count(calls.begin(), calls.end(), FakeComm::Call::Open);
  EXPECT_GE(opens, 2);
  EXPECT_LE(opens, 4) << "tried more often than every second";
  EXPECT_TRUE(session.waitingToReconnect());

  comm.failNoMore(FakeComm::Call::Queued);
  comm.failNoMore(FakeComm::Call::StartRead);
  comm.failNoMore(FakeComm::Call::Open);
  ASSERT_TRUE(settle([&] { session.tick(); return session.portOpen(); }));
  EXPECT_NE(view.shown.find(L"端口 COM7 已重新连接\n"), std::wstring::npos);

  // Again, and this time it never comes back.
  comm.failAlways(FakeComm::Call::Queued, kNotReady);
  comm.failAlways(FakeComm::Call::StartRead, kNotReady);
  comm.failAlways(FakeComm::Call::Open, kFileNotFound);
  ASSERT_TRUE(settle([&] { session.tick(); return session.waitingToReconnect(); }));
  clock.shift += Session::kReconnectForMs;
  session.tick();
  EXPECT_FALSE(session.waitingToReconnect());
  EXPECT_NE(view.shown.find(L"端口 COM7 未能重新连接, 不再等待\n"), std::wstring::npos);
  EXPECT_FALSE(session.view().busyWithPort);
}

// One log file for as long as logging stays on and the port stays the
// same: a reopen for a setting and the user's close and open append to
// it; another port ends it, and its own open starts the next file.
TEST_F(SessionTest, ALogFileLastsWhileLoggingIsOnAndThePortStaysTheSame) {
  const std::wstring first = FakeLogFiles::kFolder + L"\\COM7_20261209_171900.log";
  const std::wstring second = FakeLogFiles::kFolder + L"\\COM1_20261209_171900.log";
  session.chooseLogging(true);
  EXPECT_TRUE(session.view().logging);
  settle([] { return false; }, 50);
  EXPECT_FALSE(files.exists(first)) << "a file made before the port opened";

  openPort();
  ASSERT_TRUE(settle([&] { return shows(L"保存到文件: " + first + L"\n"); }));
  comm.deliver(bytes("one\r\n"));
  ASSERT_TRUE(settle([&] { return shows(L"one"); }));
  LineValues slow;
  slow.baudRate = 9600;
  session.chooseLine(slow);
  ASSERT_TRUE(settle([&] { return session.portOpen(); }));
  comm.deliver(bytes("two"));
  ASSERT_TRUE(settle([&] { return shows(L"two"); }));
  session.togglePort();
  openPort();
  comm.deliver(bytes("three"));
  ASSERT_TRUE(settle([&] { return shows(L"three"); }));
  EXPECT_EQ(session.countsText(), L"\n已接收 5 字节, 已发送 0 字节, 保存: " + first + L"\n");
  EXPECT_EQ(timesShown(L"保存到文件"), 1u);

  session.choosePort(L"COM1");
  ASSERT_TRUE(settle([&] { return shows(L"保存结束: " + first + L", 13 字节\n"); }));
  EXPECT_EQ(files.content(first), bytes("one\r\ntwothree"));
  EXPECT_TRUE(files.finished(first));
  ASSERT_TRUE(settle([&] { return shows(L"保存到文件: " + second); }));
  comm.deliver(bytes("four"));
  ASSERT_TRUE(settle([&] { return shows(L"four"); }));
  session.chooseLogging(false);
  ASSERT_TRUE(settle([&] { return shows(L"保存结束: " + second + L", 4 字节\n"); }));
  EXPECT_EQ(files.content(second), bytes("four"));
  EXPECT_EQ(session.countsText(), L"\n已接收 4 字节, 已发送 0 字节, 保存: 未保存\n");
}

// A log that cannot be made or written says so once and turns itself off
// (the window's check mark and stored value follow the view); the port
// stays open and what arrives still shows.
TEST_F(SessionTest, ALogThatCannotBeWrittenEndsTheLoggingNotTheSession) {
  const std::wstring path = FakeLogFiles::kFolder + L"\\COM7_20261209_171900.log";
  files.failCreates(5);
  session.chooseLogging(true);
  openPort();
  ASSERT_TRUE(settle([&] { return shows(L"保存失败: " + path + L": error 5\n"); }));
  EXPECT_FALSE(session.view().logging);
  comm.deliver(bytes("still here"));
  ASSERT_TRUE(settle([&] { return shows(L"still here"); }));
  EXPECT_TRUE(session.portOpen());
  EXPECT_EQ(session.countsText(), L"\n已接收 10 字节, 已发送 0 字节, 保存: 未保存\n");

  // On again, and the disk fills up halfway.
  files.failCreates(0);
  files.failWritesPast(6, 112);
  files.at.second = 30;
  const std::wstring again = FakeLogFiles::kFolder + L"\\COM7_20261209_171930.log";
  session.chooseLogging(true);
  ASSERT_TRUE(settle([&] { return shows(L"保存到文件: " + again); }));
  comm.deliver(bytes("abcd"));
  ASSERT_TRUE(settle([&] { return files.content(again).size() == 4; }));
  comm.deliver(bytes("efgh"));
  ASSERT_TRUE(settle([&] { return shows(L"保存失败: " + again + L": error 112\n"); }));
  EXPECT_FALSE(session.view().logging);
  comm.deliver(bytes("ijkl"));
  ASSERT_TRUE(settle([&] { return shows(L"ijkl"); }));
  settle([] { return false; }, 300);
  EXPECT_EQ(timesShown(L"保存失败"), 2u);
  EXPECT_EQ(timesShown(L"保存结束"), 0u);
  EXPECT_EQ(files.openFiles(), 0);
  EXPECT_TRUE(session.portOpen());
}

// F11's counts run from the user's open: a reopen for a setting and a
// clear keep them, the user's next open starts them again, and so does
// another port.
TEST_F(SessionTest, TheCountsRunFromTheUsersOpenAcrossReopensAndClears) {
  openPort();
  comm.deliver(bytes("0123456789"));
  ASSERT_TRUE(settle([&] { return shows(L"0123456789"); }));
  session.pressText([] { return std::wstring(L"abc"); });
  ASSERT_TRUE(settle([&] { return comm.written() == bytes("abc") && allIdle(); }));
  EXPECT_EQ(session.countsText(), L"\n已接收 10 字节, 已发送 3 字节, 保存: 未保存\n");
  LineValues other;
  other.baudRate = 57600;
  session.chooseLine(other);
  ASSERT_TRUE(settle([&] { return session.portOpen(); }));
  session.clearView();
  comm.deliver(bytes("xyz"));
  ASSERT_TRUE(settle([&] { return shows(L"xyz"); }));
  EXPECT_EQ(session.countsText(), L"\n已接收 13 字节, 已发送 3 字节, 保存: 未保存\n");
  session.togglePort();
  openPort();
  EXPECT_EQ(session.countsText(), L"\n已接收 0 字节, 已发送 0 字节, 保存: 未保存\n");
  comm.deliver(bytes("12"));
  ASSERT_TRUE(settle([&] { return shows(L"12"); }));
  session.choosePort(L"COM1");
  ASSERT_TRUE(settle([&] { return session.portOpen(); }));
  EXPECT_EQ(session.countsText(), L"\n已接收 0 字节, 已发送 0 字节, 保存: 未保存\n");
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
  session.pressHex([](const Flag&, bool) { return std::vector<std::wstring>{L"41 0D 0A"}; });
  ASSERT_TRUE(settle([&] { return allIdle() && view.shown.find(L"0A") != std::wstring::npos; }));
  EXPECT_EQ(view.shown, L"发→ 41 0D 0A \n");

  view.shown.clear();
  session.toggleView();
  session.pressHex([](const Flag&, bool) { return std::vector<std::wstring>{L"41 0D 0A"}; });
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
