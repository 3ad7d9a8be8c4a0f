#include "base/OrderedWork.h"

#include <utility>

namespace tv {

bool OrderedWork::add(Piece piece) {
  MutexLock hold(lock_);
  pieces_.push_back(std::move(piece));
  if (running_) return false;
  running_ = true;
  return true;
}

void OrderedWork::runAll() {
  for (;;) {
    Piece next;
    {
      MutexLock hold(lock_);
      if (pieces_.empty()) {
        running_ = false;
        return;
      }
      next = std::move(pieces_.front());
      pieces_.pop_front();
    }
    next();
  }
}

void OrderedWork::notStarted() {
  MutexLock hold(lock_);
  running_ = false;
}

}  // namespace tv
