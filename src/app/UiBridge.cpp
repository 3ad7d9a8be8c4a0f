#include "app/UiBridge.h"

namespace tv {

void UiBridge::attach(HWND window) {
  uiThread_ = GetCurrentThreadId();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  cookie_ = static_cast<WPARAM>(now.QuadPart) ^ reinterpret_cast<WPARAM>(this) ^ GetCurrentProcessId();
  if (cookie_ == 0) cookie_ = 1;
  window_ = window;
}

void UiBridge::runCall(WPARAM cookie, LPARAM fn) const {
  if (cookie != cookie_ || fn == 0 || InSendMessageEx(nullptr) == ISMEX_NOSEND) return;
  (*reinterpret_cast<const std::function<void()>*>(fn))();
}

void UiBridge::call(const std::function<void()>& fn) const {
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

void UiBridge::requestTitle() {
  HWND w = window_;
  if (w == nullptr) return;
  if (titlePending_.exchange(1) == 0) {
    if (!PostMessageW(w, kTitleMessage, 0, 0)) titlePending_ = 0;
  }
}

bool UiBridge::postReceived() const {
  HWND w = window_;
  return w != nullptr && PostMessageW(w, kReceivedMessage, 0, 0) != FALSE;
}

void UiBridge::post(UINT message, WPARAM detail) const {
  HWND w = window_;
  if (w != nullptr) PostMessageW(w, message, detail, 0);
}

}  // namespace tv
