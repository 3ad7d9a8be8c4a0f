// A scripted port for the native tests: what the device sends is queued by
// the test and handed out in the read sizes the script gives; every write
// is recorded and answered as the script says.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "serial/Port.h"

namespace tv {

class FakePort final : public Port {
 public:
  // How one write call is answered: at most `take` bytes go through.
  struct WriteAnswer {
    std::size_t take;
    IoStatus status;
  };

  // ---- the device end (test thread)
  void deliver(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> hold(m_);
    inbox_.insert(inbox_.end(), bytes.begin(), bytes.end());
  }
  std::size_t unread() {
    std::lock_guard<std::mutex> hold(m_);
    return inbox_.size();
  }
  // Read sizes, used in turn: a read hands out at most the next one.
  void setReadSplits(std::vector<std::size_t> splits) {
    std::lock_guard<std::mutex> hold(m_);
    splits_ = std::move(splits);
  }
  void close() { open_ = false; }

  // Answers for the coming write calls, in order; afterwards all is taken.
  void scriptWrites(std::vector<WriteAnswer> answers) { answers_.assign(answers.begin(), answers.end()); }
  // Called after every write call with the bytes that went through so far.
  std::function<void(std::size_t)> afterWrite;

  const std::vector<uint8_t>& written() const { return written_; }
  const std::vector<std::size_t>& writeCalls() const { return calls_; }

  // ---- Port
  bool isOpen() const override { return open_; }

  IoResult read(uint8_t* buffer, std::size_t capacity) override {
    std::lock_guard<std::mutex> hold(m_);
    if (!open_) return IoResult{0, IoStatus::Closed};
    std::size_t n = std::min(capacity, inbox_.size());
    if (!splits_.empty()) {
      n = std::min(n, splits_[next_++ % splits_.size()]);
    }
    std::copy(inbox_.begin(), inbox_.begin() + static_cast<std::ptrdiff_t>(n), buffer);
    inbox_.erase(inbox_.begin(), inbox_.begin() + static_cast<std::ptrdiff_t>(n));
    return IoResult{n, IoStatus::Done};
  }

  IoResult write(const uint8_t* bytes, std::size_t count, const Flag&) override {
    if (!open_) return IoResult{0, IoStatus::Closed};
    calls_.push_back(count);
    IoResult r{count, IoStatus::Done};
    if (!answers_.empty()) {
      r.bytes = std::min(count, answers_.front().take);
      r.status = answers_.front().status;
      answers_.pop_front();
    }
    written_.insert(written_.end(), bytes, bytes + r.bytes);
    if (afterWrite) afterWrite(written_.size());
    return r;
  }
  void interruptWrite() override { ++interrupts; }
  std::atomic<int> interrupts{0};

 private:
  std::mutex m_;
  std::deque<uint8_t> inbox_;          // under m_
  std::vector<std::size_t> splits_;   // under m_
  std::size_t next_ = 0;              // under m_
  std::atomic<bool> open_{true};
  // The writing thread's only.
  std::deque<WriteAnswer> answers_;
  std::vector<uint8_t> written_;
  std::vector<std::size_t> calls_;
};

}  // namespace tv
