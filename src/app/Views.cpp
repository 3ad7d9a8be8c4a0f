// The dialog's rich-edit views: how each is set up, and how the large ones
// are emptied by putting a new control in their place.
#include <windows.h>
#include <imm.h>
#include <richedit.h>

#include <new>

#include "base/ControlTwin.h"
#include "app/MainDialog.h"
#include "base/Format.h"
#include "base/ProcessMemory.h"
#include "base/RichEdit.h"
#include "diagnostics/Reports.h"
#include "resources/resource.h"

namespace tv {
namespace {

int CALLBACK FontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FontInstalled(const wchar_t* face) {
  WindowDC screen(nullptr);
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  EnumFontFamiliesExW(screen.get(), &lf, FontFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// A fixed-pitch face that also has the Chinese characters, so hex columns
// line up and received GBK text reads well.
const wchar_t* ViewFace() {
  static const wchar_t* const kFaces[] = {L"NSimSun", L"新宋体", L"WenQuanYi Micro Hei Mono",
                                          L"SimSun", L"Courier New"};
  for (const wchar_t* face : kFaces)
    if (FontInstalled(face)) return face;
  return L"";
}

// With a Chinese input method on, a to f would start a composition in the
// hex pane and the delay box, and its result would go in without WM_CHAR,
// past their character filters and the hex pane's automatic blank.
void TurnOffInputMethod(HWND view) {
  ImmAssociateContext(view, nullptr);
  SendMessageW(view, EM_SETEDITSTYLE, SES_NOIME, SES_NOIME);
}

void SetDefaultFormat(HWND view, const wchar_t* face, bool bold) {
  CHARFORMAT2W cf{};
  cf.cbSize = sizeof(cf);
  cf.dwMask = CFM_SIZE | CFM_FACE | CFM_BOLD;
  cf.yHeight = 9 * 20;  // twips
  cf.dwEffects = bold ? CFE_BOLD : 0;
  lstrcpynW(cf.szFaceName, face, LF_FACESIZE);
  SendMessageW(view, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&cf));
}

}  // namespace

void MainDialog::initViews() {
  rebuildTitle();
  viewFace_ = ViewFace();
  hexPane_ = GetDlgItem(hwnd_, IDC_HEX_PANE);
  textPane_ = GetDlgItem(hwnd_, IDC_TEXT_PANE);
  statusView_ = GetDlgItem(hwnd_, IDC_STATUS_VIEW);
  delayBox_ = GetDlgItem(hwnd_, IDC_DELAY_BOX);
  HWND receive = GetDlgItem(hwnd_, IDC_RECEIVE_VIEW);
  setUpReceiveView(receive);
  receiveText_.attach(receive, BoundedView::Site{
                                   [this](HWND like, bool visible) {
                                     HWND view = MakeTwin(like, visible);
                                     if (view != nullptr) setUpReceiveView(view);
                                     return view;
                                   },
                                   [this](HWND old, HWND fresh) { resizer_.replaceControl(old, fresh); },
                                   PrivateBytes,
                                   L"...................较早的内容已删除................\n",
                                   L"...................内存不足,较早的内容已删除................\n",
                                   L"...................内存不足,接收区已清空................\n",
                               });
  setUpPane(textPane_, false);
  setUpPane(hexPane_, true);

  hookTopMostButton();
  TurnOffInputMethod(delayBox_);
  SetWindowTextW(delayBox_, Format(L"%d", {choices_.delayTimeMs}).c_str());
  // Without these a rich edit on Windows reports no edits, and the typed
  // delay would never reach the jobs or the settings. EN_UPDATE comes only
  // with a redraw; EN_CHANGE also comes for edits while the box is not
  // drawn (a paste from the menu). Set after the first text, which needs no
  // storing.
  SendMessageW(delayBox_, EM_SETEVENTMASK, 0, ENM_UPDATE | ENM_CHANGE);
  render();
  session_.say(PortListReport(session_.ports()));
}

void MainDialog::setUpReceiveView(HWND view) {
  SendMessageW(view, EM_EXLIMITTEXT, 0, 0x7FFFFFFF);
  SetDefaultFormat(view, viewFace_, false);
}

void MainDialog::setUpPane(HWND pane, bool hex) {
  if (hex) TurnOffInputMethod(pane);
  SendMessageW(pane, EM_SETEVENTMASK, 0, ENM_DROPFILES);
  SendMessageW(pane, EM_EXLIMITTEXT, 0, 0x7FFFFFFF);
  // Typed digits in the hex pane are bold.
  SetDefaultFormat(pane, viewFace_, hex);
  hookDropTarget(pane);
}

void MainDialog::applyHexPaneFormat() { SetDefaultFormat(hexPane_, viewFace_, true); }

HWND MainDialog::clearView(HWND view) {
  if (view == nullptr) return nullptr;
  if (view == receiveText_.hwnd()) {
    session_.clearView();
    return receiveText_.hwnd();
  }
  if (view != textPane_ && view != hexPane_) {
    ClearView(view);
    return view;
  }
  const bool hex = view == hexPane_;
  HWND fresh = MakeTwin(view, false);
  if (fresh == nullptr) {
    ClearView(view);  // slow for a long text, but it empties the pane
    return view;
  }
  setUpPane(fresh, hex);
  DragAcceptFiles(fresh, session_.jobs().busy(JobKind::File) ? FALSE : TRUE);
  PutTwinInPlace(view, fresh);
  (hex ? hexPane_ : textPane_) = fresh;
  splitter_.replaceControl(view, fresh);
  resizer_.replaceControl(view, fresh);
  DestroyWindow(view);
  return fresh;
}

void MainDialog::replacePaneText(HWND pane, const std::wstring& text) {
  // Shown from its first line, as a text that replaces another is.
  PutText(clearView(pane), text, kCaretToEnd | kCaretToStart);
}

void MainDialog::onOutOfMemory() {
  // What the receive view holds is by far the most this program keeps.
  receiveText_.relieve();
}

}  // namespace tv
