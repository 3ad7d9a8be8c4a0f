// A clock for the native tests: time stands still unless someone sleeps
// (or the test moves it).
#pragma once

#include <cstdint>

#include "base/Threading.h"

namespace tv {

struct FakeClock final : Clock {
  uint32_t nowMs() override { return now; }
  void sleepMs(uint32_t ms) override { now += ms; }
  uint32_t now = 0;
};

}  // namespace tv
