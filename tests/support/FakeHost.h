// The window, for the native tests of what the session and its workers
// tell it: signals are queued and calls wait, as they do for a real
// window, until the test (standing for the window's thread) pumps them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "session/SessionHost.h"

namespace tv {

class FakeHost final : public SessionHost {
 public:
  // What the window does with a signal; unset, signals are only recorded.
  std::function<void(Signal, int)> onSignal;
  std::atomic<int> changes{0};

  bool signal(Signal s, int detail) override {
    std::lock_guard<std::mutex> hold(m_);
    if (gone_) return false;
    queue_.push_back(Item{s, detail, nullptr, nullptr});
    changed_.notify_all();
    return true;
  }

  void call(const std::function<void()>& fn) override {
    std::unique_lock<std::mutex> hold(m_);
    if (gone_) return;
    bool done = false;
    queue_.push_back(Item{Signal::Received, 0, &fn, &done});
    changed_.notify_all();
    changed_.wait(hold, [&] { return done || gone_; });
  }

  void changed() override { ++changes; }

  // The window is gone: nothing more is told, and waiting calls return.
  void detach() {
    std::lock_guard<std::mutex> hold(m_);
    gone_ = true;
    for (Item& item : queue_)
      if (item.done != nullptr) *item.done = true;
    queue_.clear();
    changed_.notify_all();
  }

  // Handles what waits until done() holds or ms of real time have passed;
  // true when done() held.
  bool pumpUntil(const std::function<bool()>& done, uint32_t ms = 5000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      pumpAll();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > until) return false;
      std::unique_lock<std::mutex> hold(m_);
      changed_.wait_for(hold, std::chrono::milliseconds(1), [&] { return !queue_.empty(); });
    }
  }

  // Every signal seen so far, in order.
  std::vector<Signal> seen() {
    std::lock_guard<std::mutex> hold(m_);
    return seen_;
  }

 private:
  struct Item {
    Signal signal;
    int detail;
    const std::function<void()>* fn;  // a call, or null for a signal
    bool* done;
  };

  void pumpAll() {
    for (;;) {
      Item item{};
      {
        std::lock_guard<std::mutex> hold(m_);
        if (queue_.empty()) return;
        item = queue_.front();
        queue_.pop_front();
        if (item.fn == nullptr) seen_.push_back(item.signal);
      }
      if (item.fn != nullptr) {
        (*item.fn)();
        std::lock_guard<std::mutex> hold(m_);
        *item.done = true;
        changed_.notify_all();
      } else if (onSignal) {
        onSignal(item.signal, item.detail);
      }
    }
  }

  std::mutex m_;
  std::condition_variable changed_;
  std::deque<Item> queue_;    // under m_
  std::vector<Signal> seen_;  // under m_
  bool gone_ = false;         // under m_
};

}  // namespace tv
