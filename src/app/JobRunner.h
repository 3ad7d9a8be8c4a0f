// Starts the send jobs on threads of their own and cancels them; each
// job's busy and idle flags live here and nowhere else. The dialog owns
// it; it knows the dialog's views only as handles.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/AppState.h"
#include "app/UiBridge.h"
#include "base/Threading.h"
#include "base/WinHandles.h"
#include "base/WorkerThread.h"
#include "send/LoadedFile.h"
#include "send/SendJobs.h"
#include "serial/Port.h"
#include "serial/ReceiveFeed.h"

namespace tv {

enum class JobKind : int { Text, Hex, Selection, File };
constexpr int kJobKindCount = 4;
constexpr JobKind kAllJobs[kJobKindCount] = {JobKind::Text, JobKind::Hex, JobKind::Selection, JobKind::File};

class JobRunner {
 public:
  // Shown when a job stopped for want of memory.
  static constexpr const wchar_t* kOutOfMemoryText = L"\n内存不足,发送取消\n";

  JobRunner(AppState& app, UiBridge& bridge, Port& port);

  // UI thread, once the views exist: the hex pane the hex job copies, the
  // feed the file job reports to.
  void attach(HWND hexPane, ReceiveFeed& feed);

  // UI thread. Each marks its job busy and then starts its thread, so a
  // cancel that comes before the thread's first step is kept. False when
  // no thread could be made (the job is idle again). capBytes: the most
  // one write carries.
  bool startText(std::wstring text, std::size_t capBytes);
  bool startHex(std::size_t capBytes);
  bool startSelection(std::wstring text, bool asHex, std::size_t capBytes);
  bool startFile(const LoadedFile& file, std::size_t capBytes);
  // UI thread: any body as the job of that kind, with the same flags,
  // cancel and end as the four above.
  bool start(JobKind job, std::size_t capBytes, std::function<void(const SendContext&)> body);

  // Any thread. Busy: set at the start, cleared by a cancel or the job's
  // end. Idle: cleared at the start, set as the job's thread's last act,
  // so a command that must not overlap a transfer waits for it.
  bool busy(JobKind job) const { return slot(job).busy != 0; }
  bool idle(JobKind job) const { return slot(job).idle != 0; }
  bool allIdle() const;

  // Any thread: the job leaves its pause, and its write in flight ends at
  // once with what the driver holds of it dropped.
  void cancel(JobKind job);
  void cancelAll();
  // UI thread: waits for every job thread to end, at most ms for each;
  // false when one has not.
  bool wait(DWORD ms);

 private:
  struct Slot {
    Flag busy{0};            // see busy()
    Flag idle{1};            // see idle()
    UniqueHandle cancelled;  // manual reset: set by a cancel, reset at the start; made by the UI thread
    WorkerThread thread;     // UI thread
  };

  // Job thread, after the job stopped for want of memory.
  void reportOutOfMemory();
  Slot& slot(JobKind job) { return slots_[static_cast<int>(job)]; }
  const Slot& slot(JobKind job) const { return slots_[static_cast<int>(job)]; }

  AppState& app_;
  UiBridge& bridge_;
  Port& port_;
  Slot slots_[kJobKindCount];
  // Set once by the UI thread before any job starts.
  HWND hexPane_ = nullptr;
  ReceiveFeed* feed_ = nullptr;
};

}  // namespace tv
