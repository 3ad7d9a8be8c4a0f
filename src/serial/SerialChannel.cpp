#include "serial/SerialChannel.h"

#include <cstring>

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

DWORD SerialChannel::finishPending(OVERLAPPED& ov, HANDLE doneEvent, DWORD waitMs) {
  HANDLE waits[2] = {doneEvent, abort_.get()};
  DWORD woke = WaitForMultipleObjects(2, waits, FALSE, waitMs);
  // Not done in time, or the port is closing: cancel it (this thread issued
  // it) and wait until the driver no longer touches the buffer.
  if (woke != WAIT_OBJECT_0) CancelIo(port_.get());
  DWORD transferred = 0;
  if (!GetOverlappedResult(port_.get(), &ov, &transferred, TRUE))
    transferred = static_cast<DWORD>(ov.InternalHigh);
  return transferred;
}

DWORD SerialChannel::readAvailable(uint8_t* buffer, DWORD capacity) {
  LockGuard<CriticalSection> lock(readLock_);
  if (!open_ || !port_) return 0;
  std::memset(buffer, 0, capacity);

  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(port_.get(), &errors, &status)) status.cbInQue = 0;
  if (status.cbInQue == 0) return 0;

  DWORD want = status.cbInQue < capacity ? status.cbInQue : capacity;
  readOv_ = OVERLAPPED{};
  readOv_.hEvent = readEvent_.get();
  DWORD got = 0;
  if (ReadFile(port_.get(), buffer, want, &got, &readOv_)) return got;
  if (GetLastError() != ERROR_IO_PENDING) return 0;
  return finishPending(readOv_, readEvent_.get(), kReadWaitMs);
}

DWORD SerialChannel::writeBytes(const uint8_t* bytes, DWORD count) {
  LockGuard<CriticalSection> lock(writeLock_);
  if (!open_ || !port_) return 0;
  writeOv_ = OVERLAPPED{};
  writeOv_.hEvent = writeEvent_.get();
  DWORD written = 0;
  if (WriteFile(port_.get(), bytes, count, &written, &writeOv_)) return written;
  if (GetLastError() != ERROR_IO_PENDING) return 0;
  return finishPending(writeOv_, writeEvent_.get(), kWriteTimeoutMs);
}

uint8_t* SerialChannel::prepareStaging(std::size_t size) {
  staging_.assign(size, 0);
  return stagingBuffer();
}

DWORD SerialChannel::writeStaging() {
  if (staging_.empty()) return 0;
  return writeBytes(staging_.data(), static_cast<DWORD>(staging_.size()));
}

}  // namespace tv
