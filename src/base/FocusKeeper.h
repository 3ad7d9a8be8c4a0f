// Keeps the dialog's focused control across a deactivation. The dialog
// manager remembers the focused control by its handle when the window is
// deactivated and gives it the focus back on activation; when that control
// was replaced meanwhile (a view emptied by putting a new control in its place),
// the handle is gone and the focus goes to the first tab stop, a send
// button, which the next Space or Enter presses. Controls keep their id
// across a replacement (see ControlTwin.h), so the id is remembered here.
#pragma once

#include <windows.h>

namespace tv {

class FocusKeeper {
 public:
  // The dialog's WM_ACTIVATE. True when the focus was given back here: the
  // dialog procedure then returns TRUE, so the dialog manager does not set
  // it again from the handle it kept.
  bool onActivate(HWND dialog, WPARAM wp);
  // The dialog's WM_SETFOCUS, the dialog itself given the focus: how
  // Windows goes on when it restores a minimized window, after an
  // activation made while still minimized that left the focus alone. True
  // when the focus went on to the remembered control (return TRUE then).
  bool onFocus(HWND dialog);

 private:
  HWND dialog_ = nullptr;  // the dialog the id belongs to
  int focusedId_ = 0;      // 0: nothing of the dialog's had the focus
  bool giveBack(HWND dialog);
};

}  // namespace tv
