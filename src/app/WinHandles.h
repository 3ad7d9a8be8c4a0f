// Owners for the platform's handles and a lock, so every acquisition has
// exactly one release.
#pragma once

#include <windows.h>
#include <mmsystem.h>

namespace tv {

// A kernel handle closed with CloseHandle. Both "no handle" values
// (null and INVALID_HANDLE_VALUE) count as empty.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }

  HANDLE get() const { return h_; }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return valid(); }
  HANDLE release() {
    HANDLE h = h_;
    h_ = nullptr;
    return h;
  }
  void reset(HANDLE h = nullptr) {
    if (valid()) CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = nullptr;
};

// Asks for 1 ms timer ticks while held. Without it every Sleep and wait
// on Windows ends on the next 15.6 ms tick, and no other program's request
// counts for this one since Windows 10 2004.
class FineTimerTicks {
 public:
  FineTimerTicks() = default;
  ~FineTimerTicks() { end(); }
  FineTimerTicks(const FineTimerTicks&) = delete;
  FineTimerTicks& operator=(const FineTimerTicks&) = delete;
  void begin() {
    if (!held_) held_ = timeBeginPeriod(1) == TIMERR_NOERROR;
  }
  void end() {
    if (held_) timeEndPeriod(1);
    held_ = false;
  }

 private:
  bool held_ = false;
};

class CriticalSection {
 public:
  CriticalSection() { InitializeCriticalSection(&cs_); }
  ~CriticalSection() { DeleteCriticalSection(&cs_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void lock() { EnterCriticalSection(&cs_); }
  void unlock() { LeaveCriticalSection(&cs_); }

 private:
  CRITICAL_SECTION cs_;
};

template <typename Lockable>
class LockGuard {
 public:
  explicit LockGuard(Lockable& l) : l_(l) { l_.lock(); }
  ~LockGuard() { l_.unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lockable& l_;
};

class UniqueMenu {
 public:
  UniqueMenu() = default;
  explicit UniqueMenu(HMENU m) : m_(m) {}
  ~UniqueMenu() {
    if (m_) DestroyMenu(m_);
  }
  UniqueMenu(const UniqueMenu&) = delete;
  UniqueMenu& operator=(const UniqueMenu&) = delete;
  HMENU get() const { return m_; }
  HMENU release() {
    HMENU m = m_;
    m_ = nullptr;
    return m;
  }

 private:
  HMENU m_ = nullptr;
};

class UniqueModule {
 public:
  explicit UniqueModule(HMODULE m) : m_(m) {}
  ~UniqueModule() {
    if (m_) FreeLibrary(m_);
  }
  UniqueModule(const UniqueModule&) = delete;
  UniqueModule& operator=(const UniqueModule&) = delete;

 private:
  HMODULE m_;
};

}  // namespace tv
