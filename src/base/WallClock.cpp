#include "base/WallClock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <chrono>
#include <ctime>
#endif

namespace tv {
namespace {

class SystemTime final : public WallClock {
 public:
  LocalTime now() override {
    LocalTime t;
#ifdef _WIN32
    SYSTEMTIME st;
    GetLocalTime(&st);
    t.year = st.wYear;
    t.month = static_cast<uint8_t>(st.wMonth);
    t.day = static_cast<uint8_t>(st.wDay);
    t.hour = static_cast<uint8_t>(st.wHour);
    t.minute = static_cast<uint8_t>(st.wMinute);
    t.second = static_cast<uint8_t>(st.wSecond);
    t.ms = st.wMilliseconds;
#else
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    t.year = static_cast<uint16_t>(parts.tm_year + 1900);
    t.month = static_cast<uint8_t>(parts.tm_mon + 1);
    t.day = static_cast<uint8_t>(parts.tm_mday);
    t.hour = static_cast<uint8_t>(parts.tm_hour);
    t.minute = static_cast<uint8_t>(parts.tm_min);
    t.second = static_cast<uint8_t>(parts.tm_sec);
    t.ms = static_cast<uint16_t>(ms % 1000);
#endif
    return t;
  }
};

SystemTime g_wallClock;

}  // namespace

WallClock& SystemWallClock() { return g_wallClock; }

}  // namespace tv
