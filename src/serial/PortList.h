// The present serial ports, found through the device-setup interface.
#pragma once

#include "serial/PortEntries.h"

namespace tv {

// Reads the Ports class into the list. Any thread.
void ScanPorts(PortEntries& into);

class PortList : public PortEntries {
 public:
  // Scans the Ports class again; returns the new count. UI thread only
  // (and static start-up).
  int rescanPorts();
};

}  // namespace tv
