#include "session/Session.h"

#include <utility>

#include "base/Format.h"
#include "base/HexCodec.h"
#include "base/Utf8.h"
#include "send/BlockWriter.h"
#include "serial/StatusText.h"

namespace tv {

bool SessionView::operator==(const SessionView& o) const {
  return status == o.status && portOpen == o.portOpen && busyWithPort == o.busyWithPort &&
         portButton == o.portButton && portButtonEnabled == o.portButtonEnabled && receiveMode == o.receiveMode &&
         hexSend == o.hexSend && hexSendEnabled == o.hexSendEnabled && hexPaneEnabled == o.hexPaneEnabled &&
         textSend == o.textSend && textSendEnabled == o.textSendEnabled && textPaneEnabled == o.textPaneEnabled &&
         clearEnabled == o.clearEnabled && acceptsDrops == o.acceptsDrops;
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
      channel_(p.api, p.clock, [this] { host_.signal(Signal::PortLost, 0); }),
      receiver_(
          channel_, p.clock, p.isLead, p.decode, [this] { return host_.signal(Signal::Received, 0); },
          [this] { host_.signal(Signal::ReaderEnded, 0); }, [this] { host_.signal(Signal::LowMemory, 0); }),
      feed_(receiver_.pipeline(), p.view, p.clock),
      jobs_(channel_, p.clock, p.host, title_, delayMode_, delayMs_, [this](const std::wstring& text) { say(text); }),
      reports_(p.host, [this](const std::wstring& text) { say(text); }),
      opener_(channel_, p.host) {
  if (scanPorts_) scanPorts_(ports_);
  receiver_.pipeline().setWallClock(wall_);
  jobs_.setEcho(&echo_);
}

Session::~Session() = default;

void Session::restore(const std::wstring& portName, const LineValues& line, DelayMode mode, int32_t delayMs) {
  portName_ = portName;
  line_ = line;
  delayMode_ = mode;
  delayMs_ = delayMs;
  host_.changed();
}

void Session::choosePort(const std::wstring& portName) {
  portName_ = portName;
  reopen(false);
  host_.changed();
}

void Session::chooseLine(const LineValues& line) {
  line_ = line;
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
  logging_ = on;
  host_.changed();
}

void Session::chooseSendEnds(LineEnd lineEnd, Checksum checksum) {
  lineEnd_ = lineEnd;
  checksum_ = checksum;
}

void Session::chooseModemLines(LineLevel dtr, LineLevel rts) {
  line_.dtr = dtr;
  line_.rts = rts;
  host_.changed();
}

std::optional<bool> Session::appliedDtr() const { return std::nullopt; }
std::optional<bool> Session::appliedRts() const { return std::nullopt; }

void Session::sendBreak() {}

bool Session::canSendBreak() const { return state_ == PortState::Open && jobs_.allIdle(); }

void Session::chooseReconnect(bool on) { reconnect_ = on; }

std::wstring Session::countsText() const { return std::wstring(); }

// ---- the port

void Session::togglePort() {
  if (chosenPort() < 0) return;
  if (state_ == PortState::Closed) {
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
  // the receive view: a removal the system reports is reported as it comes.
  stopAllJobs();
  channel_.closeChannel();
  state_ = PortState::Closed;
  openedBySend_ = false;
  rescan();
}

void Session::onOpenDone() {
  SerialChannel::Opened opened;
  if (state_ != PortState::Opening || !opener_.take(opened)) return;
  if (channel_.adopt(std::move(opened))) {
    state_ = PortState::Open;
    receiver_.start(hexView_);
    launchWaitingJobs();
  } else {
    state_ = PortState::Closed;
    stopAllJobs();
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
  press(JobKind::Text, [&] {
    return [content = text(), encode](const SendContext& c) { TextSendJob(c, content, encode).run(); };
  });
}

void Session::pressHex(std::function<std::vector<std::wstring>(const Flag& busy)> lines) {
  press(JobKind::Hex, [&] {
    return [lines](const SendContext& c) { HexSendJob(c, lines(c.busy)).run(); };
  });
}

void Session::pressSelection(const std::function<std::wstring()>& text, bool asHex) {
  const TextEncoder encode = textEncoder();
  press(JobKind::Selection, [&] {
    return [content = text(), asHex, encode](const SendContext& c) {
      SelectionSendJob(c, content, asHex, encode).run();
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
  channel_.closeChannel(left());
  state_ = PortState::Closed;
  // One deadline for all: a worker still inside a call after it is left.
  bool ended = receiver_.wait(left());
  ended = jobs_.wait(left()) && ended;
  ended = reports_.wait(left()) && ended;
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
  v.busyWithPort = state_ != PortState::Closed;
  v.portButton = state_ == PortState::Closed ? L"开" : L"关";
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
  return v;
}

}  // namespace tv
