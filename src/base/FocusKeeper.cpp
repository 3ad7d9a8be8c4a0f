#include "base/FocusKeeper.h"

namespace tv {

bool FocusKeeper::onActivate(HWND dialog, WPARAM wp) {
  if (LOWORD(wp) == WA_INACTIVE) {
    // The dialog manager keeps its handle too; that does no harm.
    dialog_ = dialog;
    focusedId_ = 0;
    HWND focus = GetFocus();
    if (focus == nullptr || focus == dialog || !IsChild(dialog, focus)) return false;
    // The dialog's own control, not a window inside it.
    while (GetParent(focus) != dialog) focus = GetParent(focus);
    focusedId_ = GetDlgCtrlID(focus);
    return false;
  }
  // Minimized, the dialog manager leaves the focus alone, and so does this
  // (see onFocus).
  if (HIWORD(wp) != 0) return false;
  return giveBack(dialog);
}

bool FocusKeeper::onFocus(HWND dialog) { return GetFocus() == dialog && giveBack(dialog); }

bool FocusKeeper::giveBack(HWND dialog) {
  if (dialog != dialog_ || focusedId_ == 0 || IsIconic(dialog)) return false;
  HWND control = GetDlgItem(dialog, focusedId_);
  if (control == nullptr || !IsWindowVisible(control) || !IsWindowEnabled(control)) return false;
  SetFocus(control);
  return GetFocus() == control;
}

}  // namespace tv
