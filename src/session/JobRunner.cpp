#include "session/JobRunner.h"

#include <new>
#include <utility>

namespace tv {
namespace {

// A running job's view of the window: the title's progress and the delay
// box's number.
class PacedJobHost final : public JobHost {
 public:
  PacedJobHost(SessionHost& host, TitleParts& title, Clock& clock, const std::atomic<int32_t>& delayMs,
               const Flag& busy, Event& cancelled)
      : host_(host), title_(title), clock_(clock), delayMs_(delayMs), busy_(busy), cancelled_(cancelled) {}

  // Jobs never wait for a repaint: the window picks up the latest progress
  // whenever it gets to it.
  void showProgress(const std::wstring& text) override {
    title_.setProgress(text);
    host_.signal(Signal::Title, 0);
  }

  void pause() override {
    // A cancel sets the event; the flag is looked at between the waits as
    // well, so a job cleared by any other way never waits out a long delay.
    WaitOutPause(
        PauseMilliseconds(delayMs_), [this] { return clock_.nowMs(); },
        [this](uint32_t ms) { return cancelled_.wait(ms); }, [this] { return busy_ != 0; });
  }

 private:
  SessionHost& host_;
  TitleParts& title_;
  Clock& clock_;
  const std::atomic<int32_t>& delayMs_;
  const Flag& busy_;
  Event& cancelled_;
};

}  // namespace

JobRunner::JobRunner(Port& port, Clock& clock, SessionHost& host, TitleParts& title,
                     const std::atomic<DelayMode>& mode, const std::atomic<int32_t>& delayMs, Say say)
    : port_(port), clock_(clock), host_(host), title_(title), mode_(mode), delayMs_(delayMs), say_(std::move(say)) {}

bool JobRunner::allIdle() const {
  for (JobKind job : kAllJobs)
    if (!idle(job)) return false;
  return true;
}

void JobRunner::reserve(JobKind job) {
  Slot& s = slot(job);
  s.busy = 1;
  s.idle = 0;
  s.cancelled.reset();
}

void JobRunner::release(JobKind job) {
  Slot& s = slot(job);
  s.busy = 0;
  s.idle = 1;
}

bool JobRunner::launch(JobKind job, std::size_t capBytes, Body body) {
  Slot& s = slot(job);
  // Without its event a pause would not wait at all but spin a core for
  // its whole length: a job that cannot pause does not start.
  if (!s.busy || !s.cancelled.ok()) {
    release(job);
    return false;
  }
  bool started = false;
  try {
    started = s.thread.start([this, job, capBytes, body = std::move(body)] {
      Slot& mine = slot(job);
      PacedJobHost paced(host_, title_, clock_, delayMs_, mine.busy, mine.cancelled);
      SendContext context{port_, clock_, paced, mine.busy, mode_, capBytes, echo_};
      bool outOfMemory = false;
      try {
        body(context);
      } catch (const std::bad_alloc&) {
        // A copy of a pane, a file's buffer: the job stops as if
        // cancelled, and says why.
        outOfMemory = true;
      }
      mine.busy = 0;
      mine.idle = 1;
      if (outOfMemory) reportOutOfMemory();
      host_.signal(Signal::JobEnded, static_cast<int>(job));
    });
  } catch (const std::bad_alloc&) {
    started = false;
  }
  if (!started) release(job);
  return started;
}

void JobRunner::reportOutOfMemory() {
  host_.signal(Signal::LowMemory, 0);
  host_.call([this] {
    try {
      say_(kOutOfMemoryText);
    } catch (const std::bad_alloc&) {
    }
  });
}

void JobRunner::cancel(JobKind job) {
  Slot& s = slot(job);
  s.busy = 0;
  s.cancelled.set();
  port_.interruptWrite();
}

void JobRunner::cancelAll() {
  for (JobKind job : kAllJobs) cancel(job);
}

bool JobRunner::wait(uint32_t ms) {
  const uint32_t start = clock_.nowMs();
  bool ended = true;
  for (Slot& s : slots_) {
    const uint32_t spent = clock_.nowMs() - start;
    ended = s.thread.wait(spent < ms ? ms - spent : 0) && ended;
  }
  return ended;
}

}  // namespace tv
