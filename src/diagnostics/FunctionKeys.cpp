// The function keys (acting on release) and the port list report.
#include "app/AppState.h"
#include "app/MainDialog.h"
#include "serial/RichEditText.h"
#include "serial/SerialChannel.h"

namespace tv {

void MainDialog::reportPorts() {
  PortList& ports = Serial().ports;
  AppendFormat(receiveView_, L"...................串口列表................\n", {});
  if (ports.count() == 0) {
    AppendFormat(receiveView_, L"未发现串口!\n", {});
  } else {
    for (int i = 0; i < ports.count(); ++i) AppendFormat(receiveView_, L"%d.%s \n", {i + 1, ports.entryAt(i)});
  }
  PutText(receiveView_, L"...............按F1查看更多帮助.............\n", kAppend);
  SendMessageW(receiveView_, WM_VSCROLL, SB_BOTTOM, 0);
}

void MainDialog::onFunctionKey(unsigned key) {
  AppState& app = App();
  bool jobsIdle = app.textSendIdle && app.hexSendIdle && app.selectionSendIdle;
  switch (key) {
    case VK_F4:
      reportPorts();
      break;
    case VK_F7:
      if (jobsIdle && app.fileSendIdle) ClearView(receiveView_);
      break;
    case VK_F8:
      if (jobsIdle && app.fileSendIdle) {
        ClearView(textPane_);
        ClearView(receiveView_);
        ClearView(hexPane_);
      }
      break;
    default:
      break;
  }
}

LRESULT MainDialog::onDeviceChange(WPARAM, LPARAM) { return 0; }

}  // namespace tv
