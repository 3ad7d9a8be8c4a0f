#include "base/PaneSplitter.h"

#include "base/ChildRect.h"
#include "base/WinHandles.h"

namespace tv {
namespace {

// GetDpiForWindow exists since Windows 10 1607 and is looked up so the
// program still starts on XP; before it, the screen's DPI is the window's.
int WindowDpi(HWND window) {
  using DpiForWindow = UINT(WINAPI*)(HWND);
  auto forWindow = reinterpret_cast<DpiForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (forWindow != nullptr) {
    UINT dpi = forWindow(window);
    if (dpi != 0) return static_cast<int>(dpi);
  }
  WindowDC dc(window);
  return GetDeviceCaps(dc.get(), LOGPIXELSY);
}

}  // namespace

void PaneSplitter::init(HWND owner, int upperId, int lowerId, int minUpper, int minLower) {
  owner_ = owner;
  upper_ = GetDlgItem(owner, upperId);
  lower_ = GetDlgItem(owner, lowerId);
  dpi_ = WindowDpi(owner);
  geometry_ = SplitGeometry(ScaleForDpi(minUpper, dpi_), ScaleForDpi(minLower, dpi_));
  keptUpperHeight_ = measure().upper.height();
}

SplitGeometry::Panes PaneSplitter::measure() const {
  return SplitGeometry::Panes{ChildRect(owner_, upper_), ChildRect(owner_, lower_)};
}

void PaneSplitter::apply(const SplitGeometry::Panes& p) {
  MoveWindow(upper_, p.upper.left, p.upper.top, p.upper.width(), p.upper.height(), TRUE);
  MoveWindow(lower_, p.lower.left, p.lower.top, p.lower.width(), p.lower.height(), TRUE);
  UpdateWindow(upper_);
  UpdateWindow(lower_);
}

void PaneSplitter::setSplit(int y) {
  if (owner_ == nullptr) return;
  apply(geometry_.setSplit(measure(), y, &keptUpperHeight_));
}

void PaneSplitter::moveBy(int d) {
  if (owner_ == nullptr) return;
  SplitGeometry::Panes now = measure();
  SplitGeometry::Panes next = geometry_.moveBy(now, ScaleForDpi(d, dpi_), &keptUpperHeight_);
  // Nothing to do on the usual paint: avoid moving windows from WM_PAINT
  // when the split is already where the user left it.
  if (d == 0 && next.upper == now.upper && next.lower == now.lower) return;
  apply(next);
}

void PaneSplitter::replaceControl(HWND old, HWND fresh) {
  if (upper_ == old) upper_ = fresh;
  if (lower_ == old) lower_ = fresh;
}

bool PaneSplitter::cursorOverBar() const {
  if (owner_ == nullptr) return false;
  POINT pt;
  GetCursorPos(&pt);
  ScreenToClient(owner_, &pt);
  return SplitGeometry::isOverBar(measure(), pt.x, pt.y);
}

}  // namespace tv
