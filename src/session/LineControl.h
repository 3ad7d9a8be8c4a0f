// Changes to the open port's modem lines and its break, made on a worker
// of their own: a dying adapter's driver can keep such a call, and a break
// lasts a quarter of a second; the window waits for neither.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/OrderedWork.h"
#include "base/Threading.h"
#include "base/WorkerThread.h"
#include "serial/LineSettings.h"
#include "serial/SerialChannel.h"
#include "session/SessionHost.h"

namespace tv {

class LineControl {
 public:
  static constexpr uint32_t kBreakMs = 250;

  // say: on the window's thread, a line for the view.
  LineControl(SerialChannel& channel, Clock& clock, SessionHost& host, std::function<void(const std::wstring&)> say)
      : channel_(channel), clock_(clock), host_(host), say_(std::move(say)) {}

  // The window's thread: DTR (dtr) or RTS set to the level, after the
  // changes asked before. change names it for the view ("DTR 开"), said
  // once it is done; a refusal is said instead, and refused runs, on the
  // window's thread. A port closed meanwhile says nothing.
  void setLine(bool dtr, LineLevel level, std::wstring change, std::function<void()> refused);
  // The window's thread: the line held in break for kBreakMs.
  void pulseBreak();
  // Any thread: a break asked for has not ended yet.
  bool breaking() const { return breaking_ != 0; }
  // The window's thread, at exit: true when nothing runs after ms.
  bool wait(uint32_t ms) { return thread_.wait(ms); }

 private:
  void add(OrderedWork::Piece piece);
  // The worker: shows text on the window's thread, after then.
  void tell(const std::wstring& text, const std::function<void()>& then = {});

  SerialChannel& channel_;
  Clock& clock_;
  SessionHost& host_;
  const std::function<void(const std::wstring&)> say_;
  Flag breaking_{0};
  OrderedWork work_;
  WorkerThread thread_;  // the window's thread
};

}  // namespace tv
