#include "serial/ReceiveWorker.h"

#include <string>

namespace tv {
namespace {

bool IsAnsiLeadByte(uint8_t b) { return IsDBCSLeadByte(b) != FALSE; }

std::wstring AnsiToWide(const char* bytes, std::size_t n) {
  int units = MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(n), nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring out(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(n), &out[0], units);
  return out;
}

}  // namespace

ReceiveWorker::ReceiveWorker(Port& port, UiBridge& bridge)
    : port_(port),
      bridge_(bridge),
      pipeline_(IsAnsiLeadByte, AnsiToWide, [&bridge] { return bridge.postReceived(); }) {}

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
    pipeline_.run(port_, SystemClock(), running_, hexMode);
    reading_ = 0;
    bridge_.postReaderEnded();
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
