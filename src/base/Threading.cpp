#include "base/Threading.h"

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#else
#include <chrono>
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

namespace {
TickClock g_clock;
}  // namespace

Clock& SystemClock() { return g_clock; }

}  // namespace tv
