#include "app/JobRunner.h"

#include <new>

#include "app/DisplayLines.h"
#include "base/CodePage.h"
#include "send/FileSource.h"
#include "send/TimedSend.h"

namespace tv {
namespace {

// A running job's window side: the title's progress and the delay box's
// number.
class WindowJobHost final : public JobHost {
 public:
  WindowJobHost(AppState& app, UiBridge& bridge, const Flag& busy, HANDLE cancelled)
      : app_(app), bridge_(bridge), busy_(busy), cancelled_(cancelled) {}

  // Jobs never wait for a repaint: the UI thread picks up the latest
  // progress whenever it gets to it.
  void showProgress(const std::wstring& text) override {
    app_.title.setProgress(text);
    bridge_.requestTitle();
  }

  void pause() override {
    // A cancel sets the event; the flag is looked at between the waits as
    // well, so a job cleared by any other way never waits out a long delay.
    HANDLE cancelled = cancelled_;
    const Flag& busy = busy_;
    WaitOutPause(
        PauseMilliseconds(app_.delayTimeMs), [] { return SystemClock().nowMs(); },
        [cancelled](uint32_t ms) { return WaitForSingleObject(cancelled, ms) == WAIT_OBJECT_0; },
        [&busy] { return busy != 0; });
  }

 private:
  AppState& app_;
  UiBridge& bridge_;
  const Flag& busy_;
  HANDLE cancelled_;
};

}  // namespace

JobRunner::JobRunner(AppState& app, UiBridge& bridge, Port& port) : app_(app), bridge_(bridge), port_(port) {
  for (Slot& s : slots_) s.cancelled.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

void JobRunner::attach(HWND hexPane, ReceiveFeed& feed) {
  hexPane_ = hexPane;
  feed_ = &feed;
}

bool JobRunner::allIdle() const {
  for (JobKind job : kAllJobs)
    if (!idle(job)) return false;
  return true;
}

bool JobRunner::start(JobKind job, std::size_t capBytes, std::function<void(const SendContext&)> body) {
  Slot& s = slot(job);
  // Without its event a pause would not wait at all but spin a core for
  // its whole length; a job that cannot pause does not start.
  if (!s.cancelled) s.cancelled.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!s.cancelled) return false;
  // Marked here and never again by the thread: a cancel that comes before
  // the thread runs stays a cancel, and a second press cancels instead of
  // starting another.
  s.busy = 1;
  s.idle = 0;
  ResetEvent(s.cancelled.get());
  HANDLE cancelled = s.cancelled.get();
  bool started = false;
  try {
    started = s.thread.start([this, job, capBytes, body, cancelled] {
      Slot& mine = slot(job);
      WindowJobHost host(app_, bridge_, mine.busy, cancelled);
      SendContext context{port_, SystemClock(), host, mine.busy, app_.delayMode, capBytes};
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
      bridge_.postJobEnded(static_cast<WPARAM>(job));
    });
  } catch (const std::bad_alloc&) {
    started = false;
  }
  if (!started) {
    s.busy = 0;
    s.idle = 1;
  }
  return started;
}

bool JobRunner::startText(std::wstring text, std::size_t capBytes) {
  return start(JobKind::Text, capBytes,
               [text](const SendContext& c) { TextSendJob(c, text, WideToAnsi).run(); });
}

bool JobRunner::startHex(std::size_t capBytes) {
  HWND pane = hexPane_;
  return start(JobKind::Hex, capBytes, [this, pane](const SendContext& c) {
    HexSendJob(c, CopyDisplayLines(bridge_, pane, c.busy)).run();
  });
}

bool JobRunner::startSelection(std::wstring text, bool asHex, std::size_t capBytes) {
  return start(JobKind::Selection, capBytes,
               [text, asHex](const SendContext& c) { SelectionSendJob(c, text, asHex, WideToAnsi).run(); });
}

bool JobRunner::startFile(const LoadedFile& file, std::size_t capBytes) {
  std::wstring full = file.fullName;
  std::wstring title = file.titleName;
  return start(JobKind::File, capBytes, [this, full, title](const SendContext& c) {
    ReceiveFeed* feed = feed_;
    std::wstring start = L"\n正在发送:" + full + L"\n";
    bridge_.call([feed, &start] { feed->append(start); });
    bool sent = false;
    {
      FileByteSource source(full.c_str());
      sent = FileSendJob(c, source.opened() ? &source : nullptr, source.size()).run();
    }
    std::wstring end = (sent ? L"\n发送完成:" : L"\n发送取消:") + title + L"\n";
    bridge_.call([feed, &end] { feed->append(end); });
  });
}

void JobRunner::reportOutOfMemory() {
  bridge_.postLowMemory();
  ReceiveFeed* feed = feed_;
  bridge_.call([feed] {
    try {
      feed->append(kOutOfMemoryText);
    } catch (const std::bad_alloc&) {
    }
  });
}

void JobRunner::cancel(JobKind job) {
  Slot& s = slot(job);
  s.busy = 0;
  if (s.cancelled) SetEvent(s.cancelled.get());
  port_.interruptWrite();
}

void JobRunner::cancelAll() {
  for (JobKind job : kAllJobs) cancel(job);
}

bool JobRunner::wait(DWORD ms) {
  bool ended = true;
  for (Slot& s : slots_) ended = s.thread.wait(ms) && ended;
  return ended;
}

}  // namespace tv
