// The reports the program writes into the receive view: the port list, the
// disks, and the devices that come and go.
#pragma once

#include <windows.h>

#include <string>

#include "serial/PortEntries.h"

namespace tv {

// The numbered port list and the pointer to the help.
std::wstring PortListReport(const PortEntries& ports);

// F5: the disk drives and every mounted volume, with label, file system,
// drive type and sizes. Made away from the UI thread, as the volume lines.
std::wstring DiskReport();

// What a WM_DEVICECHANGE says the program cares about.
struct DeviceEvent {
  // NodesChanged: some device came or went, the system does not say which.
  enum class Kind { None, Volume, Port, NodesChanged };
  Kind kind = Kind::None;
  bool arrived = false;
  std::wstring portName;       // a port's
  wchar_t volumeLetter = L'-';  // a plugged or pulled volume's
};

// A record too short for what it claims, media changes and network drives
// are of no interest (Kind::None).
DeviceEvent ReadDeviceChange(WPARAM event, LPARAM record);

// A plugged or pulled USB volume's lines, asking the system about the
// drive. One thread makes them all, in the order the events came, and it
// is not the UI thread: a slow or failing stick's queries take seconds.
std::wstring VolumeReport(wchar_t letter, bool arrived);

}  // namespace tv
