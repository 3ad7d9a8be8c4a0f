// Reports whose queries may be slow (a failing stick, a drive spinning up,
// an optical drive) made on a worker thread of their own, one after
// another, and shown in the order they were asked for, so no drive keeps
// the window from answering.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/OrderedWork.h"
#include "base/WorkerThread.h"
#include "session/SessionHost.h"

namespace tv {

class ReportWorker {
 public:
  // say: on the window's thread, shows a finished report.
  ReportWorker(SessionHost& host, std::function<void(const std::wstring&)> say)
      : host_(host), say_(std::move(say)) {}

  // The window's thread: the report is made on the worker and then shown.
  void add(std::function<std::wstring()> report);
  // The window's thread, at exit: true when no report is being made after ms.
  bool wait(uint32_t ms) { return thread_.wait(ms); }

 private:
  SessionHost& host_;
  const std::function<void(const std::wstring&)> say_;
  OrderedWork work_;
  WorkerThread thread_;  // the window's thread
};

}  // namespace tv
