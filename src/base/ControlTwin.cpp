#include "base/ControlTwin.h"

#include "base/ChildRect.h"

namespace tv {

HWND MakeTwin(HWND original, bool visible) {
  HWND parent = GetParent(original);
  wchar_t className[64] = {};
  if (parent == nullptr || GetClassNameW(original, className, 64) == 0) return nullptr;
  DWORD style = static_cast<DWORD>(GetWindowLongPtrW(original, GWL_STYLE));
  style = visible ? (style | WS_VISIBLE) : (style & ~static_cast<DWORD>(WS_VISIBLE));
  DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(original, GWL_EXSTYLE));
  Rect r = ChildRect(parent, original);
  INT_PTR id = visible ? GetWindowLongPtrW(original, GWLP_ID) : 0;
  HWND twin = CreateWindowExW(exStyle, className, L"", style, r.left, r.top, r.width(), r.height(), parent,
                              reinterpret_cast<HMENU>(id), GetModuleHandleW(nullptr), nullptr);
  if (twin == nullptr) return nullptr;
  SetWindowPos(twin, original, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SendMessageW(twin, WM_SETFONT, SendMessageW(parent, WM_GETFONT, 0, 0), FALSE);
  return twin;
}

void PutTwinInPlace(HWND original, HWND twin) {
  HWND parent = GetParent(original);
  Rect r = ChildRect(parent, original);
  SetWindowLongPtrW(twin, GWLP_ID, GetWindowLongPtrW(original, GWLP_ID));
  SetWindowPos(twin, original, r.left, r.top, r.width(), r.height(), SWP_NOACTIVATE | SWP_SHOWWINDOW);
  if (GetFocus() == original) SetFocus(twin);
}

}  // namespace tv
