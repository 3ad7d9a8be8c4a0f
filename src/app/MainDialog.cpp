#include "app/MainDialog.h"

#include <windowsx.h>

#include <cstdlib>
#include <ctime>
#include <new>

#include "app/AppState.h"
#include "app/FocusKeeper.h"
#include "app/QuickSlots.h"
#include "app/SerialPort.h"
#include "base/RichEdit.h"
#include "diagnostics/Reports.h"
#include "resources/resource.h"
#include "send/TimedSend.h"

namespace tv {
namespace {

// The title's activity character cycles through these while the port is open.
const wchar_t kSpinner[] = L"-\\|/";
int g_spinnerIndex = 0;  // UI thread
FocusKeeper g_focus;     // UI thread

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

void SetIcons(HWND dialog) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  HANDLE big = LoadImageW(instance, MAKEINTRESOURCEW(IDI_TARNVIK), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                          GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR);
  SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  HANDLE small = LoadImageW(instance, MAKEINTRESOURCEW(IDI_TARNVIK), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                            GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR);
  SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

}  // namespace

MainDialog::MainDialog()
    : receiver_(
          Serial().channel, [this] { return bridge_.postReceived(); }, [this] { bridge_.postReaderEnded(); },
          [this] { bridge_.postLowMemory(); }),
      feed_(receiver_.pipeline(), receiveText_, SystemClock()),
      jobs_(App(), bridge_, Serial().channel),
      reports_(bridge_, feed_),
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
      if (!(msg == WM_ACTIVATE ? g_focus.onActivate(hwnd_, wp) : g_focus.onFocus(hwnd_))) return FALSE;
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
    case UiBridge::kCallMessage:
      bridge_.runCall(wp, lp);
      return TRUE;
    case UiBridge::kTitleMessage:
      bridge_.titleHandled();
      rebuildTitle();
      return TRUE;
    case UiBridge::kJobEndedMessage:
      onJobEnded(static_cast<JobKind>(wp));
      return TRUE;
    case UiBridge::kReaderEndedMessage:
      receiver_.onReaderEnded();
      return TRUE;
    case UiBridge::kPortLostMessage:
      onPortLost();
      return TRUE;
    case UiBridge::kLowMemoryMessage:
      onOutOfMemory();
      return TRUE;
    case UiBridge::kReceivedMessage:
      // Shown on a timer: timer messages come after input and painting, so
      // a flood of received text never keeps the window from answering
      // the user.
      SetTimer(hwnd_, kReceiveTimer, USER_TIMER_MINIMUM, nullptr);
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

bool MainDialog::routeCommand(WORD code, WORD id, HWND control) {
  AppState& app = App();
  if (code == EN_ERRSPACE) {
    // The receive view's copy has no id yet: known by its handle.
    receiveText_.noteNoSpace(control);
  } else if (id == IDC_HEX_SEND) {
    startOrCancelJob(JobKind::Hex);
  } else if (id == IDC_TEXT_SEND) {
    if (code != BN_CLICKED) return true;
    startOrCancelJob(JobKind::Text);
  } else if (id == IDCANCEL) {
    close();
  } else if (id == IDC_TOPMOST) {
    onTopMostCommand(control);
  } else if (id == IDC_PORT_BUTTON) {
    togglePort();
  } else if (id == IDC_RECEIVE_MODE) {
    onReceiveMode();
  } else if (id == IDC_CLEAR_RECEIVE) {
    if (code == BN_CLICKED) onClearReceive();
  } else if (id == ID_CANCEL_SELECTION) {
    jobs_.cancel(JobKind::Selection);
    refreshStatus();
  } else if (id == ID_SEND_SELECTION) {
    if (!app.selectAllFirst) {
      selectionFromHexPane_ = app.menuTargetId == IDC_HEX_PANE;
      startOrCancelJob(JobKind::Selection);
    }
  } else if (id == ID_CLEAR || id == ID_SELECT_ALL || id == ID_CLEAR_ALL || id == ID_COPY || id == ID_CUT ||
             id == ID_PASTE || id == ID_CLEAR_AND_PASTE) {
    onEditCommand(id);
  } else if (id == ID_LOAD_FILE) {
    loadFileByDialog();
  } else if (id == ID_SEND_FILE) {
    startOrCancelJob(JobKind::File);
  } else if (id == IDC_DELAY_BOX) {
    if (code == EN_UPDATE || code == EN_CHANGE) onDelayBoxUpdate();
  } else if (KindOfCommand(id) != LineSettingKind::None) {
    onLineSettingCommand(id);
  } else if (id >= ID_PORT_FIRST && id < ID_PORT_FIRST + portCount_) {
    onPortCommand(id);
  } else if (id >= ID_DELAY_OFF && id <= ID_DELAY_ONCE_LINES) {
    onDelayModeCommand(id);
  } else if (id >= ID_SLOT_FIRST && id <= ID_SLOT_LAST) {
    HWND target = menuTarget();
    RunSlotCommand(id - ID_SLOT_FIRST, target, target != nullptr && (target == hexPane_ || target == textPane_),
                   [this](HWND pane) { return clearView(pane); });
  } else {
    return false;
  }
  return true;
}

BOOL MainDialog::onInitDialog() {
  bridge_.attach(hwnd_);
  Serial().announceLostTo(&bridge_);
  CenterOnWorkArea(hwnd_);
  SetIcons(hwnd_);
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  splitter_.init(hwnd_, IDC_HEX_PANE, IDC_TEXT_PANE, 18, 36);
  RestoreSettings(App(), file_);
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
                       });
  if (file_.loaded) reportLoadedFile();
  return TRUE;
}

void MainDialog::close() {
  Serial().announceLostTo(nullptr);
  bridge_.detach();
  DestroyWindow(hwnd_);
  PostQuitMessage(IDCANCEL);
}

void MainDialog::onTimer(UINT_PTR id) {
  if (id == kReceiveTimer) {
    KillTimer(hwnd_, kReceiveTimer);
    feed_.drain();
    return;
  }
  if (id == kRescanTimer) {
    KillTimer(hwnd_, kRescanTimer);
    onDevicesChanged();
    return;
  }
  if (id != kSpinnerTimer) return;
  // In case a request for received text, the reader's end or the port's
  // failure could not be posted.
  feed_.drain();
  receiver_.onReaderEnded();
  if (Serial().channel.lost()) onPortLost();
  g_spinnerIndex = kSpinner[g_spinnerIndex + 1] == L'\0' ? 0 : g_spinnerIndex + 1;
  App().title.setSpinner(kSpinner[g_spinnerIndex]);
  rebuildTitle();
}

void MainDialog::onActivateApp(bool active) {
  App().title.setBase(active ? L"Tarn#Vik" : L"Tarn Vik");
  rebuildTitle();
}

void MainDialog::onJobEnded(JobKind) {
  AppState& app = App();
  // Close the port the job opened, unless another job has taken it over
  // in the meantime (that one closes it when it ends).
  if (app.portOpenedBySend && jobs_.allIdle()) {
    app.portOpenedBySend = false;
    // Closed meanwhile (a removal, a failure): a toggle would open it again.
    if (app.portOpen) togglePort();
  }
  refreshStatus();
}

bool MainDialog::shutdown() {
  stopAllJobs();
  Serial().channel.closeChannel();
  // Workers see their flags within a pass; a worker still asking the
  // window for something gets nothing now that it is gone.
  bool ended = receiver_.wait(3000);
  ended = jobs_.wait(3000) && ended;
  return reports_.wait(3000) && ended;
}

}  // namespace tv
