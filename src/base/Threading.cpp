#include "base/Threading.h"

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#else
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace tv {

#ifdef _WIN32

struct Mutex::Impl {
  Impl() { InitializeCriticalSection(&cs); }
  ~Impl() { DeleteCriticalSection(&cs); }
  CRITICAL_SECTION cs;
};
void Mutex::lock() { EnterCriticalSection(&impl_->cs); }
void Mutex::unlock() { LeaveCriticalSection(&impl_->cs); }

// Without its handle (none could be made) every wait ends at once, unset.
struct Event::Impl {
  Impl() : h(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Impl() {
    if (h != nullptr) CloseHandle(h);
  }
  HANDLE h;
};
bool Event::ok() const { return impl_->h != nullptr; }
void Event::set() { SetEvent(impl_->h); }
void Event::reset() { ResetEvent(impl_->h); }
bool Event::wait(uint32_t ms) { return impl_->h != nullptr && WaitForSingleObject(impl_->h, ms) == WAIT_OBJECT_0; }

namespace {
class TickClock final : public Clock {
 public:
  // Not GetTickCount: it moves in 15.6 ms steps whatever timeBeginPeriod
  // asked for, and the pauses and the view's drain measure spans shorter
  // than that.
  uint32_t nowMs() override { return timeGetTime(); }
  void sleepMs(uint32_t ms) override { Sleep(ms); }
};
}  // namespace

#else

struct Mutex::Impl {
  std::mutex m;
};
void Mutex::lock() { impl_->m.lock(); }
void Mutex::unlock() { impl_->m.unlock(); }

struct Event::Impl {
  std::mutex m;
  std::condition_variable changed;
  bool set = false;  // under m
};
bool Event::ok() const { return true; }
void Event::set() {
  std::lock_guard<std::mutex> hold(impl_->m);
  impl_->set = true;
  impl_->changed.notify_all();
}
void Event::reset() {
  std::lock_guard<std::mutex> hold(impl_->m);
  impl_->set = false;
}
bool Event::wait(uint32_t ms) {
  std::unique_lock<std::mutex> hold(impl_->m);
  return impl_->changed.wait_for(hold, std::chrono::milliseconds(ms), [this] { return impl_->set; });
}

namespace {
class TickClock final : public Clock {
 public:
  uint32_t nowMs() override {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
  }
  void sleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};
}  // namespace

#endif

Mutex::Mutex() : impl_(new Impl) {}
Mutex::~Mutex() = default;
Event::Event() : impl_(new Impl) {}
Event::~Event() = default;

namespace {
TickClock g_clock;
}  // namespace

Clock& SystemClock() { return g_clock; }

}  // namespace tv
