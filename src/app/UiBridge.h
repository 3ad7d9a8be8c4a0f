// The session's host: how the session and its workers reach the window.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>

#include "base/UiCalls.h"
#include "session/SessionHost.h"

namespace tv {

class UiBridge final : public SessionHost, public UiCalls {
 public:
  static constexpr UINT kSignalMessage = WM_APP + 2;  // wParam: Signal, lParam: its detail

  // The UI thread, once the window exists; changed runs there whenever
  // the session's view may have changed.
  void attach(HWND window, std::function<void()> changed);

  // A title request is made at most once until the UI thread handles it:
  // the rebuild reads the latest progress, so none is lost.
  bool signal(Signal signal, int detail) override;
  void call(const std::function<void()>& fn) override { UiCalls::call(fn); }
  void changed() override {
    if (changed_) changed_();
  }

  // The UI thread: the message's signal, or false for one not of this
  // program (any other process can post this message number too).
  bool readSignal(WPARAM wp, Signal& signal) const;
  // The UI thread, as it handles a title request.
  void titleHandled() { titlePending_ = 0; }

 private:
  std::atomic<uint8_t> titlePending_{0};
  std::function<void()> changed_;  // UI thread
};

}  // namespace tv
