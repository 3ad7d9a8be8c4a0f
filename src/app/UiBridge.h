// The one way worker threads reach the UI thread, and the session's host:
// windows and their controls are only ever touched on the thread that
// owns them.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>

#include "session/SessionHost.h"

namespace tv {

class UiBridge final : public SessionHost {
 public:
  static constexpr UINT kCallMessage = WM_APP + 1;    // wParam: cookie, lParam: std::function<void()>*
  static constexpr UINT kSignalMessage = WM_APP + 2;  // wParam: Signal, lParam: its detail

  // Called on the UI thread once the window exists; changed runs there
  // whenever the session's view may have changed.
  void attach(HWND window, std::function<void()> changed);
  void detach() { window_ = nullptr; }
  // Any thread: the window is there to call.
  bool attached() const { return window_ != nullptr; }

  bool onUiThread() const { return GetCurrentThreadId() == uiThread_; }

  // SessionHost. A title request is made at most once until the UI thread
  // handles it: the rebuild reads the latest progress, so none is lost.
  bool signal(Signal signal, int detail) override;
  // Runs fn on the UI thread and waits for it; runs it directly when
  // already there. Nothing runs once the window is gone.
  void call(const std::function<void()>& fn) override;
  void changed() override {
    if (changed_) changed_();
  }

  // UI thread: the message's signal, or false for one not of this program
  // (any other process can post this message number too).
  bool readSignal(WPARAM wp, Signal& signal) const;
  // UI thread, as it handles a title request.
  void titleHandled() { titlePending_ = 0; }
  // UI thread: runs a call sent by a worker. Without this program's cookie
  // it is ignored rather than taken for a pointer.
  void runCall(WPARAM cookie, LPARAM fn) const;

 private:
  std::atomic<HWND> window_{nullptr};  // set and cleared by the UI thread, read by workers
  DWORD uiThread_ = 0;                 // set once by the UI thread
  std::atomic<uint8_t> titlePending_{0};
  WPARAM cookie_ = 0;                  // set once by the UI thread in attach
  std::function<void()> changed_;      // UI thread
};

}  // namespace tv
