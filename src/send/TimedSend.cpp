#include "send/TimedSend.h"

namespace tv {

bool PausesAfterLine(DelayMode mode) { return mode == DelayMode::LoopLines || mode == DelayMode::OnceLines; }
bool PausesAfterPass(DelayMode mode) { return mode == DelayMode::LoopAll; }
bool RepeatsPasses(DelayMode mode) { return mode == DelayMode::LoopAll || mode == DelayMode::LoopLines; }

const wchar_t* DelayModeTag(DelayMode mode) {
  switch (mode) {
    case DelayMode::LoopAll: return L"ALL";
    case DelayMode::LoopLines: return L"LINE";
    case DelayMode::OnceLines: return L"ONCE";
    case DelayMode::Off: break;
  }
  return L"";
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
