#include "serial/ReceiveWorker.h"

#include <utility>

namespace tv {

ReceiveWorker::ReceiveWorker(Port& port, Clock& clock, ReceiveDecoder::LeadByteTest isLead,
                             ReceiveDecoder::Converter convert, Wake wake, Ended ended,
                             ReceivePipeline::LowMemory lowMemory)
    : port_(port), clock_(clock), ended_(std::move(ended)), pipeline_(isLead, convert, std::move(wake)) {
  pipeline_.setLowMemory(std::move(lowMemory));
}

void ReceiveWorker::start(const Flag& hexMode) {
  if (reading_) {
    // Still running: it reads on as it is. Stopping: started after it.
    if (!running_) keptStart_ = &hexMode;
    return;
  }
  keptStart_ = nullptr;
  // Set before the thread exists, so a stop that comes before its first
  // pass still ends it.
  running_ = 1;
  reading_ = 1;
  bool started = thread_.start([this, &hexMode] {
    pipeline_.run(port_, clock_, running_, hexMode);
    reading_ = 0;
    ended_();
  });
  if (!started) {
    running_ = 0;
    reading_ = 0;
  }
}

void ReceiveWorker::stop() {
  running_ = 0;
  keptStart_ = nullptr;
}

void ReceiveWorker::onReaderEnded() {
  if (keptStart_ != nullptr && !reading_) start(*keptStart_);
}

}  // namespace tv
