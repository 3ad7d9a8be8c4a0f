// Starts the send jobs on threads of their own and cancels them. The
// dialog owns it; it knows the dialog's views only as handles.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/AppState.h"
#include "app/UiBridge.h"
#include "app/WinHandles.h"
#include "app/WorkerThread.h"
#include "send/LoadedFile.h"
#include "send/SendJobs.h"
#include "serial/Port.h"
#include "serial/ReceiveFeed.h"

namespace tv {

class JobRunner {
 public:
  JobRunner(AppState& app, UiBridge& bridge, Port& port);

  // UI thread, once the views exist: the hex pane the hex job copies, the
  // delay box the pauses read, the feed the file job reports to.
  void attach(HWND hexPane, HWND delayBox, ReceiveFeed& feed);

  // UI thread. Each marks its job busy and then starts its thread, so a
  // cancel that comes before the thread's first step is kept. False when
  // no thread could be made (the job is idle again). blockBytes: the most
  // written at once.
  bool startText(std::wstring text, std::size_t blockBytes);
  bool startHex(std::size_t blockBytes);
  bool startSelection(std::wstring text, bool asHex, std::size_t blockBytes);
  bool startFile(const LoadedFile& file, std::size_t blockBytes);

  // Any thread: the job's own flags.
  bool idle(JobKind job) { return *slot(job).idle != 0; }
  bool busy(JobKind job) { return *slot(job).busy != 0; }

  // Any thread: the job stops before its next block and leaves its pause.
  void cancel(JobKind job);
  void cancelAll();
  // UI thread: waits for every job thread to end, at most ms for each.
  void wait(DWORD ms);

 private:
  struct Slot {
    Flag* busy;
    Flag* idle;
    UniqueHandle cancelled;  // manual reset: set by a cancel, reset at the start
    WorkerThread thread;     // UI thread
  };

  Slot& slot(JobKind job) { return slots_[static_cast<int>(job)]; }
  bool start(JobKind job, std::size_t blockBytes, std::function<void(const SendContext&)> body);

  AppState& app_;
  UiBridge& bridge_;
  Port& port_;
  Slot slots_[4];
  // Set once by the UI thread before any job starts.
  HWND hexPane_ = nullptr;
  HWND delayBox_ = nullptr;
  ReceiveFeed* feed_ = nullptr;
};

}  // namespace tv
