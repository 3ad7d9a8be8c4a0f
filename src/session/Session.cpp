#include "session/Session.h"

#include <utility>

#include "base/Format.h"
#include "base/HexCodec.h"
#include "base/Utf8.h"
#include "send/BlockWriter.h"
#include "serial/StatusText.h"

namespace tv {
namespace {

// What a line is known to be at after the level was set: on or off as
// held; following flow mode 0, off; otherwise what the driver keeps.
std::optional<bool> KnownLevel(LineLevel level, int32_t flowMode) {
  if (level == LineLevel::On) return true;
  if (level == LineLevel::Off || flowMode == 0) return false;
  return std::nullopt;
}

const wchar_t* LevelName(LineLevel level) {
  return level == LineLevel::On ? L"开" : level == LineLevel::Off ? L"关" : L"跟随流控";
}

}  // namespace

bool SessionView::operator==(const SessionView& o) const {
  return status == o.status && portOpen == o.portOpen && busyWithPort == o.busyWithPort &&
         portButton == o.portButton && portButtonEnabled == o.portButtonEnabled && receiveMode == o.receiveMode &&
         hexSend == o.hexSend && hexSendEnabled == o.hexSendEnabled && hexPaneEnabled == o.hexPaneEnabled &&
         textSend == o.textSend && textSendEnabled == o.textSendEnabled && textPaneEnabled == o.textPaneEnabled &&
         clearEnabled == o.clearEnabled && acceptsDrops == o.acceptsDrops && logging == o.logging;
}

Session::Session(const Parts& p)
    : clock_(p.clock),
      host_(p.host),
      scanPorts_(p.scanPorts),
      encode_(p.encode),
      openFile_(p.openFile),
      isLead_(p.isLead),
      decode_(p.decode),
      wall_(p.wall != nullptr ? *p.wall : SystemWallClock()),
      log_(p.logFiles == nullptr ? nullptr
                                 : std::make_unique<LogWriter>(
                                       *p.logFiles,
                                       LogWriter::Events{
                                           [this](int file, const std::wstring& path) {
                                             host_.call([&] { onLogStarted(file, path); });
                                           },
                                           [this](int, const std::wstring& path, uint64_t bytes) {
                                             host_.call([&] { onLogEnded(path, bytes); });
                                           },
                                           [this](int file, const std::wstring& path, const std::wstring& why) {
                                             host_.call([&] { onLogFailed(file, path, why); });
                                           }})),
      channel_(p.api, p.clock, [this] { host_.signal(Signal::PortLost, 0); }),
      receiver_(
          channel_, p.clock, p.isLead, p.decode, [this] { return host_.signal(Signal::Received, 0); },
          [this] { host_.signal(Signal::ReaderEnded, 0); }, [this] { host_.signal(Signal::LowMemory, 0); }),
      feed_(receiver_.pipeline(), p.view, p.clock),
      jobs_(channel_, p.clock, p.host, title_, delayMode_, delayMs_, [this](const std::wstring& text) { say(text); }),
      reports_(p.host, [this](const std::wstring& text) { say(text); }),
      opener_(channel_, p.host),
      lineControl_(channel_, p.clock, p.host, [this](const std::wstring& text) { say(text); }) {
  receiver_.pipeline().setTap(log_.get());
  if (scanPorts_) scanPorts_(ports_);
  receiver_.pipeline().setWallClock(wall_);
  jobs_.setEcho(&echo_);
}

// Its workers use it: whoever did not end them ends them now, within the
// exit's deadline.
Session::~Session() { exit(kExitMs); }

void Session::restore(const std::wstring& portName, const LineValues& line, DelayMode mode, int32_t delayMs) {
  portName_ = portName;
  line_ = line;
  delayMode_ = mode;
  delayMs_ = delayMs;
  host_.changed();
}

void Session::choosePort(const std::wstring& portName) {
  endWait();
  const bool another = portName != portName_;
  portName_ = portName;
  reopen(false);
  // After the old port's last read: that still belongs to its file and its
  // counts. The new port's open starts a file of its own, and its counts.
  if (logFile_ != 0 && logPort_ != portName_) endLog();
  if (another) channel_.resetCounts();
  host_.changed();
}

void Session::chooseLine(const LineValues& line) {
  line_ = line;
  refusedRateSaid_ = 0;
  reopen(false);
  host_.changed();
}

void Session::toggleView() {
  hexView_ = hexView_ ? 0 : 1;
  host_.changed();
}

// ---- options

void Session::chooseReceiveOptions(const ReceiveOptions& options) {
  receiveOptions_ = options;
  feed_.setOptions(options, wall_.now());
}

TextEncoder Session::textEncoder() const { return receiveOptions_.utf8 ? EncodeUtf8 : encode_; }

bool Session::Echo::wanted() { return s_.receiver_.pipeline().options().echoSent; }

void Session::Echo::text(const std::wstring& line, const std::string& bytes) {
  if (s_.hexView_) {
    s_.receiver_.pipeline().echo(FormatHexBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  } else {
    s_.receiver_.pipeline().echo(line);
  }
}

void Session::Echo::bytes(const uint8_t* data, std::size_t n) {
  ReceivePipeline& pipeline = s_.receiver_.pipeline();
  if (s_.hexView_) {
    pipeline.echo(FormatHexBytes(data, n));
    return;
  }
  // As received text would show, on one line: a line end at the end goes,
  // others show as blanks.
  ReceiveDecoder decoder(s_.isLead_, s_.decode_);
  decoder.setMode(pipeline.options().utf8, false);
  std::wstring shown = decoder.decode(data, n) + decoder.finish();
  if (!shown.empty() && shown.back() == L'\n') shown.pop_back();
  if (!shown.empty() && shown.back() == L'\r') shown.pop_back();
  for (wchar_t& c : shown)
    if (c == L'\r' || c == L'\n') c = L' ';
  pipeline.echo(shown);
}

void Session::chooseLogging(bool on) {
  if (on == logging_) return;
  logging_ = on;
  if (!on) {
    endLog();
  } else if (state_ == PortState::Open) {
    startLog();
  }
  host_.changed();
}

void Session::startLog() {
  if (!logging_ || logFile_ != 0 || !log_) return;
  logFile_ = log_->start(portName_);
  if (logFile_ == 0) {
    // No thread for the writer: as a file that could not be made.
    onLogFailed(0, portName_, log_->noWriterText());
    return;
  }
  logPort_ = portName_;
}

void Session::endLog() {
  if (logFile_ == 0) return;
  log_->end();
  logFile_ = 0;
  logPort_.clear();
  logPath_.clear();
}

void Session::onLogStarted(int file, const std::wstring& path) {
  if (file == logFile_) logPath_ = path;
  say(L"\n保存到文件: " + path + L"\n");
}

void Session::onLogEnded(const std::wstring& path, uint64_t bytes) {
  say(Format(L"\n保存结束: %s, %I64d 字节\n", {path, bytes}));
}

void Session::onLogFailed(int file, const std::wstring& path, const std::wstring& why) {
  say(L"\n保存失败: " + path + L": " + why + L"\n");
  // An older file's failure leaves the newer one alone.
  if (file != logFile_) return;
  logFile_ = 0;
  logPort_.clear();
  logPath_.clear();
  logging_ = false;
  host_.changed();
}

void Session::chooseSendEnds(LineEnd lineEnd, Checksum checksum) {
  lineEnd_ = lineEnd;
  checksum_ = checksum;
}

void Session::chooseModemLines(LineLevel dtr, LineLevel rts) {
  const LineValues before = line_;
  line_.dtr = dtr;
  line_.rts = rts;
  if (state_ == PortState::Opening) {
    // The levels go into the configuration of an open asked again; jobs
    // waiting for it wait on.
    beginOpen();
  } else if (state_ == PortState::Open) {
    // At once, without a reopen: nothing received or being sent is lost.
    if (dtr != before.dtr) changeModemLine(true);
    if (rts != before.rts) changeModemLine(false);
  }
  host_.changed();
}

void Session::changeModemLine(bool dtr) {
  // A line the flow mode drives is the driver's.
  if (line_.flowMode == (dtr ? 2 : 1)) return;
  const LineLevel level = dtr ? line_.dtr : line_.rts;
  std::optional<bool>& applied = dtr ? appliedDtr_ : appliedRts_;
  const std::optional<bool> before = applied;
  applied = KnownLevel(level, line_.flowMode);
  std::wstring change = Format(L"%s %s", {dtr ? L"DTR" : L"RTS", LevelName(level)});
  // Refused, the line is where it was.
  lineControl_.setLine(dtr, level, std::move(change), [this, dtr, before] {
    if (state_ == PortState::Open) (dtr ? appliedDtr_ : appliedRts_) = before;
  });
}

std::optional<bool> Session::appliedDtr() const {
  return state_ == PortState::Open ? appliedDtr_ : std::nullopt;
}
std::optional<bool> Session::appliedRts() const {
  return state_ == PortState::Open ? appliedRts_ : std::nullopt;
}

void Session::sendBreak() {
  if (canSendBreak()) lineControl_.pulseBreak();
}

bool Session::canSendBreak() const {
  return state_ == PortState::Open && jobs_.allIdle() && !lineControl_.breaking();
}

void Session::chooseReconnect(bool on) {
  reconnect_ = on;
  if (!on && waitingToReconnect()) {
    endWait();
    host_.changed();
  }
}

// ---- reconnecting

void Session::waitForLostPort(const std::wstring& name) {
  if (!reconnect_) return;
  say(Format(L"端口 %s 已断开, 等待重连\n", {name}));
  waitingFor_ = name;
  waitSinceMs_ = clock_.nowMs();
  lastTryMs_ = waitSinceMs_;
  // An open the loss's own handling began (a port still listed) is the
  // wait's first attempt.
  reconnecting_ = state_ == PortState::Opening;
}

void Session::endWait() {
  waitingFor_.clear();
  if (!reconnecting_) return;
  reconnecting_ = false;
  if (state_ == PortState::Opening) closePort();
}

void Session::tryReconnect() {
  lastTryMs_ = clock_.nowMs();
  reconnecting_ = true;
  beginOpen();
}

void Session::reconnectTick() {
  if (!waitingToReconnect()) return;
  const uint32_t now = clock_.nowMs();
  if (now - waitSinceMs_ >= kReconnectForMs) {
    say(Format(L"端口 %s 未能重新连接, 不再等待\n", {waitingFor_}));
    endWait();
    return;
  }
  // One attempt at a time, a step after the last one ended.
  if (state_ != PortState::Closed || now - lastTryMs_ < kReconnectStepMs) return;
  if (ports_.findPort(waitingFor_) >= 0) tryReconnect();
}

std::wstring Session::countsText() const {
  const SerialChannel::Counts counts = channel_.counts();
  return Format(L"\n已接收 %I64d 字节, 已发送 %I64d 字节, 保存: %s\n",
                {counts.received, counts.sent, logPath_.empty() ? std::wstring(L"未保存") : logPath_});
}

// ---- the port

void Session::togglePort() {
  // The button ends a wait for a lost port, and what it had begun.
  if (waitingToReconnect()) {
    endWait();
    if (state_ != PortState::Closed) closePort();
    host_.changed();
    return;
  }
  if (chosenPort() < 0) return;
  if (state_ == PortState::Closed) {
    // The counts run from the user's open on, across reopens and
    // reconnects.
    channel_.resetCounts();
    beginOpen();
  } else {
    closePort();
  }
  host_.changed();
}

void Session::beginOpen() {
  state_ = PortState::Opening;
  opener_.request(portName_, line_);
}

void Session::closePort() {
  reconnecting_ = false;
  if (state_ == PortState::Opening) opener_.abandon();
  if (state_ == PortState::Open) channel_.closeChannel();
  state_ = PortState::Closed;
  stopAllJobs();
}

void Session::reopen(bool readerDone) {
  if (state_ == PortState::Closed) return;
  stopAllJobs();
  if (state_ == PortState::Open) {
    if (!readerDone) receiver_.wait(ReceiveWorker::kLastPassWaitMs);
    channel_.closeChannel();
    state_ = PortState::Closed;
  }
  // An open under way starts again with the new choice.
  if (chosenPort() >= 0) {
    beginOpen();
  } else {
    closePort();
  }
}

void Session::rescan() {
  if (scanPorts_) scanPorts_(ports_);
  if (chosenPort() < 0 && state_ != PortState::Closed) closePort();
}

void Session::stopAllJobs() {
  receiver_.stop();
  jobs_.cancelAll();
  for (int k = 0; k < kJobKindCount; ++k)
    if (waiting_[static_cast<std::size_t>(k)]) dropWaitingJob(static_cast<JobKind>(k));
}

void Session::portChanged(const std::wstring& name, bool arrived) {
  // Lost is a port the user opened, not one only a send did.
  const bool lostUserPort = !arrived && name == portName_ && state_ == PortState::Open && !openedBySend_;
  stopAllJobs();
  // What arrived before the event shows before its report.
  receiver_.wait(ReceiveWorker::kLastPassWaitMs);
  std::wstring full;
  if (arrived) {
    say(Format(L">>>发现[%s]<<<\n", {name}));
    rescan();
    reopen(true);
    full = ports_.friendlyNameOf(name);
  } else {
    say(Format(L">>>[%s]消失<<<\n", {name}));
    // Looked up before the list is read again, while the port is still in it.
    full = ports_.friendlyNameOf(name);
    rescan();
    reopen(true);
  }
  say(Format(L"%s\n", {full}));
  if (lostUserPort) waitForLostPort(name);
  // Back under its own name; another COM number is another port.
  if (arrived && name == waitingFor_ && state_ == PortState::Closed && chosenPort() >= 0) tryReconnect();
  host_.changed();
}

void Session::devicesChanged() {
  PortEntries fresh;
  if (scanPorts_) scanPorts_(fresh);
  // Gone without a port broadcast of its own.
  if (state_ != PortState::Closed && chosenPort() >= 0 && fresh.findPort(portName_) < 0) {
    portRemoved(portName_);
    return;
  }
  ports_ = std::move(fresh);
  if (chosenPort() < 0 && state_ != PortState::Closed) closePort();
  host_.changed();
}

void Session::onPortLost() {
  // Closed or opened again since the failure was announced.
  if (state_ != PortState::Open || !channel_.lost()) return;
  // Handled as a removal, except that a port still listed is not opened
  // again (it has just failed, and opening a Bluetooth port out of reach
  // can take many seconds) and, like every failure, nothing is written to
  // the receive view (a removal the system reports is reported as it
  // comes), but for the wait of a reconnect, which is retried here.
  const bool userPort = !openedBySend_;
  stopAllJobs();
  channel_.closeChannel();
  state_ = PortState::Closed;
  openedBySend_ = false;
  rescan();
  if (userPort) waitForLostPort(portName_);
}

void Session::onOpenDone() {
  SerialChannel::Opened opened;
  if (state_ != PortState::Opening || !opener_.take(opened)) return;
  const bool attempt = reconnecting_;
  reconnecting_ = false;
  const bool rateRefused = opened.rateRefused();
  if (channel_.adopt(std::move(opened))) {
    state_ = PortState::Open;
    refusedRateSaid_ = 0;
    appliedDtr_ = line_.flowMode == 2 ? std::nullopt : KnownLevel(line_.dtr, line_.flowMode);
    appliedRts_ = line_.flowMode == 1 ? std::nullopt : KnownLevel(line_.rts, line_.flowMode);
    // Held back at the bound only where the line's flow control then
    // holds the device back; otherwise a stop would lose bytes in the
    // driver.
    receiver_.pipeline().holdBackAtBound(line_.flowMode != 0);
    // Before the reader starts, so the file gets its first read.
    startLog();
    receiver_.start(hexView_);
    launchWaitingJobs();
    if (attempt) {
      say(Format(L"端口 %s 已重新连接\n", {portName_}));
      waitingFor_.clear();
    }
  } else {
    state_ = PortState::Closed;
    stopAllJobs();
    if (attempt) lastTryMs_ = clock_.nowMs();
    if (rateRefused && refusedRateSaid_ != line_.baudRate) {
      refusedRateSaid_ = line_.baudRate;
      say(Format(L"波特率 %d 不被支持\n", {line_.baudRate}));
    }
  }
}

// ---- the send jobs

void Session::press(JobKind job, const std::function<JobRunner::Body()>& make) {
  if (!jobs_.idle(job)) {
    if (jobs_.busy(job)) cancel(job);
    return;
  }
  // Taken first: what the user saw at the press is what is sent, however
  // long the port takes to open.
  JobRunner::Body body = make();
  if (state_ == PortState::Closed) {
    // A send ends a wait for a lost port and opens it as any send does.
    endWait();
    togglePort();
    if (state_ == PortState::Closed) {
      openedBySend_ = false;
      return;
    }
    openedBySend_ = true;
  }
  if (state_ == PortState::Opening) {
    jobs_.reserve(job);
    waiting_[static_cast<std::size_t>(job)] = std::move(body);
  } else if (!jobs_.start(job, WriteCapBytes(line_), std::move(body))) {
    onJobEnded();
  }
  host_.changed();
}

void Session::launchWaitingJobs() {
  for (int k = 0; k < kJobKindCount; ++k) {
    JobRunner::Body body = std::move(waiting_[static_cast<std::size_t>(k)]);
    waiting_[static_cast<std::size_t>(k)] = nullptr;
    if (body && !jobs_.launch(static_cast<JobKind>(k), WriteCapBytes(line_), std::move(body)))
      host_.signal(Signal::JobEnded, k);
  }
}

void Session::dropWaitingJob(JobKind job) {
  waiting_[static_cast<std::size_t>(job)] = nullptr;
  jobs_.release(job);
  // Handled as any job's end, after whatever is under way now.
  host_.signal(Signal::JobEnded, static_cast<int>(job));
}

void Session::cancel(JobKind job) {
  if (waiting_[static_cast<std::size_t>(job)]) {
    dropWaitingJob(job);
  } else {
    jobs_.cancel(job);
  }
  host_.changed();
}

void Session::onJobEnded() {
  // Close the port a job opened, unless another job has taken it over in
  // the meantime (that one closes it when it ends).
  if (openedBySend_ && jobs_.allIdle()) {
    openedBySend_ = false;
    if (state_ != PortState::Closed) closePort();
  }
}

void Session::pressText(const std::function<std::wstring()>& text) {
  const TextEncoder encode = textEncoder();
  const LineEnd end = lineEnd_;
  press(JobKind::Text, [&] {
    return [content = text(), encode, end](const SendContext& c) { TextSendJob(c, content, encode, end).run(); };
  });
}

void Session::pressHex(HexLines lines) {
  const Checksum check = checksum_;
  press(JobKind::Hex, [&] {
    return [lines, check](const SendContext& c) {
      HexSendJob(c, lines(c.busy, check != Checksum::None), check).run();
    };
  });
}

void Session::pressSelection(const std::function<std::wstring()>& text, bool asHex) {
  const TextEncoder encode = textEncoder();
  const LineEnd end = lineEnd_;
  press(JobKind::Selection, [&] {
    return [content = text(), asHex, encode, end](const SendContext& c) {
      SelectionSendJob(c, content, asHex, encode, end).run();
    };
  });
}

void Session::pressFile(const std::wstring& fullName, const std::wstring& titleName) {
  press(JobKind::File, [&] {
    return [this, full = fullName, title = titleName](const SendContext& c) {
      const std::wstring start = L"\n正在发送:" + full + L"\n";
      host_.call([this, &start] { say(start); });
      bool sent = false;
      {
        uint64_t size = 0;
        std::unique_ptr<ByteSource> source = openFile_ ? openFile_(full, size) : nullptr;
        if (source && echo_.wanted())
          receiver_.pipeline().echo(L"文件 " + title + L", " + std::to_wstring(size) + L" 字节");
        sent = FileSendJob(c, source.get(), size).run();
      }
      const std::wstring end = (sent ? L"\n发送完成:" : L"\n发送取消:") + title + L"\n";
      host_.call([this, &end] { say(end); });
    };
  });
}

// ---- the window's messages

void Session::onSignal(Signal signal, int) {
  switch (signal) {
    case Signal::ReaderEnded: receiver_.onReaderEnded(); break;
    case Signal::PortLost: onPortLost(); break;
    case Signal::JobEnded: onJobEnded(); break;
    case Signal::OpenDone: onOpenDone(); break;
    case Signal::Received:
    case Signal::LowMemory:
    case Signal::Title:
      return;
  }
  host_.changed();
}

void Session::tick() {
  feed_.drain();
  receiver_.onReaderEnded();
  if (channel_.lost()) onPortLost();
  onOpenDone();
  reconnectTick();
  host_.changed();
}

bool Session::exit(uint32_t ms) {
  const uint32_t start = clock_.nowMs();
  auto left = [&] {
    const uint32_t spent = clock_.nowMs() - start;
    return spent < ms ? ms - spent : 0u;
  };
  stopAllJobs();
  opener_.abandon();
  // The reader's last pass still belongs to the log.
  if (logFile_ != 0) receiver_.wait(ReceiveWorker::kLastPassWaitMs < ms ? ReceiveWorker::kLastPassWaitMs : ms);
  channel_.closeChannel(left());
  state_ = PortState::Closed;
  endLog();
  // One deadline for all: a worker still inside a call after it is left.
  bool ended = receiver_.wait(left());
  if (log_) ended = log_->wait(left()) && ended;
  ended = jobs_.wait(left()) && ended;
  ended = reports_.wait(left()) && ended;
  ended = lineControl_.wait(left()) && ended;
  return opener_.wait(left()) && ended;
}

SessionView Session::view() const {
  SessionView v;
  const int index = chosenPort();
  StatusFacts facts{state_ == PortState::Open,
                    index + 1,
                    ports_.count(),
                    index < 0 ? VanishedPortText(portName_) : ports_.entryAt(index),
                    line_.baudRate,
                    line_.dataBits,
                    StopBitsName(line_.stopBits),
                    ParityName(line_.parity)};
  v.status = StatusText(facts);
  v.portOpen = state_ == PortState::Open;
  // While a lost port is waited for, the window's timer looks after the
  // attempts, and the button ends the wait.
  v.busyWithPort = state_ != PortState::Closed || waitingToReconnect();
  v.portButton = v.busyWithPort ? L"关" : L"开";
  v.receiveMode = hexView_ ? L"数" : L"文";

  const bool text = jobs_.busy(JobKind::Text), hex = jobs_.busy(JobKind::Hex),
             selection = jobs_.busy(JobKind::Selection), file = jobs_.busy(JobKind::File);
  v.hexSend = hex ? L"取消发送" : L"HEX发送";
  v.hexPaneEnabled = !hex;
  v.textSend = text ? L"取消发送" : L"文本发送";
  v.textPaneEnabled = !text;
  v.portButtonEnabled = !(openedBySend_ || text || hex || file || selection);
  // A cancelled job is not busy but may still have a write pending: another
  // job starts only once it has ended, as with the Alt keys.
  const bool othersIdle = jobs_.idle(JobKind::File) && jobs_.idle(JobKind::Selection);
  v.textSendEnabled = jobs_.idle(JobKind::Hex) && othersIdle;
  v.hexSendEnabled = jobs_.idle(JobKind::Text) && othersIdle;
  v.clearEnabled = !(openedBySend_ || hex || text);
  v.acceptsDrops = !file;
  v.logging = logging_;
  return v;
}

}  // namespace tv
