// The one way worker threads reach a window's thread: windows and their
// controls are only ever touched on the thread that owns them. A worker
// either posts a message and goes on, or has a function run on that thread
// and waits for it.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

namespace tv {

class UiCalls {
 public:
  // The window's message for a worker's call; its handler calls runCall.
  static constexpr UINT kCallMessage = WM_APP + 1;  // wParam: cookie, lParam: std::function<void()>*

  // The window's thread, once the window exists.
  void attach(HWND window);
  // The window's thread: from now on nothing is run or posted.
  void detach() { window_ = nullptr; }
  // Any thread: the window is there to call.
  bool attached() const { return window_ != nullptr; }
  bool onUiThread() const { return GetCurrentThreadId() == uiThread_; }

  // Runs fn on the window's thread and waits for it; runs it directly when
  // already there. Nothing runs once the window is gone.
  void call(const std::function<void()>& fn) const;
  // Any thread, never waiting: false when it could not be posted.
  bool post(UINT message, WPARAM wp, LPARAM lp) const;

  // The window's thread: runs a call sent by a worker. Any other process
  // can send this message number too; without this program's cookie it is
  // ignored rather than taken for a pointer.
  void runCall(WPARAM cookie, LPARAM fn) const;

 private:
  std::atomic<HWND> window_{nullptr};  // set and cleared by the window's thread, read by workers
  DWORD uiThread_ = 0;                 // set once by the window's thread
  WPARAM cookie_ = 0;                  // likewise
};

}  // namespace tv
