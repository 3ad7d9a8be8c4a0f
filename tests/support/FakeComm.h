// The system's serial calls, scripted: any call can fail with a given
// error, and a transfer can complete at once, in its wait, only when
// cancelled, or never, as real drivers do and Wine's never does.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "serial/CommApi.h"

namespace tv {

class FakeComm final : public CommApi {
 public:
  enum class Call {
    Open, SetupQueues, SetTimeouts, GetState, SetState, Queued, StartRead, StartWrite, Cancel, Purge, LineFunction
  };

  // How one transfer goes.
  struct Transfer {
    enum class Ends { AtOnce, InWait, OnCancel, Never };
    Ends ends = Ends::AtOnce;
    uint32_t error = 0;            // of its outcome; 0 for success
    uint32_t take = UINT32_MAX;    // most bytes that go through
  };

  ~FakeComm() {
    for (auto& record : records_) delete record.second;
  }

  // ---- the script (test thread)
  void failNext(Call call, uint32_t error) {
    std::lock_guard<std::mutex> hold(m_);
    failures_[call].push_back(error);
  }
  // The device dies: every such call fails from now on.
  void failAlways(Call call, uint32_t error) {
    std::lock_guard<std::mutex> hold(m_);
    always_[call] = error;
  }
  void failNoMore(Call call) {
    std::lock_guard<std::mutex> hold(m_);
    always_.erase(call);
  }
  void scriptReads(std::vector<Transfer> t) { reads_.assign(t.begin(), t.end()); }
  void scriptWrites(std::vector<Transfer> t) { writes_.assign(t.begin(), t.end()); }
  // The next queue query does not return until let go, as a driver's call
  // can hang.
  void holdNextQueued() {
    std::lock_guard<std::mutex> hold(m_);
    holdQueued_ = true;
  }
  bool insideQueued() {
    std::lock_guard<std::mutex> hold(m_);
    return insideQueued_;
  }
  void letQueuedGo() {
    std::lock_guard<std::mutex> hold(m_);
    holdQueued_ = false;
    queuedLetGo_ = true;
    changed_.notify_all();
  }
  // Opens do not return until let go.
  void holdOpens() {
    std::lock_guard<std::mutex> hold(m_);
    holdOpen_ = true;
  }
  bool insideOpen() {
    std::lock_guard<std::mutex> hold(m_);
    return insideOpen_;
  }
  void letOpensGo() {
    std::lock_guard<std::mutex> hold(m_);
    holdOpen_ = false;
    changed_.notify_all();
  }
  // A driver whose queue count stays 0 whatever it holds.
  void countNothing() {
    std::lock_guard<std::mutex> hold(m_);
    countsQueue_ = false;
  }
  // Real time an abortable or cancel wait takes at most; the channel's
  // waits of seconds pass at once in the tests that do not need them.
  void capWaits(uint32_t ms) {
    std::lock_guard<std::mutex> hold(m_);
    waitCapMs_ = ms;
  }

  // ---- the device
  void deliver(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> hold(m_);
    inbox_.insert(inbox_.end(), bytes.begin(), bytes.end());
  }
  // A driver completing, late, every transfer still pending: it writes into
  // their records and buffers.
  void completeLate() {
    std::lock_guard<std::mutex> hold(m_);
    for (auto& record : records_)
      if (record.second->pending) completeLocked(*record.second, 0);
  }

  // A driver with an input buffer of this many bytes refuses XON/XOFF
  // limits beyond it; a queue size it takes becomes its buffer. 0: no
  // check. Told by inQueueBytes when it says.
  uint32_t inBuffer = 0;
  bool tellsInBuffer = true;
  // An open while a handle is still open is denied, as a real port's is.
  bool exclusive = false;
  // Memory runs out for a transfer's record.
  bool newIoThrows = false;
  // A driver that refuses every rate above this one (0: none).
  uint32_t fastestRate = 0;

  // ---- what happened
  DcbFields state;    // what the driver reports
  DcbFields applied;  // what the channel set last
  uint32_t writeTimeoutMs = 0;
  uint32_t writeTimeoutMsPerByte = 0;
  std::vector<Call> calls;  // under m_ while the channel runs
  std::vector<uint32_t> waits;  // ms of every wait, in order; under m_ while the channel runs
  std::size_t waitCount() {
    std::lock_guard<std::mutex> hold(m_);
    return waits.size();
  }
  std::vector<uint8_t> written() {
    std::lock_guard<std::mutex> hold(m_);
    return written_;
  }
  // The modem line and break calls the driver took, in order.
  std::vector<LineFunction> lineFunctions() {
    std::lock_guard<std::mutex> hold(m_);
    return lineFunctions_;
  }
  std::vector<Call> callsMade() {
    std::lock_guard<std::mutex> hold(m_);
    return calls;
  }
  std::atomic<int> openHandles{0};
  int ticksHeld = 0;
  std::size_t liveRecords() const { return records_.size(); }

  // ---- CommApi
  Handle open(const std::wstring&, uint32_t& error) override {
    {
      // A Bluetooth port out of reach keeps its open for seconds.
      std::unique_lock<std::mutex> hold(m_);
      if (holdOpen_) {
        insideOpen_ = true;
        changed_.notify_all();
        changed_.wait(hold, [&] { return !holdOpen_; });
        insideOpen_ = false;
      }
    }
    if (fails(Call::Open)) {
      error = lastError();
      return nullptr;
    }
    // A real port is opened by one handle at a time.
    if (exclusive && openHandles > 0) {
      error = comm_error::kAccessDenied;
      return nullptr;
    }
    ++openHandles;
    error = 0;
    return this;
  }
  void close(Handle port) override {
    EXPECT_EQ(port, this);
    --openHandles;
  }
  bool setupQueues(Handle, uint32_t inBytes, uint32_t) override {
    if (fails(Call::SetupQueues)) return false;
    if (inBuffer > 0) inBuffer = inBytes;
    return true;
  }
  bool setTimeouts(Handle, uint32_t writeMs, uint32_t writeMsPerByte) override {
    writeTimeoutMs = writeMs;
    writeTimeoutMsPerByte = writeMsPerByte;
    return !fails(Call::SetTimeouts);
  }
  bool getState(Handle, DcbFields& fields) override {
    if (fails(Call::GetState)) return false;
    fields = state;
    return true;
  }
  bool setState(Handle, const DcbFields& fields) override {
    if (fails(Call::SetState)) return false;
    if (fastestRate > 0 && fields.baudRate > fastestRate) return false;
    if (inBuffer > 0 && (fields.xonLim > inBuffer || fields.xoffLim > inBuffer)) return false;
    applied = fields;
    return true;
  }
  uint32_t inQueueBytes(Handle) override { return tellsInBuffer ? inBuffer : 0; }
  CommResult queued(Handle) override {
    {
      std::unique_lock<std::mutex> hold(m_);
      if (holdQueued_) {
        holdQueued_ = false;
        queuedLetGo_ = false;
        insideQueued_ = true;
        changed_.wait(hold, [&] { return queuedLetGo_; });
        insideQueued_ = false;
      }
    }
    if (fails(Call::Queued)) return CommResult{false, 0, lastError()};
    std::lock_guard<std::mutex> hold(m_);
    return CommResult{true, countsQueue_ ? static_cast<uint32_t>(inbox_.size()) : 0, 0};
  }

  CommIo* newIo(uint32_t capacity) override {
    if (newIoThrows) throw std::bad_alloc();
    auto* io = new Record(capacity);
    std::lock_guard<std::mutex> hold(m_);
    records_[io] = io;
    return io;
  }
  void freeIo(CommIo* io) override {
    std::lock_guard<std::mutex> hold(m_);
    Record* r = records_.at(io);
    EXPECT_FALSE(r->pending) << "a record freed while the driver may still write into it";
    records_.erase(io);
    delete r;
  }

  CommResult startRead(Handle, CommIo* io, uint32_t n) override { return start(Call::StartRead, io, n, reads_); }
  CommResult startWrite(Handle, CommIo* io, uint32_t n) override { return start(Call::StartWrite, io, n, writes_); }

  CommWait waitIo(CommIo* io, uint32_t ms, bool abortable) override {
    std::unique_lock<std::mutex> hold(m_);
    waits.push_back(ms);
    Record& r = *records_.at(io);
    if (r.pending && r.ends == Transfer::Ends::InWait) completeLocked(r, r.error);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::min(ms, waitCapMs_));
    changed_.wait_until(hold, until, [&] { return !r.pending || (abortable && r.wake); });
    if (!r.pending) return CommWait::Done;
    return abortable && r.wake ? CommWait::Aborted : CommWait::TimedOut;
  }
  void raiseWake(CommIo* io, bool raised) override {
    std::lock_guard<std::mutex> hold(m_);
    records_.at(io)->wake = raised;
    changed_.notify_all();
  }
  void cancel(Handle) override {
    std::lock_guard<std::mutex> hold(m_);
    calls.push_back(Call::Cancel);
    for (auto& record : records_) {
      Record& r = *record.second;
      if (r.pending && r.ends != Transfer::Ends::Never) completeLocked(r, comm_error::kOperationAborted);
    }
  }
  // Ends the pending writes, as a driver honouring the purge does.
  void purgeOutput(Handle) override {
    std::lock_guard<std::mutex> hold(m_);
    calls.push_back(Call::Purge);
    for (auto& record : records_) {
      Record& r = *record.second;
      if (r.pending && !r.reading && r.ends != Transfer::Ends::Never) {
        r.take = 0;
        completeLocked(r, comm_error::kOperationAborted);
      }
    }
  }
  CommResult result(Handle, CommIo* io) override {
    std::lock_guard<std::mutex> hold(m_);
    Record& r = *records_.at(io);
    if (r.pending) return CommResult{false, 0, comm_error::kIoIncomplete};
    return r.outcome;
  }
  CommResult lineFunction(Handle, LineFunction function) override {
    if (fails(Call::LineFunction)) return CommResult{false, 0, lastError()};
    std::lock_guard<std::mutex> hold(m_);
    lineFunctions_.push_back(function);
    return CommResult{true, 0, 0};
  }
  void fineTicks(bool on) override { ticksHeld += on ? 1 : -1; }

 private:
  struct Record final : CommIo {
    explicit Record(uint32_t size) : bytes(size) {
      data = bytes.data();
      capacity = size;
    }
    std::vector<uint8_t> bytes;
    bool pending = false;
    bool wake = false;
    bool reading = false;
    uint32_t n = 0;
    Transfer::Ends ends = Transfer::Ends::AtOnce;
    uint32_t error = 0;
    uint32_t take = 0;
    CommResult outcome;
  };

  bool fails(Call call) {
    std::lock_guard<std::mutex> hold(m_);
    calls.push_back(call);
    auto a = always_.find(call);
    if (a != always_.end()) {
      lastError_ = a->second;
      return true;
    }
    auto& next = failures_[call];
    if (next.empty()) return false;
    lastError_ = next.front();
    next.pop_front();
    return true;
  }

  uint32_t lastError() {
    std::lock_guard<std::mutex> hold(m_);
    return lastError_;
  }

  CommResult start(Call call, CommIo* io, uint32_t n, std::deque<Transfer>& script) {
    if (fails(call)) return CommResult{false, 0, lastError()};
    Transfer t;
    if (!script.empty()) {
      t = script.front();
      script.pop_front();
    }
    std::lock_guard<std::mutex> hold(m_);
    Record& r = *records_.at(io);
    r.reading = call == Call::StartRead;
    r.n = n;
    r.ends = t.ends;
    r.error = t.error;
    r.take = t.take;
    r.pending = true;
    if (t.ends != Transfer::Ends::AtOnce) return CommResult{false, 0, comm_error::kIoPending};
    completeLocked(r, t.error);
    return r.outcome;
  }

  void completeLocked(Record& r, uint32_t error) {
    uint32_t n = std::min(r.n, r.take);
    if (r.reading) {
      n = std::min<uint32_t>(n, static_cast<uint32_t>(inbox_.size()));
      std::copy(inbox_.begin(), inbox_.begin() + n, r.bytes.begin());
      inbox_.erase(inbox_.begin(), inbox_.begin() + n);
    } else {
      written_.insert(written_.end(), r.bytes.begin(), r.bytes.begin() + n);
    }
    r.pending = false;
    r.outcome = CommResult{error == 0, n, error};
    changed_.notify_all();
  }

  std::mutex m_;
  std::map<Call, std::deque<uint32_t>> failures_;  // under m_
  std::map<Call, uint32_t> always_;                // under m_
  uint32_t lastError_ = 0;                         // under m_
  std::deque<Transfer> reads_;   // the reading thread's
  std::deque<Transfer> writes_;  // the writing thread's
  uint32_t waitCapMs_ = 20;      // under m_
  std::condition_variable changed_;
  std::map<CommIo*, Record*> records_;  // under m_
  std::deque<uint8_t> inbox_;           // under m_
  std::vector<uint8_t> written_;        // under m_
  std::vector<LineFunction> lineFunctions_;  // under m_
  bool holdQueued_ = false;             // under m_
  bool insideQueued_ = false;           // under m_
  bool queuedLetGo_ = false;            // under m_
  bool countsQueue_ = true;             // under m_
  bool holdOpen_ = false;               // under m_
  bool insideOpen_ = false;             // under m_
};

}  // namespace tv
