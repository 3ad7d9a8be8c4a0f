// Starts the send jobs on threads of their own and cancels them; each
// job's busy and idle flags live here and nowhere else.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

#include "base/Threading.h"
#include "base/WorkerThread.h"
#include "send/SendJobs.h"
#include "send/TimedSend.h"
#include "serial/Port.h"
#include "session/SessionHost.h"
#include "session/Title.h"

namespace tv {

class JobRunner {
 public:
  // Shown when a job stopped for want of memory.
  static constexpr const wchar_t* kOutOfMemoryText = L"\n内存不足,发送取消\n";

  using Body = std::function<void(const SendContext&)>;
  // The window's thread: a line of the program's own for the receive view.
  using Say = std::function<void(const std::wstring&)>;

  // mode and delayMs are read by the jobs at every decision point and pause.
  JobRunner(Port& port, Clock& clock, SessionHost& host, TitleParts& title, const std::atomic<DelayMode>& mode,
            const std::atomic<int32_t>& delayMs, Say say);

  // The window's thread. Marks the job busy, as a running one, before any
  // thread exists, so a cancel that comes before the job's first step (or
  // while the port it waits for is opening) is kept, and a second press
  // cancels instead of starting another.
  void reserve(JobKind job);
  // The window's thread: runs body as the reserved job on its own thread;
  // capBytes is the most one write carries. False when the job was
  // cancelled meanwhile or no thread could be made: it is idle again.
  bool launch(JobKind job, std::size_t capBytes, Body body);
  bool start(JobKind job, std::size_t capBytes, Body body) {
    reserve(job);
    return launch(job, capBytes, std::move(body));
  }
  // The window's thread: a reserved job that will not run is idle again.
  void release(JobKind job);
  // Before any job starts: where the jobs show what they write.
  void setEcho(SendEcho* echo) { echo_ = echo; }

  // Any thread. Busy: set by reserve, cleared by a cancel or the job's
  // end. Idle: cleared by reserve, set as the job's thread's last act, so a
  // command that must not overlap a transfer waits for it.
  bool busy(JobKind job) const { return slot(job).busy != 0; }
  bool idle(JobKind job) const { return slot(job).idle != 0; }
  bool allIdle() const;

  // Any thread: the job leaves its pause, and its write in flight ends at
  // once with what the driver holds of it dropped.
  void cancel(JobKind job);
  void cancelAll();
  // The window's thread: waits for every job thread to end, until ms have
  // passed in all; false when one has not.
  bool wait(uint32_t ms);

 private:
  struct Slot {
    Flag busy{0};     // see busy()
    Flag idle{1};     // see idle()
    Event cancelled;  // set by a cancel, reset by reserve
    WorkerThread thread;  // the window's thread
  };

  // A job's thread, after the job stopped for want of memory.
  void reportOutOfMemory();
  Slot& slot(JobKind job) { return slots_[static_cast<int>(job)]; }
  const Slot& slot(JobKind job) const { return slots_[static_cast<int>(job)]; }

  Port& port_;
  Clock& clock_;
  SessionHost& host_;
  TitleParts& title_;
  const std::atomic<DelayMode>& mode_;
  const std::atomic<int32_t>& delayMs_;
  const Say say_;
  SendEcho* echo_ = nullptr;
  Slot slots_[kJobKindCount];
};

}  // namespace tv
