// Serial ports and removable volumes that come and go: the session handles
// the ports; the volume lines are made on a worker and shown in order.
#include "app/MainDialog.h"
#include "diagnostics/Reports.h"

namespace tv {

LRESULT MainDialog::onDeviceChange(WPARAM event, LPARAM record) {
  DeviceEvent change = ReadDeviceChange(event, record);
  switch (change.kind) {
    case DeviceEvent::Kind::Volume: {
      wchar_t letter = change.volumeLetter;
      bool arrived = change.arrived;
      // The broadcast is answered at once; the lines follow when the drive
      // has answered.
      session_.report([letter, arrived] { return VolumeReport(letter, arrived); });
      break;
    }
    case DeviceEvent::Kind::Port:
      if (change.arrived) {
        session_.portArrived(change.portName);
      } else {
        session_.portRemoved(change.portName);
      }
      break;
    case DeviceEvent::Kind::NodesChanged:
      SetTimer(hwnd_, kRescanTimer, kRescanDelayMs, nullptr);
      break;
    case DeviceEvent::Kind::None:
      break;
  }
  return 0;
}

}  // namespace tv
