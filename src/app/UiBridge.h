// The one way worker threads ask the UI thread to act: windows and their
// controls are only ever touched on the thread that owns them.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>

namespace tv {

class UiBridge {
 public:
  static constexpr UINT kCallMessage = WM_APP + 1;      // wParam: cookie, lParam: std::function<void()>*
  static constexpr UINT kTitleMessage = WM_APP + 2;     // rebuild the title
  static constexpr UINT kJobEndedMessage = WM_APP + 3;  // wParam: which job
  static constexpr UINT kReceivedMessage = WM_APP + 4;  // received text waits for the view
  static constexpr UINT kReaderEndedMessage = WM_APP + 5;  // the receive thread has let go of the port
  static constexpr UINT kPortLostMessage = WM_APP + 6;     // the open port failed hard
  static constexpr UINT kLowMemoryMessage = WM_APP + 7;    // a worker could not get memory

  // Called on the UI thread once the window exists.
  void attach(HWND window);
  void detach() { window_ = nullptr; }

  bool onUiThread() const { return GetCurrentThreadId() == uiThread_; }

  // Runs fn on the UI thread and waits for it; runs it directly when
  // already there. Nothing runs once the window is gone.
  void call(const std::function<void()>& fn) const;

  // Asks for a title rebuild without waiting. At most one request is
  // pending; the rebuild reads the latest progress, so none is lost.
  void requestTitle();
  // Called by the UI thread as it handles the request.
  void titleHandled() { titlePending_ = 0; }

  // UI thread: runs a call sent by a worker. Any other process can send
  // this message number too; without this program's cookie it is ignored
  // rather than taken for a pointer.
  void runCall(WPARAM cookie, LPARAM fn) const;

  // Tells the UI thread a send job has ended (it may close the port the
  // job opened). Posted, so it is never handled inside another handler's
  // wait.
  void postJobEnded(WPARAM job) const { post(kJobEndedMessage, job); }

  // Tells the UI thread received text waits for the view; never waits.
  // False when the message could not be posted.
  bool postReceived() const;

  // Never wait: the receive thread has ended its last pass; the open port
  // has failed (any thread).
  void postReaderEnded() const { post(kReaderEndedMessage); }
  void postPortLost() const { post(kPortLostMessage); }
  // Any thread, never waiting: an allocation failed; the window frees
  // what it can.
  void postLowMemory() const { post(kLowMemoryMessage); }

 private:
  void post(UINT message, WPARAM detail = 0) const;

  std::atomic<HWND> window_{nullptr};  // set and cleared by the UI thread, read by workers
  DWORD uiThread_ = 0;      // set once by the UI thread
  std::atomic<uint8_t> titlePending_{0};
  WPARAM cookie_ = 0;  // set once by the UI thread in attach
};

}  // namespace tv
