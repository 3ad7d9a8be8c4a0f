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
    : port_(port), pipeline_(IsAnsiLeadByte, AnsiToWide, [&bridge] { return bridge.postReceived(); }) {}

void ReceiveWorker::start(const Flag& hexMode) {
  // The reader never waits for the UI thread, so this wait handles no
  // messages: nothing can re-enter the port control meanwhile.
  thread_.wait(INFINITE);
  // Set before the thread exists, so a stop that comes before its first
  // pass still ends it.
  running_ = 1;
  if (!thread_.start([this, &hexMode] { pipeline_.run(port_, SystemClock(), running_, hexMode); })) running_ = 0;
}

}  // namespace tv
