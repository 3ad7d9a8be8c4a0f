#include "serial/SerialChannel.h"

#include <cstring>
#include <new>
#include <utility>

namespace tv {

// One open port: its handle, the records of its transfers and the threads
// using them.
struct SerialChannel::Session {
  std::wstring name;               // the port's bare name; set before the session is shared
  CommApi::Handle port = nullptr;  // likewise
  uint32_t writeMsPerByte = 0;     // likewise
  // The DTR and RTS controls the flow mode gave the port at its open;
  // likewise.
  uint8_t followDtr = kControlHandshake;
  uint8_t followRts = kControlHandshake;
  // Made at open and freed with the session, unless a cancelled transfer
  // was never seen to complete: that record and its buffer are left to the
  // driver for good (the slot is then null).
  std::atomic<CommIo*> readIo{nullptr};   // changed by the reader, under readLock
  std::atomic<CommIo*> writeIo{nullptr};  // changed by the writer, under writeLock
  // One reader and one writer at a time. Held across calls into the
  // driver, and therefore never taken by a close.
  Mutex readLock;
  Mutex writeLock;
  // Set by the close (UI thread) before it raises the records' wakes; the
  // users look at it before each wait.
  std::atomic<bool> closing{false};
  std::atomic<bool> lost{false};  // set by the thread meeting a hard failure
  // A run of transfers the driver aborted, moving nothing: the reader's
  // under readLock, the writer's under writeLock.
  struct AbortedRun {
    bool on = false;
    uint32_t sinceMs = 0;
  } abortedReads, abortedWrites;
  Mutex usersLock;
  int users = 0;             // under usersLock
  bool leftToUsers = false;  // under usersLock: the close has stopped waiting
  Event letGo;               // set by the last user out once closing is set
};

// A session in use for as long as this lives.
class SerialChannel::Use {
 public:
  explicit Use(SerialChannel& channel) : channel_(channel), session_(channel.enter()) {}
  ~Use() {
    if (session_ != nullptr) channel_.leave(session_);
  }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;
  Session* get() const { return session_; }

 private:
  SerialChannel& channel_;
  Session* session_;
};

SerialChannel::SerialChannel(CommApi& api, Clock& clock, std::function<void()> onLost)
    : api_(api), clock_(clock), onLost_(std::move(onLost)) {}

SerialChannel::~SerialChannel() { closeChannel(); }

SerialChannel::Opened& SerialChannel::Opened::operator=(Opened&& o) noexcept {
  if (this != &o) {
    reset();
    channel_ = o.channel_;
    session_ = o.session_;
    error_ = o.error_;
    rateRefused_ = o.rateRefused_;
    o.session_ = nullptr;
  }
  return *this;
}

void SerialChannel::Opened::reset() {
  if (session_ != nullptr) channel_->release(session_);
  session_ = nullptr;
}

CommApi::Handle SerialChannel::openAgainAfterClose(const std::wstring& portName, uint32_t& error) {
  const std::wstring path = L"\\\\.\\" + portName;
  for (;;) {
    CommApi::Handle port = api_.open(path, error);
    if (port != nullptr || error != comm_error::kAccessDenied) return port;
    uint32_t sinceClose = 0;
    {
      MutexLock hold(lock_);
      if (closedName_.empty() || closedName_ != portName) return nullptr;
      sinceClose = clock_.nowMs() - closedAtMs_;
    }
    if (sinceClose >= kReopenRetryMs) return nullptr;
    clock_.sleepMs(kReopenStepMs);
  }
}

SerialChannel::Opened SerialChannel::prepare(const std::wstring& portName, const LineValues& v) {
  Opened result;
  result.channel_ = this;
  // Everything that can fail for want of memory is made before the port
  // is opened; from the open on, the result owns the handle, so whatever
  // fails after it (a throw included) closes it.
  Session* s = nullptr;
  try {
    s = new Session;
    s->name = portName;
  } catch (const std::bad_alloc&) {
    delete s;
    result.error_ = kNoMemory;
    return result;
  }
  result.session_ = s;
  s->port = openAgainAfterClose(portName, result.error_);
  if (s->port == nullptr) {
    result.reset();
    return result;
  }
  // A write of up to kIoBytes goes out whole at any rate: its time-out
  // grows with the line time of its bytes.
  const uint32_t msPerByte = (ByteMicros(v) + 999) / 1000;
  api_.setTimeouts(s->port, kWriteTimeoutMs, msPerByte);
  // The queue sizes are advisory: some virtual and Bluetooth drivers refuse
  // them, and the port must open all the same. Set first, so the driver's
  // checks of the XON/XOFF limits see the queue they are meant for.
  api_.setupQueues(s->port, kPortQueueBytes, kPortQueueBytes);

  DcbFields driver;
  bool configured = api_.getState(s->port, driver);
  if (configured) {
    DcbFields fields = driver;
    PrepareDcb(fields, v);
    configured = api_.setState(s->port, fields);
    if (!configured && FitFlowLimits(fields, driver, api_.inQueueBytes(s->port)))
      configured = api_.setState(s->port, fields);
    // A fast or custom rate is often what a driver does not take: told
    // apart from the other refusals by asking the same configuration once
    // more at the rate the driver had. The port is closed after either way.
    if (!configured && !IsClassicRate(v.baudRate) && fields.baudRate != driver.baudRate) {
      DcbFields probe = fields;
      probe.baudRate = driver.baudRate;
      result.rateRefused_ = api_.setState(s->port, probe);
    }
    LineValues follow = v;
    follow.dtr = follow.rts = LineLevel::FollowFlow;
    DcbFields followed = driver;
    PrepareDcb(followed, follow);
    s->followDtr = followed.fDtrControl;
    s->followRts = followed.fRtsControl;
  }
  s->writeMsPerByte = msPerByte;
  s->readIo = api_.newIo(kIoBytes);
  s->writeIo = api_.newIo(WriteBlockBytes(v));
  if (!configured || s->readIo == nullptr || s->writeIo == nullptr) {
    result.error_ = configured ? kNoMemory : 0;
    result.reset();
  }
  return result;
}

bool SerialChannel::adopt(Opened opened) {
  if (!opened || open_) return false;
  Session* s = opened.session_;
  opened.session_ = nullptr;
  // The receive poll, the send jobs' pauses and their waits are timed in
  // milliseconds, and all of them run only while the port is open.
  api_.fineTicks(true);
  lost_ = false;
  {
    MutexLock hold(lock_);
    session_ = s;
  }
  open_ = true;
  return true;
}

bool SerialChannel::closeChannel(uint32_t waitMs) {
  Session* s = nullptr;
  {
    MutexLock hold(lock_);
    s = session_;
    session_ = nullptr;
  }
  if (s == nullptr) return false;
  // Only the close reads the name: taken, not copied, so the close never
  // allocates, and the session may be gone once it is left to its users.
  std::wstring name;
  name.swap(s->name);
  open_ = false;
  lost_ = false;
  api_.fineTicks(false);

  bool releaseNow = false;
  {
    MutexLock users(s->usersLock);
    s->closing = true;
    releaseNow = s->users == 0;
  }
  if (!releaseNow) {
    // A read or write waiting for the driver gives up at once; one still
    // inside a call into the driver is waited for a while, then left to
    // close the port itself.
    for (CommIo* io : {s->readIo.load(), s->writeIo.load()})
      if (io != nullptr) api_.raiseWake(io, true);
    s->letGo.wait(waitMs);
    MutexLock users(s->usersLock);
    releaseNow = s->users == 0;
    s->leftToUsers = !releaseNow;
  }
  if (releaseNow) release(s);
  MutexLock hold(lock_);
  closedName_.swap(name);
  closedAtMs_ = clock_.nowMs();
  return true;
}

SerialChannel::Session* SerialChannel::enter() {
  MutexLock hold(lock_);
  Session* s = session_;
  if (s == nullptr) return nullptr;
  MutexLock users(s->usersLock);
  ++s->users;
  return s;
}

void SerialChannel::leave(Session* s) {
  bool releaseNow = false;
  {
    MutexLock users(s->usersLock);
    if (--s->users == 0 && s->closing) {
      releaseNow = s->leftToUsers;
      if (!releaseNow) s->letGo.set();
    }
  }
  if (releaseNow) release(s);
}

void SerialChannel::release(Session* s) {
  for (CommIo* io : {s->readIo.load(), s->writeIo.load()})
    if (io != nullptr) api_.freeIo(io);
  if (s->port != nullptr) api_.close(s->port);
  delete s;
}

void SerialChannel::reportLost(Session& s) {
  if (s.lost.exchange(true)) return;
  bool current = false;
  {
    MutexLock hold(lock_);
    // A session closed meanwhile is no longer the user interface's concern.
    current = session_ == &s;
    if (current) lost_ = true;
  }
  if (current && onLost_) onLost_();
}

IoResult SerialChannel::failed(Session& s, uint32_t error, std::size_t bytes) {
  if (!IsHardCommError(error)) return IoResult{bytes, IoStatus::TimedOut};
  reportLost(s);
  return IoResult{bytes, IoStatus::Failed};
}

IoResult SerialChannel::finishPending(Session& s, std::atomic<CommIo*>& slot, uint32_t waitMs, const Flag* going,
                                      bool& abortedByDriver) {
  CommIo* io = slot;
  CommWait woke = api_.waitIo(io, waitMs, true);
  // Woken for a cancel that came before this write: it goes on. The wake
  // is lowered before the flags are looked at again, so a cancel or close
  // from now on wakes it once more.
  while (woke == CommWait::Aborted && going != nullptr && *going && !s.closing) {
    api_.raiseWake(io, false);
    if (!*going || s.closing) break;
    woke = api_.waitIo(io, waitMs, true);
  }
  IoStatus status = IoStatus::Done;
  // Not done in time, the port is closing or the writer cancelled: cancel
  // it (this thread started it) and wait until the driver no longer
  // touches the record and the buffer, but not for ever.
  if (woke != CommWait::Done) {
    if (woke == CommWait::TimedOut) {
      status = IoStatus::TimedOut;
    } else {
      // Only a close wakes a read.
      status = going != nullptr && !s.closing ? IoStatus::Cancelled : IoStatus::Closed;
    }
    // Also what the driver has taken from earlier writes and holds to send.
    if (status == IoStatus::Cancelled) api_.purgeOutput(s.port);
    api_.cancel(s.port);
    woke = api_.waitIo(io, kCancelWaitMs, false);
  }
  CommResult r = woke == CommWait::Done ? api_.result(s.port, io) : CommResult{false, 0, comm_error::kIoIncomplete};
  if (!r.ok && r.error == comm_error::kIoIncomplete) {
    // The driver may still complete it one day: the record and the buffer
    // stay its own, never freed, and the port is no longer used.
    slot = nullptr;
    reportLost(s);
    return IoResult{0, IoStatus::Failed};
  }
  // A cancel, this thread's or the driver's, keeps what went through.
  if (!r.ok && r.error != comm_error::kOperationAborted) return failed(s, r.error, r.bytes);
  abortedByDriver = !r.ok && status == IoStatus::Done;
  return IoResult{r.bytes, status};
}

IoResult SerialChannel::transfer(Session& s, std::atomic<CommIo*>& slot, uint32_t n, uint32_t waitMs,
                                 const Flag* going, bool& abortedByDriver) {
  CommIo* io = slot;
  const bool reading = going == nullptr;
  abortedByDriver = false;
  CommResult started = reading ? api_.startRead(s.port, io, n) : api_.startWrite(s.port, io, n);
  IoResult r{started.bytes, IoStatus::Done};
  if (!started.ok && started.error == comm_error::kIoPending) {
    r = finishPending(s, slot, waitMs, going, abortedByDriver);
  } else if (!started.ok) {
    abortedByDriver = started.error == comm_error::kOperationAborted;
    r = failed(s, started.error, 0);
  }
  if (r.bytes > n) r.bytes = n;
  if (abortedTooLong(s, reading, abortedByDriver && r.bytes == 0)) {
    reportLost(s);
    r.status = IoStatus::Failed;
  }
  return r;
}

bool SerialChannel::abortedTooLong(Session& s, bool reading, bool aborted) {
  Session::AbortedRun& run = reading ? s.abortedReads : s.abortedWrites;
  if (!aborted) {
    run.on = false;
    return false;
  }
  const uint32_t now = clock_.nowMs();
  if (!run.on) {
    run.on = true;
    run.sinceMs = now;
  }
  return now - run.sinceMs >= kAbortedRunMs;
}

IoResult SerialChannel::read(uint8_t* buffer, std::size_t capacity) {
  Use use(*this);
  if (use.get() == nullptr) return IoResult{0, IoStatus::Closed};
  const IoResult got = readFrom(*use.get(), buffer, capacity);
  if (got.bytes > 0) {
    MutexLock hold(countsLock_);
    counts_.received += got.bytes;
  }
  return got;
}

SerialChannel::Counts SerialChannel::counts() const {
  MutexLock hold(countsLock_);
  return counts_;
}

void SerialChannel::resetCounts() {
  MutexLock hold(countsLock_);
  counts_ = Counts{};
}

IoResult SerialChannel::readFrom(Session& s, uint8_t* buffer, std::size_t capacity) {
  MutexLock lock(s.readLock);
  CommIo* io = s.readIo;
  if (s.lost || s.closing || io == nullptr) return IoResult{0, IoStatus::Closed};
  if (capacity == 0) return IoResult{};

  // For the line's error flags only: the read returns at once with what is
  // queued, and some virtual and Bluetooth drivers report a count that lags
  // or stays 0. Clearing the flags also ends a driver's abort-on-error state.
  CommResult status = api_.queued(s.port);
  // Closed while the driver kept the query.
  if (s.closing) return IoResult{0, IoStatus::Closed};
  uint32_t want = capacity < io->capacity ? static_cast<uint32_t>(capacity) : io->capacity;
  bool aborted = false;
  IoResult got = transfer(s, s.readIo, want, kReadWaitMs, nullptr, aborted);
  // Into the channel's own buffer: a read that is never seen to complete
  // must not leave the driver writing into the caller's memory.
  if (got.bytes > 0) std::memcpy(buffer, io->data, got.bytes);
  // Some drivers refuse the query (ERROR_INVALID_FUNCTION,
  // ERROR_NOT_SUPPORTED) and read well: the port has failed only when the
  // read fails too.
  if (!status.ok && (got.status == IoStatus::TimedOut || aborted)) return failed(s, status.error, got.bytes);
  return got;
}

IoResult SerialChannel::write(const uint8_t* bytes, std::size_t count, const Flag& going) {
  Use use(*this);
  if (use.get() == nullptr) return IoResult{0, IoStatus::Closed};
  const IoResult put = writeTo(*use.get(), bytes, count, going);
  if (put.bytes > 0) {
    MutexLock hold(countsLock_);
    counts_.sent += put.bytes;
  }
  return put;
}

void SerialChannel::interruptWrite() {
  MutexLock hold(lock_);
  if (session_ == nullptr) return;
  CommIo* io = session_->writeIo;
  if (io != nullptr) api_.raiseWake(io, true);
}

bool SerialChannel::lineFunction(LineFunction function, uint32_t& error) {
  error = 0;
  Use use(*this);
  Session* s = use.get();
  if (s == nullptr || s->lost || s->closing) return false;
  CommResult r = api_.lineFunction(s->port, function);
  error = r.ok ? 0 : r.error;
  return r.ok;
}

bool SerialChannel::setModemLine(bool dtr, LineLevel level, uint32_t& error) {
  uint8_t control = level == LineLevel::On ? kControlEnable : kControlDisable;
  if (level == LineLevel::FollowFlow) {
    Use use(*this);
    if (use.get() == nullptr) {
      error = 0;
      return false;
    }
    control = dtr ? use.get()->followDtr : use.get()->followRts;
  }
  if (control == kControlHandshake) {
    error = 0;
    return true;
  }
  const bool high = control == kControlEnable;
  return lineFunction(dtr ? (high ? LineFunction::SetDtr : LineFunction::ClearDtr)
                          : (high ? LineFunction::SetRts : LineFunction::ClearRts),
                      error);
}

bool SerialChannel::setBreak(bool on, uint32_t& error) {
  return lineFunction(on ? LineFunction::SetBreak : LineFunction::ClearBreak, error);
}

IoResult SerialChannel::writeTo(Session& s, const uint8_t* bytes, std::size_t count, const Flag& going) {
  MutexLock lock(s.writeLock);
  CommIo* io = s.writeIo;
  if (s.lost || s.closing || io == nullptr) return IoResult{0, IoStatus::Closed};
  if (count == 0) return IoResult{};
  // The rest is the caller's to write again.
  uint32_t n = count < io->capacity ? static_cast<uint32_t>(count) : io->capacity;
  std::memcpy(io->data, bytes, n);
  // A wake left by the cancel of an earlier writer is lowered before the
  // flags are looked at: a cancel or close from then on wakes this write.
  api_.raiseWake(io, false);
  if (s.closing) return IoResult{0, IoStatus::Closed};
  if (!going) return IoResult{0, IoStatus::Cancelled};
  bool aborted = false;
  return transfer(s, s.writeIo, n, kWriteTimeoutMs + n * s.writeMsPerByte, &going, aborted);
}

}  // namespace tv
