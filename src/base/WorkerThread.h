// One worker thread at a time, started and waited for by one owner thread.
// The program runs it on the system's threads, the native build on the
// standard library's, so what starts workers is tested natively too.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace tv {

struct WorkerRun;

class WorkerThread {
 public:
  WorkerThread();
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Runs body on a new thread; false, with body not run, when no thread
  // could be made. An earlier run is let go of (it runs on by itself).
  bool start(std::function<void()> body);
  // Waits at most ms for the thread of the last start to end; true when it
  // has, or when there was none.
  bool wait(uint32_t ms) const;

 private:
  std::shared_ptr<WorkerRun> run_;  // the owner's
};

}  // namespace tv
