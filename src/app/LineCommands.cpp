// Choosing a line setting or a port from the menus (or with Alt+C).
#include "app/AppState.h"
#include "app/MainDialog.h"
#include "app/SerialPort.h"
#include "resources/resource.h"

namespace tv {

void MainDialog::onLineSettingCommand(int id) {
  LineSelection& line = App().line;
  SettingId setting = SettingId::BaudRate;
  switch (KindOfCommand(id)) {
    case LineSettingKind::BaudRate: line.baudItem = id; setting = SettingId::BaudRate; break;
    case LineSettingKind::DataBits: line.dataBitsItem = id; setting = SettingId::DataBits; break;
    case LineSettingKind::StopBits: line.stopBitsItem = id; setting = SettingId::StopBits; break;
    case LineSettingKind::Parity: line.parityItem = id; setting = SettingId::Parity; break;
    case LineSettingKind::FlowControl: line.flowItem = id; setting = SettingId::FlowControl; break;
    case LineSettingKind::None: return;
  }
  reopenPort();
  saveSetting(setting);
  refreshStatus();
}

void MainDialog::onPortCommand(int id) {
  PortList& ports = Serial().ports;
  int index = id - ID_PORT_FIRST;
  if (index < 0 || index >= portCount_ || index >= ports.count()) return;
  App().portName = ports.portNameAt(index);
  reopenPort();
  saveSetting(SettingId::PortName);
  refreshStatus();
}

}  // namespace tv
