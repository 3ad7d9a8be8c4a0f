#include "serial/SerialChannel.h"

#include "serial/DcbConvert.h"

namespace tv {

SerialChannel::SerialChannel() : abort_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

SerialChannel::~SerialChannel() { closeChannel(); }

bool SerialChannel::openChannel(const std::wstring& portName, const LineValues& v) {
  LockGuard<CriticalSection> r(readLock_);
  LockGuard<CriticalSection> w(writeLock_);
  if (open_) return true;

  std::wstring path = L"\\\\.\\" + portName;
  port_.reset(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr));
  if (!port_) {
    port_.release();
    return false;
  }

  // Reads return at once with whatever is queued; writes give up after 5 s.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
  SetCommTimeouts(port_.get(), &timeouts);

  readEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  writeEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));

  // The queue sizes are advisory: some virtual and Bluetooth drivers refuse
  // them, and the port must open all the same. Set first, so the driver's
  // checks of the XON/XOFF limits see the queue they are meant for.
  SetupComm(port_.get(), kPortQueueBytes, kPortQueueBytes);

  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  bool configured = GetCommState(port_.get(), &dcb) != FALSE;
  if (configured) {
    DcbFields fields = FieldsOfDcb(dcb);
    PrepareDcb(fields, v);
    StoreFieldsInDcb(fields, dcb);
    configured = SetCommState(port_.get(), &dcb) != FALSE;
  }
  if (!configured || !readEvent_ || !writeEvent_) {
    releaseLocked();
    return false;
  }
  ResetEvent(abort_.get());
  // The receive poll, the send jobs' pauses and their waits are timed in
  // milliseconds, and all of them run only while the port is open.
  ticks_.begin();
  open_ = true;
  return true;
}

bool SerialChannel::closeChannel() {
  // Wake a read or write that is waiting, then wait for it to let go.
  SetEvent(abort_.get());
  LockGuard<CriticalSection> r(readLock_);
  LockGuard<CriticalSection> w(writeLock_);
  if (!port_) return false;
  releaseLocked();
  return true;
}

void SerialChannel::releaseLocked() {
  open_ = false;
  ticks_.end();
  port_.reset();
  readEvent_.reset();
  writeEvent_.reset();
}

IoResult SerialChannel::finishPending(OVERLAPPED& ov, HANDLE doneEvent, DWORD waitMs) {
  HANDLE waits[2] = {doneEvent, abort_.get()};
  DWORD woke = WaitForMultipleObjects(2, waits, FALSE, waitMs);
  IoStatus status = IoStatus::Done;
  // Not done in time, or the port is closing: cancel it (this thread issued
  // it) and wait until the driver no longer touches the buffer.
  if (woke != WAIT_OBJECT_0) {
    CancelIo(port_.get());
    status = woke == WAIT_OBJECT_0 + 1 ? IoStatus::Closed : IoStatus::TimedOut;
  }
  DWORD transferred = 0;
  if (!GetOverlappedResult(port_.get(), &ov, &transferred, TRUE)) {
    transferred = static_cast<DWORD>(ov.InternalHigh);
    if (status == IoStatus::Done) status = IoStatus::Failed;
  }
  return IoResult{transferred, status};
}

IoResult SerialChannel::read(uint8_t* buffer, std::size_t capacity) {
  LockGuard<CriticalSection> lock(readLock_);
  if (!open_ || !port_) return IoResult{0, IoStatus::Closed};

  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(port_.get(), &errors, &status)) return IoResult{0, IoStatus::Failed};
  if (status.cbInQue == 0 || capacity == 0) return IoResult{};

  DWORD want = status.cbInQue < capacity ? status.cbInQue : static_cast<DWORD>(capacity);
  readOv_ = OVERLAPPED{};
  readOv_.hEvent = readEvent_.get();
  DWORD got = 0;
  if (ReadFile(port_.get(), buffer, want, &got, &readOv_)) return IoResult{got, IoStatus::Done};
  if (GetLastError() != ERROR_IO_PENDING) return IoResult{0, IoStatus::Failed};
  return finishPending(readOv_, readEvent_.get(), kReadWaitMs);
}

IoResult SerialChannel::write(const uint8_t* bytes, std::size_t count) {
  LockGuard<CriticalSection> lock(writeLock_);
  if (!open_ || !port_) return IoResult{0, IoStatus::Closed};
  if (count == 0) return IoResult{};
  // The driver takes at most a DWORD's worth at once; the rest is retried.
  DWORD n = count < 0x40000000 ? static_cast<DWORD>(count) : 0x40000000;
  writeOv_ = OVERLAPPED{};
  writeOv_.hEvent = writeEvent_.get();
  DWORD written = 0;
  if (WriteFile(port_.get(), bytes, n, &written, &writeOv_)) return IoResult{written, IoStatus::Done};
  if (GetLastError() != ERROR_IO_PENDING) return IoResult{0, IoStatus::Failed};
  return finishPending(writeOv_, writeEvent_.get(), kWriteTimeoutMs);
}

}  // namespace tv
