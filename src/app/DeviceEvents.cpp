// Serial ports and removable volumes that come and go. A port event stops
// every transfer and re-reads the port list, so the program never keeps
// talking to a port that is gone.
#include "app/AppState.h"
#include "app/MainDialog.h"
#include "diagnostics/Reports.h"
#include "serial/SerialChannel.h"

namespace tv {

LRESULT MainDialog::onDeviceChange(WPARAM event, LPARAM record) {
  DeviceEvent change = ReadDeviceChange(event, record);
  if (change.kind == DeviceEvent::Kind::Volume) feed_.append(change.volumeText);
  if (change.kind == DeviceEvent::Kind::Port) onPortChange(change.portName, change.arrived);
  return 0;
}

void MainDialog::onPortChange(const std::wstring& name, bool arrived) {
  PortList& ports = Serial().ports;
  stopAllJobs();
  std::wstring full;
  if (arrived) {
    feed_.append(Format(L">>>发现[%s]<<<\n", {name}));
    portCount_ = ports.rescanPorts();
    reopenPort();
    full = ports.friendlyNameOf(name);
  } else {
    feed_.append(Format(L">>>[%s]消失<<<\n", {name}));
    // Looked up before the rescan, while the vanished port is still listed.
    full = ports.friendlyNameOf(name);
    portCount_ = ports.rescanPorts();
    reopenPort();
  }
  feed_.append(Format(L"%s\n", {full}));
  refreshStatus();
}

}  // namespace tv
