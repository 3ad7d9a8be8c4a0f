// The pre-translation filter: every queued message of the UI thread passes
// here first, so the shortcuts work whichever control has the focus.
#include <windows.h>
#include <richedit.h>

#include "app/KeyRules.h"
#include "app/MainDialog.h"
#include "resources/resource.h"

namespace tv {
namespace {

bool AltDown() { return GetKeyState(VK_MENU) < 0; }

// The command id the last Alt+C chose; it does not follow the menu.
int g_portCycle = ID_PORT_FIRST;  // UI thread

}  // namespace

bool MainDialog::preTranslate(MSG& msg) {
  switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (onKeyDown(msg)) return true;
      break;
    case WM_KEYUP:
      onFunctionKey(static_cast<unsigned>(msg.wParam));
      break;
    case WM_CHAR:
      if (filterChar(msg)) return true;
      break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      onSplitterMouse(msg.message);
      break;
    default:
      break;
  }
  return hwnd_ != nullptr && IsDialogMessageW(hwnd_, &msg) != FALSE;
}

bool MainDialog::onKeyDown(MSG& msg) {
  unsigned key = static_cast<unsigned>(msg.wParam);
  if (AltDown()) {
    if (key == VK_UP) splitter_.moveBy(-17);
    if (key == VK_DOWN) splitter_.moveBy(17);
    // Bit 30: the key was down already, an auto-repeat. The newer keys act
    // on the first press only: held down, they would toggle on and off.
    if ((msg.lParam & (1L << 30)) == 0) onFirstAltPress(key);
    onAltCommand(key);
    // Every key with Alt held stops here, so Alt+F4 and Alt+Space do
    // nothing in this window.
    return true;
  }

  HWND focus = GetFocus();
  if (focus == delayBox_ && !IsDelayBoxKey(key)) msg.wParam = 0;
  // Escape never closes the window.
  if (key == VK_ESCAPE) msg.wParam = 0;
  return false;
}

void MainDialog::insertHexBlankIfNeeded() {
  CHARRANGE sel{};
  SendMessageW(hexPane_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&sel));
  long p = sel.cpMin;
  if (p < 2) return;
  wchar_t two[3] = {};
  TEXTRANGEW range{{p - 2, p}, two};
  SendMessageW(hexPane_, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
  if (!HexPaneNeedsBlank(p, two[0], two[1])) return;
  // A selection is replaced by the blank, so the digit typed over it
  // still replaces it.
  SendMessageW(hexPane_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L" "));
}

void MainDialog::onAltCommand(unsigned key) {
  const JobRunner& jobs = session_.jobs();
  bool text = jobs.idle(JobKind::Text), hex = jobs.idle(JobKind::Hex), sel = jobs.idle(JobKind::Selection),
       file = jobs.idle(JobKind::File);
  switch (key) {
    case 'A':
      if (sel && hex && file) pressJob(JobKind::Text);
      break;
    case 'S':
      if (sel && file && text) pressJob(JobKind::Hex);
      break;
    case 'D':
      if (sel && hex && file && text) loadFileByDialog();
      break;
    case 'F':
      if (sel && hex && text) pressJob(JobKind::File);
      break;
    case 'Z':
      session_.toggleView();
      break;
    case 'X':
      if (sel && hex && file && text) session_.togglePort();
      break;
    case 'C':
      if (sel && hex && file && text) {
        const int count = session_.ports().count();
        ++g_portCycle;
        if (count > 0 && g_portCycle >= ID_PORT_FIRST + count) g_portCycle = ID_PORT_FIRST;
        onPortCommand(g_portCycle);
      }
      break;
    case 'V':
      onTopMost();
      break;
    default:
      break;
  }
}

void MainDialog::onFirstAltPress(unsigned key) {
  switch (key) {
    case 'L': onOptionCommand(ID_LOG_TO_FILE); break;
    case 'T': onOptionCommand(ID_TIMESTAMPS); break;
    case 'E': toggleModemLine(true); break;
    case 'R': toggleModemLine(false); break;
    default: break;
  }
}

bool MainDialog::filterChar(MSG& msg) {
  wchar_t c = static_cast<wchar_t>(msg.wParam);
  // Control characters (Backspace, Enter, Ctrl+Z, Ctrl+V...) are editing,
  // not text: the panes need them to work on every version of the control.
  if (c < L' ') return false;
  HWND focus = GetFocus();
  if (focus == delayBox_ && !IsDelayBoxChar(c)) return true;
  if (focus == hexPane_) {
    wchar_t accepted = FilterHexPaneChar(c);
    if (accepted == 0) return true;
    // Decided by the character, not the key: Shift+1, Ctrl+C and the like
    // press digit or letter keys too, and must not leave a blank behind.
    if (accepted != L' ') insertHexBlankIfNeeded();
    msg.wParam = accepted;
    applyHexPaneFormat();
  }
  return false;
}

void MainDialog::onSplitterMouse(UINT message) {
  if (message == WM_MOUSEMOVE) {
    if (splitterDragging_ && GetKeyState(VK_LBUTTON) >= 0) {
      if (GetCapture() == hwnd_) ReleaseCapture();
      splitterDragging_ = false;
    }
    if (splitterDragging_) {
      POINT pt;
      GetCursorPos(&pt);
      ScreenToClient(hwnd_, &pt);
      splitter_.setSplit(pt.y);
    }
    cursorOverSplitter_ = splitter_.cursorOverBar();
  } else if (message == WM_LBUTTONDOWN) {
    // Captured, so a drag that leaves the window still follows the cursor
    // and ends at the limit rather than wherever the cursor last was inside.
    if (cursorOverSplitter_) {
      splitterDragging_ = true;
      SetCapture(hwnd_);
    }
  } else {
    if (splitterDragging_ && GetCapture() == hwnd_) ReleaseCapture();
    splitterDragging_ = false;
  }
}

}  // namespace tv
