// The reader thread that feeds the receive pipeline from the port, and the
// code page conversion it uses.
#pragma once

#include <windows.h>

#include "app/Threading.h"
#include "app/UiBridge.h"
#include "app/WorkerThread.h"
#include "serial/Port.h"
#include "serial/ReceivePipeline.h"

namespace tv {

class ReceiveWorker {
 public:
  // Received text is announced to the UI thread through the bridge.
  ReceiveWorker(Port& port, UiBridge& bridge);

  ReceivePipeline& pipeline() { return pipeline_; }

  // UI thread: waits for the previous reader, then starts another that
  // converts as hex while hexMode is set.
  void start(const Flag& hexMode);
  // Any thread: the reader ends after its current pass.
  void stop() { running_ = 0; }
  // UI thread: true when the reader has ended within ms.
  bool wait(DWORD ms) { return thread_.wait(ms); }

 private:
  Port& port_;
  ReceivePipeline pipeline_;
  Flag running_{0};      // set by the UI thread before a reader starts, cleared by stop
  WorkerThread thread_;  // UI thread
};

}  // namespace tv
