// One worker thread and its handle.
#pragma once

#include <windows.h>

#include <functional>

#include "base/WinHandles.h"

namespace tv {

class WorkerThread {
 public:
  // Runs body on a new thread; false, with body not run, when no thread
  // could be made. The handle of an earlier run is let go.
  bool start(std::function<void()> body);
  // Waits at most ms for the thread of the last start to end; true when it
  // has, or when there was none.
  bool wait(DWORD ms) const;

 private:
  UniqueHandle handle_;  // UI thread
};

}  // namespace tv
