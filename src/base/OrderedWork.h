// Work done one piece after another on a worker thread, in the order it
// was handed over: a slow piece holds up only the pieces after it, never
// the thread that hands them over.
#pragma once

#include <deque>
#include <functional>

#include "base/Threading.h"

namespace tv {

class OrderedWork {
 public:
  using Piece = std::function<void()>;

  // Any thread: queues the piece. True when no worker is running the queue
  // now: the caller then starts one that calls runAll.
  bool add(Piece piece);
  // Worker: runs the pieces in order until none is left.
  void runAll();
  // A worker that could not be started: the queue waits for the next add.
  void notStarted();

 private:
  Mutex lock_;
  std::deque<Piece> pieces_;  // under lock_
  bool running_ = false;      // under lock_: a worker runs the queue
};

}  // namespace tv
