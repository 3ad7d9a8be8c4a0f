// The program's one connection to a serial port.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/WinHandles.h"
#include "serial/LineSettings.h"
#include "serial/PortList.h"

namespace tv {

// Opened and closed by the UI thread, read by the receive thread, written
// by the running send job. Reads and writes may run at the same time; a
// close first tells a pending read or write to give up and then waits for
// it, so the handle, the buffers and the completion records are never in
// use when the handle goes.
class SerialChannel {
 public:
  SerialChannel();
  ~SerialChannel();
  SerialChannel(const SerialChannel&) = delete;
  SerialChannel& operator=(const SerialChannel&) = delete;

  // True when the port is open afterwards; an open channel stays as it is.
  bool openChannel(const std::wstring& portName, const LineValues& values);
  // True when a handle was closed.
  bool closeChannel();
  bool isOpen() const { return open_.load(); }

  // Whatever the driver has queued, at most capacity bytes; never waits
  // for data. The buffer is zero-filled first.
  DWORD readAvailable(uint8_t* buffer, DWORD capacity);
  // Returns the bytes the driver took. Waits at most the 5000 ms write
  // time-out, then cancels; never returns while the write uses the bytes.
  DWORD writeBytes(const uint8_t* bytes, DWORD count);

  // A zero-filled scratch buffer a send job converts text into.
  uint8_t* prepareStaging(std::size_t size);
  uint8_t* stagingBuffer() { return staging_.empty() ? nullptr : staging_.data(); }
  DWORD writeStaging();

 private:
  static constexpr DWORD kReadWaitMs = 100;
  static constexpr DWORD kWriteTimeoutMs = 5000;

  void releaseLocked();
  DWORD finishPending(OVERLAPPED& ov, HANDLE doneEvent, DWORD waitMs);

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
  std::vector<uint8_t> staging_;  // the running send job's
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
