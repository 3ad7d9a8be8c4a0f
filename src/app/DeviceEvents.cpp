// Serial ports and removable volumes that come and go. A port event stops
// every transfer and re-reads the port list, so the program never keeps
// talking to a port that is gone.
#include <utility>

#include "app/AppState.h"
#include "app/MainDialog.h"
#include "app/SerialPort.h"
#include "base/Format.h"
#include "diagnostics/Reports.h"

namespace tv {

LRESULT MainDialog::onDeviceChange(WPARAM event, LPARAM record) {
  DeviceEvent change = ReadDeviceChange(event, record);
  if (change.kind == DeviceEvent::Kind::Volume) {
    wchar_t letter = change.volumeLetter;
    bool arrived = change.arrived;
    // The broadcast is answered at once; the lines follow when the drive
    // has answered.
    reports_.add([letter, arrived] { return VolumeReport(letter, arrived); });
  }
  if (change.kind == DeviceEvent::Kind::Port) onPortChange(change.portName, change.arrived);
  if (change.kind == DeviceEvent::Kind::NodesChanged) SetTimer(hwnd_, kRescanTimer, kRescanDelayMs, nullptr);
  return 0;
}

void MainDialog::onPortChange(const std::wstring& name, bool arrived) {
  PortList& ports = Serial().ports;
  stopAllJobs();
  // What arrived before the event shows before its report.
  receiver_.wait(ReceiveWorker::kLastPassWaitMs);
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

void MainDialog::onPortLost() {
  AppState& app = App();
  SerialPort& serial = Serial();
  // Closed or opened again since the failure was announced.
  if (!app.portOpen || !serial.channel.lost()) return;
  // Handled as a removal, except that a port still listed is not opened
  // again (it has just failed, and opening a Bluetooth port out of reach
  // can take many seconds) and, like every failure, nothing is written to
  // the receive view: a removal the system reports is reported as it comes.
  stopAllJobs();
  serial.channel.closeChannel();
  app.portOpen = false;
  app.portOpenedBySend = false;
  portCount_ = serial.ports.rescanPorts();
  refreshStatus();
}

void MainDialog::onDevicesChanged() {
  AppState& app = App();
  PortList& ports = Serial().ports;
  PortList fresh;
  fresh.rescanPorts();
  // Gone without a port broadcast of its own.
  if (app.portOpen && ports.findPort(app.portName) >= 0 && fresh.findPort(app.portName) < 0) {
    onPortChange(app.portName, false);
    return;
  }
  ports = std::move(fresh);
  portCount_ = ports.count();
  refreshStatus();
}

}  // namespace tv
