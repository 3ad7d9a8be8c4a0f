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
// by the running send job. Reads and writes may run at the same time.
//
// A close never waits for long: it tells a pending read or write to give
// up, waits a bounded time for it to let go, and otherwise leaves the port
// to the thread still inside a call to the driver (a Bluetooth port out of
// reach, a driver after an unplug can keep a call for seconds or for
// good), which closes it when its call returns. Each open port is a
// session of its own, so a port opened again meanwhile never waits for
// such a thread either.
//
// A port can fail without any word from the system (a Bluetooth link that
// drops, sleep and resume, a USB adapter whose driver sends no broadcast):
// every call then fails at once. The first such hard failure of an open
// port is reported, once, to the handler given at construction, on the
// thread that met it; from then on the channel counts as closed for reads
// and writes until the UI thread closes it.
//
// The channel outlives every thread that uses it.
class SerialChannel final : public Port {
 public:
  // Most bytes one read call moves; a write moves up to the line's block
  // (WriteBlockBytes), so a frame the send jobs keep whole is one write.
  static constexpr uint32_t kIoBytes = 4096;
  static constexpr uint32_t kReadWaitMs = 100;
  // A write's time-out, besides the line time of its bytes.
  static constexpr uint32_t kWriteTimeoutMs = 5000;
  // How long a cancelled transfer is waited for. Some drivers (PL2303
  // clones, old CH340 ones) never complete a cancelled read after an
  // unplug; waiting for good would hang every close and the exit.
  static constexpr uint32_t kCancelWaitMs = 2000;
  // How long a close waits for the reads and writes under way to let go.
  static constexpr uint32_t kCloseWaitMs = 2000;
  // A driver in the abort-on-error mode aborts every transfer until the
  // next queue query clears it. One that goes on aborting every transfer in
  // one direction, moving nothing, for this long has failed, though its
  // queries succeed.
  static constexpr uint32_t kAbortedRunMs = 1000;
  // A driver can refuse a new open as denied while the handle of the last
  // one is still closing (USB adapters, Bluetooth). Within this long after
  // the channel's own close of a port, an open of that port denied so is
  // asked again, every kReopenStepMs. A port another program holds is
  // refused at once as before.
  static constexpr uint32_t kReopenRetryMs = 1000;
  static constexpr uint32_t kReopenStepMs = 50;
  // ERROR_NOT_ENOUGH_MEMORY: an open that failed for want of memory.
  static constexpr uint32_t kNoMemory = 8;

  struct Session;

  // A port opened and configured but not yet in use, owned by whichever
  // thread holds it; what it holds is closed when it is destroyed unused.
  class Opened {
   public:
    Opened() = default;
    Opened(Opened&& o) noexcept { *this = std::move(o); }
    Opened& operator=(Opened&& o) noexcept;
    ~Opened() { reset(); }
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;
    explicit operator bool() const { return session_ != nullptr; }
    // The system's error when the open failed; 0 when a setting was refused.
    uint32_t error() const { return error_; }
    // A setting was refused, and it was a fast or custom rate: the driver
    // took the same configuration at the rate it had.
    bool rateRefused() const { return rateRefused_; }
    void reset();

   private:
    friend class SerialChannel;
    SerialChannel* channel_ = nullptr;
    Session* session_ = nullptr;
    uint32_t error_ = 0;
    bool rateRefused_ = false;
  };

  SerialChannel(CommApi& api, Clock& clock, std::function<void()> onLost);
  ~SerialChannel();
  SerialChannel(const SerialChannel&) = delete;
  SerialChannel& operator=(const SerialChannel&) = delete;

  // Any one thread at a time (opening and configuring can take seconds:
  // a Bluetooth port out of reach, a hung driver): the port opened and
  // configured for the values, or empty.
  Opened prepare(const std::wstring& portName, const LineValues& values);
  // The open-port owner's thread: the prepared port becomes the open port.
  // False, with it closed, when it is empty or a port is open already.
  bool adopt(Opened opened);
  // Both in one, on the owner's thread.
  bool openChannel(const std::wstring& portName, const LineValues& values) { return adopt(prepare(portName, values)); }
  // True when a port was open: it is closed, or, when the reads and writes
  // under way have not let go of it within waitMs, left to the thread still
  // using it to close.
  bool closeChannel(uint32_t waitMs = kCloseWaitMs);
  // Open, and not failed.
  bool isOpen() const override { return open_.load() && !lost_.load(); }
  // The open port has failed and waits to be closed.
  bool lost() const { return open_.load() && lost_.load(); }

  // Whatever the driver has queued, at most capacity bytes; never waits
  // for data (the port's read time-outs return at once). A read the driver
  // has not finished within 100 ms is cancelled, keeping what it delivered.
  IoResult read(uint8_t* buffer, std::size_t capacity) override;
  // Waits at most the write time-out, then cancels; never returns while the
  // write uses the bytes. A write interrupted once going is cleared ends
  // the driver's pending write and drops what it holds to send: a cancel
  // stops the output at once, also when flow control (CTS low, an XOFF)
  // holds it.
  IoResult write(const uint8_t* bytes, std::size_t count, const Flag& going) override;
  void interruptWrite() override;

  // Any thread: DTR (dtr) or RTS of the open port set at once to the
  // level; following the flow mode puts it back to what the flow mode gave
  // it at the open, and does nothing where the flow mode or the driver
  // drives it. False, with the system's error (0 when no port is open),
  // when the driver refused: a refusal is no failure of the port.
  bool setModemLine(bool dtr, LineLevel level, uint32_t& error);
  // Any thread: the open port's line held in break, or let go.
  bool setBreak(bool on, uint32_t& error);
  // Bytes read from the driver and taken by it, over every port open since
  // the last reset (the owner resets them when the user opens the port).
  struct Counts {
    uint64_t received = 0;
    uint64_t sent = 0;
  };
  Counts counts() const;
  void resetCounts();

 private:
  class Use;

  // The open, asked again while a recent close of the same port may be
  // what denies it; null with the error when it failed.
  CommApi::Handle openAgainAfterClose(const std::wstring& portName, uint32_t& error);

  // The open port's session with one more user, or null when closed.
  Session* enter();
  // One user less; the last one out of a session its close gave up
  // waiting for releases it.
  void leave(Session* s);
  // Closes the handle and frees the records and the session.
  void release(Session* s);
  bool lineFunction(LineFunction function, uint32_t& error);

  IoResult readFrom(Session& s, uint8_t* buffer, std::size_t capacity);
  IoResult writeTo(Session& s, const uint8_t* bytes, std::size_t count, const Flag& going);
  // Moves n bytes between the port and the buffer of the record in slot,
  // waiting at most waitMs for the driver; a write also ends once going is
  // found cleared (null for a read). abortedByDriver: the driver ended it
  // with a cancel of its own.
  IoResult transfer(Session& s, std::atomic<CommIo*>& slot, uint32_t n, uint32_t waitMs, const Flag* going,
                    bool& abortedByDriver);
  // The record's transfer has been started and is pending: waits at most
  // waitMs for it, cancelling it when it takes longer, the port is closing
  // or the writer is cancelled.
  IoResult finishPending(Session& s, std::atomic<CommIo*>& slot, uint32_t waitMs, const Flag* going,
                         bool& abortedByDriver);
  // Counts a transfer toward a run of ones the driver aborted having moved
  // nothing, or ends the run; true once the run has lasted kAbortedRunMs.
  bool abortedTooLong(Session& s, bool reading, bool aborted);
  // A failed call: a hard error reports the port lost.
  IoResult failed(Session& s, uint32_t error, std::size_t bytes);
  void reportLost(Session& s);

  CommApi& api_;
  Clock& clock_;
  const std::function<void()> onLost_;
  // Guards session_ only and is never held across a call into the driver,
  // so the UI thread never waits for a driver behind it.
  Mutex lock_;
  Session* session_ = nullptr;     // set by open and cleared by close (UI thread), under lock_
  std::atomic<bool> open_{false};  // UI thread: a session is set
  // Set by the thread meeting the failure of the session set, under lock_;
  // cleared by open and close.
  std::atomic<bool> lost_{false};
  // The last port closed and when its close ended; written by close, read
  // by prepare, under lock_.
  std::wstring closedName_;
  uint32_t closedAtMs_ = 0;
  // Its own lock: 64-bit counts are not atomic on every target, and the
  // reader and a writer add to them at the same time.
  mutable Mutex countsLock_;
  Counts counts_;  // under countsLock_
};

}  // namespace tv
