// The program's one connection to a serial port.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/WinHandles.h"
#include "serial/LineSettings.h"
#include "serial/Port.h"
#include "serial/PortList.h"

namespace tv {

// Opened and closed by the UI thread, read by the receive thread, written
// by the running send job. Reads and writes may run at the same time; a
// close first tells a pending read or write to give up and then waits for
// it, so the handle, the buffers and the completion records are never in
// use when the handle goes.
class SerialChannel final : public Port {
 public:
  SerialChannel();
  ~SerialChannel();
  SerialChannel(const SerialChannel&) = delete;
  SerialChannel& operator=(const SerialChannel&) = delete;

  // True when the port is open afterwards; an open channel stays as it is.
  bool openChannel(const std::wstring& portName, const LineValues& values);
  // True when a handle was closed.
  bool closeChannel();
  bool isOpen() const override { return open_.load(); }

  // Whatever the driver has queued, at most capacity bytes; never waits
  // for data. A read the driver has not finished within 100 ms is
  // cancelled, keeping what it delivered.
  IoResult read(uint8_t* buffer, std::size_t capacity) override;
  // Waits at most the 5000 ms write time-out, then cancels; never returns
  // while the write uses the bytes.
  IoResult write(const uint8_t* bytes, std::size_t count) override;

 private:
  static constexpr DWORD kReadWaitMs = 100;
  static constexpr DWORD kWriteTimeoutMs = 5000;

  void releaseLocked();
  IoResult finishPending(OVERLAPPED& ov, HANDLE doneEvent, DWORD waitMs);

  CriticalSection readLock_;   // held by readAvailable and by open/close
  CriticalSection writeLock_;  // held by writeBytes and by open/close
  UniqueHandle abort_;         // manual reset; set by close to cut waits short
  UniqueHandle port_;          // guarded by both locks for changes
  UniqueHandle readEvent_;
  UniqueHandle writeEvent_;
  OVERLAPPED readOv_{};   // receive thread, under readLock_
  OVERLAPPED writeOv_{};  // send job, under writeLock_
  FineTimerTicks ticks_;  // held while open; guarded by both locks
  std::atomic<bool> open_{false};
};

// The channel and the list of present ports live and die together; the
// list is scanned once before the main window exists.
struct SerialPort {
  SerialPort() { ports.rescanPorts(); }
  SerialChannel channel;
  PortList ports;
};

SerialPort& Serial();

}  // namespace tv
