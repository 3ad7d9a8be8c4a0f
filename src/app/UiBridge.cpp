#include "app/UiBridge.h"

namespace tv {

void UiBridge::attach(HWND window) {
  window_ = window;
  uiThread_ = GetCurrentThreadId();
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
  SendMessageW(w, kCallMessage, 0, reinterpret_cast<LPARAM>(&fn));
}

void UiBridge::requestTitle() {
  HWND w = window_;
  if (w == nullptr) return;
  if (titlePending_.exchange(1) == 0) {
    if (!PostMessageW(w, kTitleMessage, 0, 0)) titlePending_ = 0;
  }
}

void UiBridge::postJobEnded(JobKind job) const {
  HWND w = window_;
  if (w != nullptr) PostMessageW(w, kJobEndedMessage, static_cast<WPARAM>(job), 0);
}

}  // namespace tv
