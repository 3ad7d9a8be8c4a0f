// The small handlers that belong to the window itself: the toggles, the
// clear button and the edit commands of the right-click menu.
#include <vector>

#include "app/AppState.h"
#include "app/MainDialog.h"
#include "base/RichEdit.h"
#include "resources/resource.h"

namespace tv {
namespace {

// Nonzero while the "最前端" box handles the release of a click or of the
// space bar: only then is its BN_CLICKED the user's. UI thread.
int g_topMostPress = 0;
WNDPROC g_topMostProc = nullptr;  // UI thread

LRESULT CALLBACK TopMostButtonProc(HWND button, UINT msg, WPARAM wp, LPARAM lp) {
  bool press = msg == WM_LBUTTONUP || (msg == WM_KEYUP && wp == VK_SPACE);
  if (press) ++g_topMostPress;
  LRESULT result = CallWindowProcW(g_topMostProc, button, msg, wp, lp);
  if (press) --g_topMostPress;
  return result;
}

}  // namespace

// A radio button also reports a click whenever it gets the focus while
// unchecked: from the arrow keys, or from the dialog handing the focus back
// when the window is activated. Taken for a toggle, that turned topmost back
// on by itself and stored it.
void MainDialog::hookTopMostButton() {
  g_topMostProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      GetDlgItem(hwnd_, IDC_TOPMOST), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TopMostButtonProc)));
}

void MainDialog::onTopMostCommand(HWND control) {
  // A command that does not come from the box itself still toggles.
  if (control == GetDlgItem(hwnd_, IDC_TOPMOST) && g_topMostPress == 0) return;
  onTopMost();
}

void MainDialog::onTopMost() {
  AppState& app = App();
  app.topMost = !app.topMost;
  saveSetting(SettingId::TopMost);
  refreshStatus();
}

void MainDialog::onReceiveMode() {
  AppState& app = App();
  app.numberReceive = app.numberReceive ? 0 : 1;
  refreshStatus();
}

void MainDialog::onClearReceive() { feed_.clear(); }

HWND MainDialog::menuTarget() const {
  int id = App().menuTargetId;
  return id == 0 ? nullptr : GetDlgItem(hwnd_, id);
}

std::wstring MainDialog::selectedText() const {
  HWND target = menuTarget();
  if (target == nullptr) return std::wstring();
  CHARRANGE range{};
  SendMessageW(target, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
  LONG first = range.cpMin, last = range.cpMax;
  if (last <= first) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<std::size_t>(last - first) + 1, L'\0');
  TEXTRANGEW text{{first, last}, buffer.data()};
  LRESULT got = SendMessageW(target, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&text));
  if (got < 0) got = 0;
  if (static_cast<std::size_t>(got) >= buffer.size()) got = static_cast<LRESULT>(buffer.size() - 1);
  return std::wstring(buffer.data(), static_cast<std::size_t>(got));
}

void MainDialog::onEditCommand(int id) {
  HWND target = menuTarget();
  bool wholeText = App().selectAllFirst;
  // What was received before a command that selects or copies is in the
  // view when it acts; a clear takes it away with the rest.
  bool clears = id == ID_CLEAR || id == ID_CLEAR_ALL || id == ID_CLEAR_AND_PASTE;
  if (!clears && target != nullptr && target == receiveText_.hwnd()) feed_.drainAll();
  switch (id) {
    case ID_CLEAR:
      clearView(target);
      break;
    case ID_SELECT_ALL:
      if (target) SendMessageW(target, EM_SETSEL, 0, -1);
      break;
    case ID_CLEAR_ALL:
      clearView(textPane_);
      feed_.clear();
      clearView(hexPane_);
      break;
    case ID_COPY:
      if (!target) break;
      if (wholeText) {
        SendMessageW(target, EM_SETSEL, 0, -1);
        SendMessageW(target, WM_COPY, 0, 0);
        SendMessageW(target, EM_SETSEL, static_cast<WPARAM>(-1), 0);
      } else {
        SendMessageW(target, WM_COPY, 0, 0);
      }
      break;
    case ID_CUT:
      if (!target) break;
      if (wholeText) SendMessageW(target, EM_SETSEL, 0, -1);
      SendMessageW(target, WM_CUT, 0, 0);
      break;
    case ID_PASTE:
      if (target) SendMessageW(target, WM_PASTE, 0, 0);
      break;
    case ID_CLEAR_AND_PASTE:
      if (!target) break;
      target = clearView(target);
      SendMessageW(target, WM_PASTE, 0, 0);
      break;
    default:
      break;
  }
}

}  // namespace tv
