// A lock and a clock for the window-free components that run on worker
// threads. The program uses the system's own primitives (a critical section,
// the tick count); the native build uses the standard library's.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace tv {

// A one-byte flag that one thread sets and others poll, without locks.
using Flag = std::atomic<uint8_t>;

class Mutex {
 public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  void lock();
  void unlock();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class MutexLock {
 public:
  explicit MutexLock(Mutex& m) : m_(m) { m_.lock(); }
  ~MutexLock() { m_.unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& m_;
};

// Set by one thread, waited for by another; stays set until reset.
class Event {
 public:
  Event();
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  // False when the system could not make it: it is then never set, and
  // every wait ends at once.
  bool ok() const;
  void set();
  void reset();
  // True when it is set, or becomes set within ms.
  bool wait(uint32_t ms);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Time as the workers see it; tests hand them a fake one.
class Clock {
 public:
  // A millisecond count that wraps.
  virtual uint32_t nowMs() = 0;
  virtual void sleepMs(uint32_t ms) = 0;

 protected:
  ~Clock() = default;
};

// The real clock.
Clock& SystemClock();

}  // namespace tv
