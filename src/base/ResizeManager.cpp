#include "base/ResizeManager.h"

#include "base/ChildRect.h"

namespace tv {

void ResizeManager::init(HWND dialog, const std::vector<Rule>& rules, int gripId) {
  dialog_ = dialog;
  LONG_PTR style = GetWindowLongPtrW(dialog, GWL_STYLE);
  if (!(style & WS_CLIPCHILDREN)) SetWindowLongPtrW(dialog, GWL_STYLE, style | WS_CLIPCHILDREN);
  SetWindowLongPtrW(dialog, GWL_EXSTYLE, GetWindowLongPtrW(dialog, GWL_EXSTYLE) | WS_EX_DLGMODALFRAME);

  RECT client;
  GetClientRect(dialog, &client);
  initialClient_ = SIZE{client.right, client.bottom};

  for (const Rule& rule : rules) {
    HWND control = GetDlgItem(dialog, rule.id);
    if (control != nullptr) tracked_.push_back({control, rule.anchor, rule.repaint, ChildRect(dialog, control)});
  }

  int gripW = GetSystemMetrics(SM_CXVSCROLL);
  int gripH = GetSystemMetrics(SM_CYHSCROLL);
  grip_ = CreateWindowExW(0, L"SCROLLBAR", nullptr,
                          WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SBS_SIZEBOX | SBS_SIZEGRIP |
                              SBS_SIZEBOXBOTTOMRIGHTALIGN,
                          client.right - gripW, client.bottom - gripH, gripW, gripH, dialog,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(gripId)),
                          GetModuleHandleW(nullptr), nullptr);
  if (grip_ != nullptr)
    tracked_.push_back({grip_, Anchor::MoveBoth, false, ChildRect(dialog, grip_)});

  RECT window;
  GetWindowRect(dialog, &window);
  minTrack_ = POINT{window.right - window.left, window.bottom - window.top};
}

void ResizeManager::replaceControl(HWND old, HWND fresh) {
  for (Tracked& t : tracked_)
    if (t.control == old) t.control = fresh;
}

void ResizeManager::onGetMinMaxInfo(MINMAXINFO* info) const {
  if (dialog_ == nullptr || minTrack_.x == 0) return;
  info->ptMinTrackSize = minTrack_;
}

void ResizeManager::onSize(WPARAM type, int width, int height) {
  if (dialog_ == nullptr) return;
  if (grip_ != nullptr) {
    if (type == SIZE_MAXIMIZED) ShowWindow(grip_, SW_HIDE);
    else if (type == SIZE_RESTORED) ShowWindow(grip_, SW_SHOW);
  }
  if (type == SIZE_MINIMIZED) return;

  int dx = width - initialClient_.cx;
  int dy = height - initialClient_.cy;
  bool visible = IsWindowVisible(dialog_) != FALSE;
  if (visible) SendMessageW(dialog_, WM_SETREDRAW, FALSE, 0);
  for (const Tracked& t : tracked_) {
    Rect r = Follow(t.initial, t.anchor, dx, dy);
    MoveWindow(t.control, r.left, r.top, r.width(), r.height(), t.repaint);
  }
  if (visible) SendMessageW(dialog_, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(dialog_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_ERASE | RDW_INVALIDATE);
}

}  // namespace tv
