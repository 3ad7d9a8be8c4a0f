#include "session/PortOpener.h"

#include <new>
#include <utility>

namespace tv {

void PortOpener::request(const std::wstring& portName, const LineValues& values) {
  SerialChannel::Opened unwanted;
  bool startThread = false;
  uint32_t generation = 0;
  {
    MutexLock hold(lock_);
    portName_ = portName;
    values_ = values;
    wanted_ = true;
    generation = ++generation_;
    unwanted = std::move(result_);
    startThread = !running_;
    running_ = true;
  }
  if (!startThread) return;
  bool started = false;
  try {
    started = thread_.start([this] { run(); });
  } catch (const std::bad_alloc&) {
  }
  if (started) return;
  // No thread: the open failed, and says so as one would.
  {
    MutexLock hold(lock_);
    running_ = false;
    resultOf_ = generation;
  }
  host_.signal(Signal::OpenDone, 0);
}

void PortOpener::abandon() {
  SerialChannel::Opened unwanted;
  MutexLock hold(lock_);
  ++generation_;
  wanted_ = false;
  unwanted = std::move(result_);
}

bool PortOpener::take(SerialChannel::Opened& opened) {
  MutexLock hold(lock_);
  if (!wanted_ || resultOf_ != generation_) return false;
  opened = std::move(result_);
  resultOf_ = 0;
  return true;
}

void PortOpener::run() {
  for (;;) {
    std::wstring name;
    LineValues values;
    uint32_t generation = 0;
    {
      MutexLock hold(lock_);
      if (!wanted_ || begun_ == generation_) {
        running_ = false;
        return;
      }
      generation = begun_ = generation_;
      try {
        name = portName_;
      } catch (const std::bad_alloc&) {
      }
      values = values_;
    }
    SerialChannel::Opened opened;
    try {
      if (!name.empty()) opened = channel_.prepare(name, values);
    } catch (const std::bad_alloc&) {
    }
    bool kept = false;
    {
      MutexLock hold(lock_);
      if (wanted_ && generation == generation_) {
        result_ = std::move(opened);
        resultOf_ = generation;
        kept = true;
      }
    }
    // One no longer wanted is closed here, outside the lock: the window's
    // thread never waits behind a driver.
    opened.reset();
    if (kept) host_.signal(Signal::OpenDone, 0);
  }
}

}  // namespace tv
