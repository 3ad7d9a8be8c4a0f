// The program's serial port: the channel over the system's calls and the
// list of present ports, which live and die together; the list is scanned
// once before the main window exists.
#pragma once

#include <atomic>

#include "app/UiBridge.h"
#include "serial/PortList.h"
#include "serial/SerialChannel.h"
#include "serial/Win32Comm.h"

namespace tv {

class SerialPort {
 public:
  SerialPort() : channel(api, SystemClock(), [this] { announceLost(); }) { ports.rescanPorts(); }

  // UI thread: the window told when the open port fails; null for none.
  void announceLostTo(const UiBridge* bridge) { lostTo_ = bridge; }

  Win32Comm api;
  SerialChannel channel;
  PortList ports;

 private:
  // Any thread, once per open port that fails.
  void announceLost() {
    const UiBridge* bridge = lostTo_;
    if (bridge != nullptr) bridge->postPortLost();
  }

  std::atomic<const UiBridge*> lostTo_{nullptr};  // set by the UI thread, read by whoever meets a failure
};

}  // namespace tv
