#include "app/UiBridge.h"

#include <utility>

namespace tv {

void UiBridge::attach(HWND window, std::function<void()> changed) {
  changed_ = std::move(changed);
  UiCalls::attach(window);
}

bool UiBridge::signal(Signal signal, int detail) {
  if (signal == Signal::Title && titlePending_.exchange(1) != 0) return true;
  const bool posted = post(kSignalMessage, static_cast<WPARAM>(signal), detail);
  if (!posted && signal == Signal::Title) titlePending_ = 0;
  return posted;
}

bool UiBridge::readSignal(WPARAM wp, Signal& signal) const {
  if (wp > static_cast<WPARAM>(Signal::OpenDone)) return false;
  signal = static_cast<Signal>(wp);
  return true;
}

}  // namespace tv
