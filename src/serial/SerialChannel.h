// The program's one connection to a serial port, over the system's calls
// (CommApi), so what real drivers do and Wine never shows can be tested.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "base/Threading.h"
#include "serial/CommApi.h"
#include "serial/LineSettings.h"
#include "serial/Port.h"

namespace tv {

// Opened and closed by the UI thread, read by the receive thread, written
// by the running send job. Reads and writes may run at the same time; a
// close first tells a pending read or write to give up and then waits for
// it, so the handle, the buffers and the completion records are never in
// use when the handle goes.
//
// A port can fail without any word from the system (a Bluetooth link that
// drops, sleep and resume, a USB adapter whose driver sends no broadcast):
// every call then fails at once. The first such hard failure of an open
// port is reported, once, to the handler given at construction, on the
// thread that met it; from then on the channel counts as closed for reads
// and writes until the UI thread closes it.
class SerialChannel final : public Port {
 public:
  // Most bytes one read or write call moves.
  static constexpr uint32_t kIoBytes = 4096;
  static constexpr uint32_t kReadWaitMs = 100;
  static constexpr uint32_t kWriteTimeoutMs = 5000;
  // How long a cancelled transfer is waited for. Some drivers (PL2303
  // clones, old CH340 ones) never complete a cancelled read after an
  // unplug; waiting for good would hang every close and the exit.
  static constexpr uint32_t kCancelWaitMs = 2000;

  SerialChannel(CommApi& api, std::function<void()> onLost);
  ~SerialChannel();
  SerialChannel(const SerialChannel&) = delete;
  SerialChannel& operator=(const SerialChannel&) = delete;

  // True when the port is open afterwards; an open channel stays as it is.
  bool openChannel(const std::wstring& portName, const LineValues& values);
  // True when a handle was closed.
  bool closeChannel();
  // Open, and not failed.
  bool isOpen() const override { return open_.load() && !lost_.load(); }
  // The open port has failed and waits to be closed.
  bool lost() const { return open_.load() && lost_.load(); }

  // Whatever the driver has queued, at most capacity bytes; never waits
  // for data (the port's read time-outs return at once). A read the driver
  // has not finished within 100 ms is cancelled, keeping what it delivered.
  IoResult read(uint8_t* buffer, std::size_t capacity) override;
  // Waits at most the 5000 ms write time-out, then cancels; never returns
  // while the write uses the bytes.
  IoResult write(const uint8_t* bytes, std::size_t count) override;

 private:
  void releaseLocked();
  // Moves n bytes between the port and io's buffer, waiting at most waitMs
  // for the driver.
  IoResult transfer(CommIo*& io, uint32_t n, bool reading, uint32_t waitMs);
  // io's transfer has been started and is pending: waits at most waitMs
  // for it, cancelling it when it takes longer or the port is closing.
  IoResult finishPending(CommIo*& io, uint32_t waitMs);
  // A failed call: a hard error reports the port lost.
  IoResult failed(uint32_t error, std::size_t bytes);
  void reportLost();

  CommApi& api_;
  const std::function<void()> onLost_;
  Mutex readLock_;   // held by read and by open/close
  Mutex writeLock_;  // held by write and by open/close
  CommApi::Handle port_ = nullptr;  // changed under both locks
  // Made at open, freed at close, unless a cancelled transfer was never
  // seen to complete: then the record and its buffer are left to the
  // driver for good, and the next open makes new ones.
  CommIo* readIo_ = nullptr;   // receive thread, under readLock_
  CommIo* writeIo_ = nullptr;  // send job, under writeLock_
  std::atomic<bool> open_{false};  // changed under both locks
  std::atomic<bool> lost_{false};  // set by the thread meeting the failure; cleared by open and close
};

}  // namespace tv
