#include "app/UiBridge.h"

#include <utility>

namespace tv {

void UiBridge::attach(HWND window, std::function<void()> changed) {
  uiThread_ = GetCurrentThreadId();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  cookie_ = static_cast<WPARAM>(now.QuadPart) ^ reinterpret_cast<WPARAM>(this) ^ GetCurrentProcessId();
  if (cookie_ == 0) cookie_ = 1;
  changed_ = std::move(changed);
  window_ = window;
}

void UiBridge::runCall(WPARAM cookie, LPARAM fn) const {
  if (cookie != cookie_ || fn == 0 || InSendMessageEx(nullptr) == ISMEX_NOSEND) return;
  (*reinterpret_cast<const std::function<void()>*>(fn))();
}

void UiBridge::call(const std::function<void()>& fn) {
  if (onUiThread()) {
    fn();
    return;
  }
  HWND w = window_;
  if (w == nullptr) return;
  // The function object lives on this thread's stack until the UI thread
  // has run it: SendMessage returns only then.
  SendMessageW(w, kCallMessage, cookie_, reinterpret_cast<LPARAM>(&fn));
}

bool UiBridge::signal(Signal signal, int detail) {
  HWND w = window_;
  if (w == nullptr) return false;
  if (signal == Signal::Title && titlePending_.exchange(1) != 0) return true;
  const bool posted = PostMessageW(w, kSignalMessage, static_cast<WPARAM>(signal), detail) != FALSE;
  if (!posted && signal == Signal::Title) titlePending_ = 0;
  return posted;
}

bool UiBridge::readSignal(WPARAM wp, Signal& signal) const {
  if (wp > static_cast<WPARAM>(Signal::OpenDone)) return false;
  signal = static_cast<Signal>(wp);
  return true;
}

}  // namespace tv
