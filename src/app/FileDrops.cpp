// The loaded file: chosen in the open-file dialog or dropped on a pane.
#include <new>

#include "app/MainDialog.h"
#include "resources/resource.h"
#include "send/FileLoading.h"

namespace tv {
namespace {

LRESULT CALLBACK DropPaneProc(HWND pane, UINT msg, WPARAM wp, LPARAM lp) {
  auto* dialog = reinterpret_cast<MainDialog*>(GetPropW(pane, L"TarnVik.Dialog"));
  auto previous = reinterpret_cast<WNDPROC>(GetPropW(pane, L"TarnVik.Proc"));
  if (msg == WM_DROPFILES && dialog != nullptr) {
    try {
      dialog->loadDroppedFile(reinterpret_cast<HDROP>(wp));
    } catch (const std::bad_alloc&) {
      dialog->onOutOfMemory();
    }
    return 0;
  }
  if (msg == WM_NCDESTROY) {
    // A pane is destroyed when a new one takes its place.
    RemovePropW(pane, L"TarnVik.Dialog");
    RemovePropW(pane, L"TarnVik.Proc");
    SetWindowLongPtrW(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
  }
  return CallWindowProcW(previous, pane, msg, wp, lp);
}

}  // namespace

// Rich edit turns a drop into EN_DROPFILES; some versions of the control do
// not, so the panes hand a WM_DROPFILES they receive to the same handler.
void MainDialog::hookDropTarget(HWND pane) {
  SetPropW(pane, L"TarnVik.Dialog", reinterpret_cast<HANDLE>(this));
  SetPropW(pane, L"TarnVik.Proc",
           reinterpret_cast<HANDLE>(SetWindowLongPtrW(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DropPaneProc))));
}

LRESULT MainDialog::onNotify(const NMHDR* header) {
  if (header == nullptr || header->code != EN_DROPFILES) return 0;
  if (header->idFrom != IDC_TEXT_PANE && header->idFrom != IDC_HEX_PANE) return 0;
  loadDroppedFile(static_cast<HDROP>(reinterpret_cast<const ENDROPFILES*>(header)->hDrop));
  // Zero tells the control to do nothing more with the drop, which has
  // been handled and released here.
  return 0;
}

void MainDialog::loadDroppedFile(HDROP drop) {
  // The loaded path must not change under a running file send.
  if (!LoadDroppedFile(drop, session_.jobs().idle(JobKind::File), choices_.file)) return;
  reportLoadedFile();
  saveSetting(SettingId::LoadedFile);
}

void MainDialog::loadFileByDialog() {
  if (!fileDialogFree_) return;
  fileDialogFree_ = false;
  if (ChooseFile(hwnd_, choices_.file)) {
    reportLoadedFile();
    saveSetting(SettingId::LoadedFile);
  }
  fileDialogFree_ = true;
}

void MainDialog::reportLoadedFile() { session_.say(LoadedFileReport(choices_.file)); }

}  // namespace tv
