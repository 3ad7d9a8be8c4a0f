#include "send/TimedSend.h"

namespace tv {

bool PausesAfterLine(int32_t mode) { return mode == kDelayLoopLines || mode == kDelayOnceLines; }
bool PausesAfterPass(int32_t mode) { return mode == kDelayLoopAll; }
bool RepeatsPasses(int32_t mode) { return mode == kDelayLoopAll || mode == kDelayLoopLines; }

const wchar_t* DelayModeTag(int32_t mode) {
  switch (mode) {
    case kDelayOff: return L"";
    case kDelayLoopAll: return L"ALL";
    case kDelayLoopLines: return L"LINE";
    case kDelayOnceLines: return L"ONCE";
    default: return nullptr;
  }
}

int32_t ParseDelayText(const wchar_t* text) {
  if (text == nullptr) return 0;
  const wchar_t* p = text;
  while (*p == L' ' || (*p >= L'\t' && *p <= L'\r')) ++p;
  bool negative = false;
  if (*p == L'+' || *p == L'-') negative = (*p++ == L'-');
  int64_t value = 0;
  bool saturated = false;
  for (; *p >= L'0' && *p <= L'9'; ++p) {
    if (saturated) continue;
    value = value * 10 + (*p - L'0');
    if (value > 2147483648LL) saturated = true;
  }
  if (negative) {
    value = -value;
    if (saturated || value < -2147483647LL - 1) return -2147483647 - 1;
    return static_cast<int32_t>(value);
  }
  if (saturated || value > 2147483647LL) return 2147483647;
  return static_cast<int32_t>(value);
}

uint32_t PauseMilliseconds(int32_t delay) { return delay < 0 ? 0u : static_cast<uint32_t>(delay); }

std::wstring ComposeTitle(const std::wstring& base, const std::wstring& tag,
                          const std::wstring& progress, wchar_t spinner) {
  std::wstring title = base;
  title += L' ';
  title += tag;
  title += L' ';
  title += progress;
  title += L' ';
  title += spinner;
  return title;
}

}  // namespace tv
