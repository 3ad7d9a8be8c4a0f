#include "app/MainDialog.h"

#include <windowsx.h>

#include <cstdlib>
#include <ctime>
#include <new>
#include <utility>

#include "base/CodePage.h"
#include "base/RichEdit.h"
#include "diagnostics/Reports.h"
#include "resources/resource.h"
#include "send/FileSource.h"
#include "serial/PortList.h"

namespace tv {
namespace {

constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\TarnVik";

// The title's activity character cycles through these while the port is open.
const wchar_t kSpinner[] = L"-\\|/";

void CenterOnWorkArea(HWND dialog) {
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  RECT r;
  GetWindowRect(dialog, &r);
  int w = r.right - r.left;
  int h = r.bottom - r.top;
  int x = work.left + ((work.right - work.left) - w) / 2;
  int y = work.top + ((work.bottom - work.top) - h) / 2;
  if (x < work.left) x = work.left;
  if (y < work.top) y = work.top;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HICON LoadIconSized(int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TARNVIK), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric),
                                       LR_DEFAULTCOLOR));
}

std::unique_ptr<ByteSource> OpenFileSource(const std::wstring& path, uint64_t& size) {
  auto source = std::make_unique<FileByteSource>(path.c_str());
  if (!source->opened()) return nullptr;
  size = source->size();
  return source;
}

void Enable(HWND dialog, int id, bool enabled) { EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE); }

}  // namespace

MainDialog::MainDialog() : MainDialog(comm_, ScanPorts) {}

MainDialog::MainDialog(CommApi& comm, std::function<void(PortEntries&)> scanPorts)
    : store_(kSettingsKey),
      logFiles_(L"Tarn#Vik"),
      session_(Session::Parts{comm, SystemClock(), bridge_, receiveText_, std::move(scanPorts), IsAnsiLeadByte,
                              AnsiToWide, WideToAnsi, OpenFileSource, &logFiles_}),
      sizeCursor_(LoadCursorW(nullptr, IDC_SIZENS)) {}

MainDialog::~MainDialog() = default;

HWND MainDialog::create(HINSTANCE instance) {
  return CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, DialogProc,
                            reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK MainDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  MainDialog* self = nullptr;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<MainDialog*>(lp);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, DWLP_USER, lp);
  } else {
    self = reinterpret_cast<MainDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (self == nullptr) return FALSE;
  // No exception may cross the system's frames back into the message
  // loop; running out of memory is the one the handlers can meet.
  try {
    return self->handleMessage(msg, wp, lp);
  } catch (const std::bad_alloc&) {
    self->onOutOfMemory();
    return FALSE;
  }
}

INT_PTR MainDialog::handleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      return onInitDialog();
    case WM_DEVICECHANGE:
      SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, onDeviceChange(wp, lp));
      return TRUE;
    case WM_SETCURSOR:
      if (cursorOverSplitter_) {
        SetCursor(sizeCursor_);
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
        return TRUE;
      }
      return FALSE;
    case WM_NOTIFY:
      SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, onNotify(reinterpret_cast<const NMHDR*>(lp)));
      return TRUE;
    case WM_PAINT:
      splitter_.moveBy(0);
      return FALSE;
    case WM_TIMER:
      onTimer(wp);
      return TRUE;
    case WM_ACTIVATEAPP:
      onActivateApp(wp != 0);
      return TRUE;
    case WM_ACTIVATE:
    case WM_SETFOCUS:
      // The focused control is given back by its id: it may have been
      // replaced meanwhile, and the dialog manager knows it by its handle.
      if (!(msg == WM_ACTIVATE ? focus_.onActivate(hwnd_, wp) : focus_.onFocus(hwnd_))) return FALSE;
      SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 0);
      return TRUE;
    case WM_ENTERMENULOOP:
    case WM_EXITMENULOOP:
      // The receive view is not replaced while a menu is open on it.
      receiveText_.hold(msg == WM_ENTERMENULOOP);
      return FALSE;
    case WM_CONTEXTMENU:
      onContextMenu(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return TRUE;
    case WM_COMMAND:
      if (routeCommand(HIWORD(wp), LOWORD(wp), reinterpret_cast<HWND>(lp))) return TRUE;
      break;
    case UiCalls::kCallMessage:
      bridge_.runCall(wp, lp);
      return TRUE;
    case UiBridge::kSignalMessage:
      onSignal(wp, lp);
      return TRUE;
    default:
      break;
  }
  if (msg == WM_SIZE) {
    resizer_.onSize(wp, LOWORD(lp), HIWORD(lp));
  } else if (msg == WM_GETMINMAXINFO) {
    resizer_.onGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lp));
  }
  return FALSE;
}

void MainDialog::onSignal(WPARAM wp, LPARAM lp) {
  Signal signal;
  if (!bridge_.readSignal(wp, signal)) return;
  switch (signal) {
    case Signal::Received:
      // Shown on a timer: timer messages come after input and painting, so
      // a flood of received text never keeps the window from answering
      // the user.
      SetTimer(hwnd_, kReceiveTimer, USER_TIMER_MINIMUM, nullptr);
      break;
    case Signal::LowMemory:
      onOutOfMemory();
      break;
    case Signal::Title:
      bridge_.titleHandled();
      rebuildTitle();
      break;
    default:
      session_.onSignal(signal, static_cast<int>(lp));
      break;
  }
}

BOOL MainDialog::onInitDialog() {
  bridge_.attach(hwnd_, [this] { render(); });
  CenterOnWorkArea(hwnd_);
  bigIcon_.reset(LoadIconSized(SM_CXICON, SM_CYICON));
  smallIcon_.reset(LoadIconSized(SM_CXSMICON, SM_CYSMICON));
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  splitter_.init(hwnd_, IDC_HEX_PANE, IDC_TEXT_PANE, 18, 36);
  RestoreSettings(store_, choices_);
  session_.restore(choices_.portName, LineValuesOf(choices_), DelayModeOf(choices_.delayModeItem),
                   choices_.delayTimeMs);
  for (SettingId option : {SettingId::Timestamps, SettingId::TextLineEnd, SettingId::AutoReconnect,
                           SettingId::LogToFile})
    applyOptions(option);
  initViews();
  resizer_.init(hwnd_, {
                           {IDC_RECEIVE_VIEW, Anchor::GrowBoth, true},
                           {IDC_HEX_PANE, Anchor::GrowWidthMoveDown, true},
                           {IDC_TEXT_PANE, Anchor::GrowWidthMoveDown, true},
                           {IDC_STATUS_VIEW, Anchor::GrowWidthMoveDown, true},
                           {IDC_HEX_SEND, Anchor::MoveBoth, false},
                           {IDC_TEXT_SEND, Anchor::MoveBoth, false},
                           {IDC_CLEAR_RECEIVE, Anchor::MoveBoth, false},
                           {IDC_RECEIVE_MODE, Anchor::MoveBoth, false},
                           {IDC_PORT_BUTTON, Anchor::MoveBoth, false},
                           {IDC_TOPMOST, Anchor::MoveBoth, false},
                           {IDC_DELAY_BOX, Anchor::MoveBoth, false},
                           {IDC_GROUP, Anchor::MoveBoth, false},
                       },
                 IDC_SIZE_GRIP);
  if (choices_.file.loaded) reportLoadedFile();
  return TRUE;
}

void MainDialog::close() {
  bridge_.detach();
  DestroyWindow(hwnd_);
  PostQuitMessage(IDCANCEL);
}

void MainDialog::onTimer(UINT_PTR id) {
  if (id == kReceiveTimer) {
    KillTimer(hwnd_, kReceiveTimer);
    session_.drain();
    return;
  }
  if (id == kRescanTimer) {
    KillTimer(hwnd_, kRescanTimer);
    session_.devicesChanged();
    return;
  }
  if (id != kSpinnerTimer) return;
  // In case a signal could not be posted.
  session_.tick();
  if (!session_.portOpen()) return;
  spinnerIndex_ = kSpinner[spinnerIndex_ + 1] == L'\0' ? 0 : spinnerIndex_ + 1;
  session_.titleParts().setSpinner(kSpinner[spinnerIndex_]);
  rebuildTitle();
}

void MainDialog::onActivateApp(bool active) {
  session_.titleParts().setBase(active ? L"Tarn#Vik" : L"Tarn Vik");
  rebuildTitle();
}

void MainDialog::rebuildTitle() {
  if (hwnd_ != nullptr) SetWindowTextW(hwnd_, session_.title().c_str());
}

void MainDialog::render() {
  if (statusView_ == nullptr) return;
  const SessionView v = session_.view();
  // A log that failed turned itself off: the check mark and the stored
  // value follow, so the next start does not try it again unasked.
  if (choices_.options.logToFile && !v.logging) {
    choices_.options.logToFile = false;
    saveSetting(SettingId::LogToFile);
  }
  if (shownOnce_ && v == shown_ && topMostShown_ == choices_.topMost) return;
  if (!shownOnce_ || v.status != shown_.status) {
    ClearView(statusView_);
    AppendFormat(statusView_, L"%s", {v.status});
  }
  shownOnce_ = true;
  shown_ = v;

  SetDlgItemTextW(hwnd_, IDC_PORT_BUTTON, v.portButton);
  if (v.busyWithPort) {
    SetTimer(hwnd_, kSpinnerTimer, kSpinnerMs, nullptr);
  } else {
    KillTimer(hwnd_, kSpinnerTimer);
  }
  if (!v.portOpen) session_.titleParts().setSpinner(L' ');
  rebuildTitle();
  SetDlgItemTextW(hwnd_, IDC_RECEIVE_MODE, v.receiveMode);
  SetDlgItemTextW(hwnd_, IDC_HEX_SEND, v.hexSend);
  EnableWindow(hexPane_, v.hexPaneEnabled ? TRUE : FALSE);
  SetDlgItemTextW(hwnd_, IDC_TEXT_SEND, v.textSend);
  EnableWindow(textPane_, v.textPaneEnabled ? TRUE : FALSE);
  Enable(hwnd_, IDC_PORT_BUTTON, v.portButtonEnabled);
  Enable(hwnd_, IDC_TEXT_SEND, v.textSendEnabled);
  Enable(hwnd_, IDC_HEX_SEND, v.hexSendEnabled);
  Enable(hwnd_, IDC_CLEAR_RECEIVE, v.clearEnabled);
  DragAcceptFiles(textPane_, v.acceptsDrops ? TRUE : FALSE);
  DragAcceptFiles(hexPane_, v.acceptsDrops ? TRUE : FALSE);

  topMostShown_ = choices_.topMost;
  CheckDlgButton(hwnd_, IDC_TOPMOST, choices_.topMost ? BST_CHECKED : BST_UNCHECKED);
  // No activation: a change caused by a device or a job's end must not
  // pull the window in front of the one the user works in.
  SetWindowPos(hwnd_, choices_.topMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool MainDialog::shutdown() { return session_.exit(Session::kExitMs); }

}  // namespace tv
