// The edit commands of the right-click menu.
#include "app/MainDialog.h"
#include "base/RichEdit.h"
#include "resources/resource.h"

namespace tv {

HWND MainDialog::menuTarget() const {
  int id = menuTargetId_;
  return id == 0 ? nullptr : GetDlgItem(hwnd_, id);
}

std::wstring MainDialog::selectedText() const {
  HWND target = menuTarget();
  if (target == nullptr) return std::wstring();
  CHARRANGE range{};
  SendMessageW(target, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
  if (range.cpMin < 0 || range.cpMax <= range.cpMin) return std::wstring();
  return GetTextRange(target, static_cast<std::size_t>(range.cpMin), static_cast<std::size_t>(range.cpMax));
}

void MainDialog::onEditCommand(int id) {
  const bool wholeText = selectAllFirst_;
  // What was received before a command that selects or copies is in the
  // view when it acts; a clear takes it away with the rest.
  const bool clears = id == ID_CLEAR || id == ID_CLEAR_ALL || id == ID_CLEAR_AND_PASTE;
  if (!clears && menuTargetId_ == IDC_RECEIVE_VIEW) session_.drainAll();
  // Looked up after that: taking in the received text can put a new
  // control in the view's place.
  HWND target = menuTarget();
  switch (id) {
    case ID_CLEAR:
      clearView(target);
      break;
    case ID_SELECT_ALL:
      if (target) SendMessageW(target, EM_SETSEL, 0, -1);
      break;
    case ID_CLEAR_ALL:
      clearView(textPane_);
      session_.clearView();
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
