// Opens the chosen port on a thread of its own: opening and configuring a
// Bluetooth port out of reach or a hung driver can take 5 to 20 seconds,
// and the window must answer meanwhile. XP cannot cancel an open in
// flight, so an open no longer wanted is closed when it returns, on that
// thread.
#pragma once

#include <cstdint>
#include <string>

#include "base/Threading.h"
#include "base/WorkerThread.h"
#include "serial/LineSettings.h"
#include "serial/SerialChannel.h"
#include "session/SessionHost.h"

namespace tv {

class PortOpener {
 public:
  PortOpener(SerialChannel& channel, SessionHost& host) : channel_(channel), host_(host) {}

  // The window's thread: opens the port with the values; the open of any
  // earlier request is no longer wanted. Its end is signalled (OpenDone).
  void request(const std::wstring& portName, const LineValues& values);
  // The window's thread: no open is wanted any more.
  void abandon();
  // The window's thread: true when the latest request has been carried
  // out; opened then holds the port, or is empty when the open failed.
  bool take(SerialChannel::Opened& opened);
  // At exit: true when no open is under way after ms.
  bool wait(uint32_t ms) { return thread_.wait(ms); }

 private:
  // The opener's thread: carries out requests until the latest is done.
  void run();

  SerialChannel& channel_;
  SessionHost& host_;
  Mutex lock_;
  // Under lock_: each request and abandon makes a new generation; the
  // opener's thread works on begun_ and keeps only an open of the latest.
  uint32_t generation_ = 0;
  bool wanted_ = false;
  std::wstring portName_;
  LineValues values_;
  uint32_t begun_ = 0;
  bool running_ = false;
  SerialChannel::Opened result_;
  uint32_t resultOf_ = 0;
  WorkerThread thread_;  // the window's thread
};

}  // namespace tv
