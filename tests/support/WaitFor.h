// Native tests wait on worker threads by polling: a condition met within the
// time-out passes at once, one never met fails after it instead of hanging.
#pragma once

#include <chrono>
#include <thread>

namespace tv {

template <typename Pred>
bool WaitFor(Pred done, int seconds = 20) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace tv
