// The local date and time, as the user's clock shows it; tests hand the
// code that reads it a fake one.
#pragma once

#include <cstdint>

namespace tv {

struct LocalTime {
  uint16_t year = 0;
  uint8_t month = 0;  // 1..12
  uint8_t day = 0;    // 1..31
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
  uint16_t ms = 0;

  bool sameDay(const LocalTime& o) const { return year == o.year && month == o.month && day == o.day; }
};

class WallClock {
 public:
  virtual LocalTime now() = 0;

 protected:
  ~WallClock() = default;
};

// The system's local time.
WallClock& SystemWallClock();

}  // namespace tv
