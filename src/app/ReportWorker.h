// Reports whose queries may be slow (a failing stick, a drive spinning up,
// an optical drive) made on a worker thread of their own, one after
// another, and shown in the receive view in the order they were asked for,
// so no drive keeps the window from answering.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/UiBridge.h"
#include "base/OrderedWork.h"
#include "base/WorkerThread.h"
#include "serial/ReceiveFeed.h"

namespace tv {

class ReportWorker {
 public:
  ReportWorker(UiBridge& bridge, ReceiveFeed& feed) : bridge_(bridge), feed_(feed) {}

  // UI thread: the report is made on the worker and then appended.
  void add(std::function<std::wstring()> report);
  // UI thread, at exit: true when no report is being made after ms.
  bool wait(DWORD ms) { return thread_.wait(ms); }

 private:
  UiBridge& bridge_;
  ReceiveFeed& feed_;
  OrderedWork work_;
  WorkerThread thread_;  // UI thread
};

}  // namespace tv
