// The reader thread that feeds the receive pipeline from the port.
#pragma once

#include <cstdint>
#include <functional>

#include "base/Threading.h"
#include "base/WorkerThread.h"
#include "serial/Port.h"
#include "serial/ReceivePipeline.h"

namespace tv {

class ReceiveWorker {
 public:
  // Reader thread, never waiting: wake tells the owner received text waits
  // for the view (false when it could not be told); ended, that a reader
  // has let go of the port after its last pass; lowMemory, that memory ran
  // out for text just read (see ReceivePipeline).
  using Wake = std::function<bool()>;
  using Ended = std::function<void()>;

  // How long the UI thread waits, before a close for a reopen or a port
  // event, for a stopped reader to read what the driver still holds: the
  // reader reads on until the line has been quiet for a while, at most
  // ReceivePipeline::kLastPassMs, and this covers that and its last pass.
  // A driver that keeps a read longer loses the rest to the close.
  static constexpr uint32_t kLastPassWaitMs = 300;

  // isLead and convert decode received text (the system's ANSI code page
  // in the program); clock paces the reader.
  ReceiveWorker(Port& port, Clock& clock, ReceiveDecoder::LeadByteTest isLead, ReceiveDecoder::Converter convert,
                Wake wake, Ended ended, ReceivePipeline::LowMemory lowMemory = {});

  ReceivePipeline& pipeline() { return pipeline_; }

  // UI thread: starts a reader that converts as hex while hexMode is set.
  // One reader at a time: while a stopped one is still on its last pass
  // (which may wait seconds for a driver to give up a cancelled read), the
  // start is kept and made when that reader has ended. The UI thread never
  // waits for a reader, so the window keeps answering and nothing re-enters
  // the port control meanwhile.
  void start(const Flag& hexMode);
  // UI thread: the reader ends after its current pass; a kept start is
  // dropped.
  void stop();
  // UI thread, when a reader's end is announced (and now and then in case
  // that announcement could not be made): makes a kept start.
  void onReaderEnded();
  // UI thread, after a stop (before a close, and at exit): true when the
  // reader has ended within ms.
  bool wait(uint32_t ms) { return thread_.wait(ms); }

 private:
  Port& port_;
  Clock& clock_;
  Ended ended_;
  ReceivePipeline pipeline_;
  Flag running_{0};  // set by the UI thread before a reader starts, cleared by stop
  Flag reading_{0};  // set by the UI thread as a reader starts, cleared by the reader as it ends
  // UI thread: a start waits for the reader to end, with this mode flag.
  const Flag* keptStart_ = nullptr;
  WorkerThread thread_;  // UI thread
};

}  // namespace tv
