#include "base/UiCalls.h"

namespace tv {

void UiCalls::attach(HWND window) {
  uiThread_ = GetCurrentThreadId();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  cookie_ = static_cast<WPARAM>(now.QuadPart) ^ reinterpret_cast<WPARAM>(this) ^ GetCurrentProcessId();
  if (cookie_ == 0) cookie_ = 1;
  window_ = window;
}

void UiCalls::runCall(WPARAM cookie, LPARAM fn) const {
  if (cookie != cookie_ || fn == 0 || InSendMessageEx(nullptr) == ISMEX_NOSEND) return;
  (*reinterpret_cast<const std::function<void()>*>(fn))();
}

void UiCalls::call(const std::function<void()>& fn) const {
  if (onUiThread()) {
    fn();
    return;
  }
  HWND w = window_;
  if (w == nullptr) return;
  // The function object lives on this thread's stack until the window's
  // thread has run it: SendMessage returns only then.
  SendMessageW(w, kCallMessage, cookie_, reinterpret_cast<LPARAM>(&fn));
}

bool UiCalls::post(UINT message, WPARAM wp, LPARAM lp) const {
  HWND w = window_;
  return w != nullptr && PostMessageW(w, message, wp, lp) != FALSE;
}

}  // namespace tv
