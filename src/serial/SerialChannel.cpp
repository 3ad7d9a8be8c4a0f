#include "serial/SerialChannel.h"

#include <cstring>
#include <utility>

namespace tv {

SerialChannel::SerialChannel(CommApi& api, std::function<void()> onLost) : api_(api), onLost_(std::move(onLost)) {}

SerialChannel::~SerialChannel() { closeChannel(); }

bool SerialChannel::openChannel(const std::wstring& portName, const LineValues& v) {
  MutexLock r(readLock_);
  MutexLock w(writeLock_);
  if (open_) return true;

  port_ = api_.open(L"\\\\.\\" + portName);
  if (port_ == nullptr) return false;
  api_.setTimeouts(port_, kWriteTimeoutMs);
  // The queue sizes are advisory: some virtual and Bluetooth drivers refuse
  // them, and the port must open all the same. Set first, so the driver's
  // checks of the XON/XOFF limits see the queue they are meant for.
  api_.setupQueues(port_, kPortQueueBytes, kPortQueueBytes);

  DcbFields driver;
  bool configured = api_.getState(port_, driver);
  if (configured) {
    DcbFields fields = driver;
    PrepareDcb(fields, v);
    configured = api_.setState(port_, fields);
    if (!configured && FitFlowLimits(fields, driver, api_.inQueueBytes(port_)))
      configured = api_.setState(port_, fields);
  }
  readIo_ = api_.newIo(kIoBytes);
  writeIo_ = api_.newIo(kIoBytes);
  if (!configured || readIo_ == nullptr || writeIo_ == nullptr) {
    releaseLocked();
    return false;
  }
  api_.raiseAbort(false);
  // The receive poll, the send jobs' pauses and their waits are timed in
  // milliseconds, and all of them run only while the port is open.
  api_.fineTicks(true);
  lost_ = false;
  open_ = true;
  return true;
}

bool SerialChannel::closeChannel() {
  // Wake a read or write that is waiting, then wait for it to let go.
  api_.raiseAbort(true);
  MutexLock r(readLock_);
  MutexLock w(writeLock_);
  if (port_ == nullptr) return false;
  releaseLocked();
  return true;
}

void SerialChannel::releaseLocked() {
  if (open_) api_.fineTicks(false);
  open_ = false;
  lost_ = false;
  if (readIo_ != nullptr) api_.freeIo(readIo_);
  if (writeIo_ != nullptr) api_.freeIo(writeIo_);
  readIo_ = nullptr;
  writeIo_ = nullptr;
  api_.close(port_);
  port_ = nullptr;
}

void SerialChannel::reportLost() {
  if (!lost_.exchange(true) && onLost_) onLost_();
}

IoResult SerialChannel::failed(uint32_t error, std::size_t bytes) {
  if (!IsHardCommError(error)) return IoResult{bytes, IoStatus::TimedOut};
  reportLost();
  return IoResult{bytes, IoStatus::Failed};
}

IoResult SerialChannel::finishPending(CommIo*& io, uint32_t waitMs) {
  CommWait woke = api_.waitIo(io, waitMs, true);
  IoStatus status = IoStatus::Done;
  // Not done in time, or the port is closing: cancel it (this thread
  // started it) and wait until the driver no longer touches the record and
  // the buffer, but not for ever.
  if (woke != CommWait::Done) {
    status = woke == CommWait::Aborted ? IoStatus::Closed : IoStatus::TimedOut;
    api_.cancel(port_);
    woke = api_.waitIo(io, kCancelWaitMs, false);
  }
  CommResult r = woke == CommWait::Done ? api_.result(port_, io) : CommResult{false, 0, comm_error::kIoIncomplete};
  if (!r.ok && r.error == comm_error::kIoIncomplete) {
    // The driver may still complete it one day: the record and the buffer
    // stay its own, never freed, and the port is no longer used.
    io = nullptr;
    reportLost();
    return IoResult{0, IoStatus::Failed};
  }
  // A cancel, this thread's or the driver's, keeps what went through.
  if (!r.ok && r.error != comm_error::kOperationAborted) return failed(r.error, r.bytes);
  return IoResult{r.bytes, status};
}

IoResult SerialChannel::transfer(CommIo*& io, uint32_t n, bool reading, uint32_t waitMs) {
  CommResult started = reading ? api_.startRead(port_, io, n) : api_.startWrite(port_, io, n);
  IoResult r{started.bytes, IoStatus::Done};
  if (!started.ok) {
    if (started.error != comm_error::kIoPending) return failed(started.error, 0);
    r = finishPending(io, waitMs);
  }
  if (r.bytes > n) r.bytes = n;
  return r;
}

IoResult SerialChannel::read(uint8_t* buffer, std::size_t capacity) {
  MutexLock lock(readLock_);
  if (!isOpen() || readIo_ == nullptr) return IoResult{0, IoStatus::Closed};
  if (capacity == 0) return IoResult{};

  // For the line's error flags only: the read returns at once with what is
  // queued, and some virtual and Bluetooth drivers report a count that lags
  // or stays 0. Clearing the flags also ends a driver's abort-on-error state.
  CommResult status = api_.queued(port_);
  uint32_t want = capacity < readIo_->capacity ? static_cast<uint32_t>(capacity) : readIo_->capacity;
  // Into the channel's own buffer: a read that is never seen to complete
  // must not leave the driver writing into the caller's memory.
  IoResult got = transfer(readIo_, want, true, kReadWaitMs);
  if (got.bytes > 0) std::memcpy(buffer, readIo_->data, got.bytes);
  // Some drivers refuse the query (ERROR_INVALID_FUNCTION,
  // ERROR_NOT_SUPPORTED) and read well: the port has failed only when the
  // read fails too.
  if (!status.ok && got.status == IoStatus::TimedOut) return failed(status.error, got.bytes);
  return got;
}

IoResult SerialChannel::write(const uint8_t* bytes, std::size_t count) {
  MutexLock lock(writeLock_);
  if (!isOpen() || writeIo_ == nullptr) return IoResult{0, IoStatus::Closed};
  if (count == 0) return IoResult{};
  // The rest is the caller's to write again.
  uint32_t n = count < writeIo_->capacity ? static_cast<uint32_t>(count) : writeIo_->capacity;
  std::memcpy(writeIo_->data, bytes, n);
  return transfer(writeIo_, n, false, kWriteTimeoutMs);
}

}  // namespace tv
