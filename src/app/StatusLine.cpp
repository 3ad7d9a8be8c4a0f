// Makes everything visible agree with the state: the status view, the
// captions and enabled states, drop acceptance, the spinner's timer and
// the z-order.
#include <windows.h>
#include <shellapi.h>

#include "app/AppState.h"
#include "app/MainDialog.h"
#include "app/SerialPort.h"
#include "base/RichEdit.h"
#include "resources/resource.h"
#include "serial/StatusText.h"

namespace tv {
namespace {

void Enable(HWND dialog, int id, bool enabled) { EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE); }

}  // namespace

void MainDialog::refreshStatus() {
  AppState& app = App();
  PortList& ports = Serial().ports;

  ClearView(statusView_);
  int index = ports.findPort(app.portName);
  std::wstring portText;
  if (index < 0) {
    portText = VanishedPortText(app.portName);
    app.portOpen = false;
    stopAllJobs();
  } else {
    portText = ports.entryAt(index);
  }
  LineValues values = LookupLineValues(app.line);
  StatusFacts facts{app.portOpen, index + 1, ports.count(), portText, values.baudRate, values.dataBits,
                    StopBitsName(app.line.stopBitsItem), ParityName(app.line.parityItem)};
  AppendFormat(statusView_, L"%s", {StatusText(facts)});

  if (app.portOpen) {
    SetDlgItemTextW(hwnd_, IDC_PORT_BUTTON, L"关");
    SetTimer(hwnd_, kSpinnerTimer, kSpinnerMs, nullptr);
  } else {
    SetDlgItemTextW(hwnd_, IDC_PORT_BUTTON, L"开");
    KillTimer(hwnd_, kSpinnerTimer);
    app.title.setSpinner(L' ');
    rebuildTitle();
  }

  SetDlgItemTextW(hwnd_, IDC_RECEIVE_MODE, app.numberReceive ? L"数" : L"文");

  bool text = jobs_.busy(JobKind::Text), hex = jobs_.busy(JobKind::Hex), sel = jobs_.busy(JobKind::Selection),
       file = jobs_.busy(JobKind::File);
  bool bySend = app.portOpenedBySend;
  SetDlgItemTextW(hwnd_, IDC_HEX_SEND, hex ? L"取消发送" : L"HEX发送");
  EnableWindow(hexPane_, hex ? FALSE : TRUE);
  SetDlgItemTextW(hwnd_, IDC_TEXT_SEND, text ? L"取消发送" : L"文本发送");
  EnableWindow(textPane_, text ? FALSE : TRUE);

  Enable(hwnd_, IDC_PORT_BUTTON, !(bySend || text || hex || file || sel));
  // A cancelled job is not busy but may still have a write pending: another
  // job starts only once it has ended, as with the Alt keys.
  bool hexIdle = jobs_.idle(JobKind::Hex), textIdle = jobs_.idle(JobKind::Text);
  bool othersIdle = jobs_.idle(JobKind::File) && jobs_.idle(JobKind::Selection);
  Enable(hwnd_, IDC_TEXT_SEND, hexIdle && othersIdle);
  Enable(hwnd_, IDC_HEX_SEND, textIdle && othersIdle);
  Enable(hwnd_, IDC_CLEAR_RECEIVE, !(bySend || hex || text));

  DragAcceptFiles(textPane_, file ? FALSE : TRUE);
  DragAcceptFiles(hexPane_, file ? FALSE : TRUE);

  CheckDlgButton(hwnd_, IDC_TOPMOST, app.topMost ? BST_CHECKED : BST_UNCHECKED);
  // No activation: a refresh caused by a device change or a job's end must
  // not pull the window in front of the one the user works in.
  SetWindowPos(hwnd_, app.topMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

}  // namespace tv
