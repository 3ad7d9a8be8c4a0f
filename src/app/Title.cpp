// The window title, the delay mode commands and the delay box.
#include "app/AppState.h"
#include "app/MainDialog.h"
#include "base/RichEdit.h"
#include "send/TimedSend.h"

namespace tv {

void TitleParts::setBase(const std::wstring& base) {
  MutexLock hold(lock_);
  base_ = base;
}

void TitleParts::setSpinner(wchar_t spinner) {
  MutexLock hold(lock_);
  spinnerChar_ = spinner;
}

void TitleParts::setProgress(const std::wstring& progress) {
  MutexLock hold(lock_);
  progressText_ = progress;
}

std::wstring TitleParts::compose(int32_t delayMode) {
  MutexLock hold(lock_);
  if (const wchar_t* tag = DelayModeTag(delayMode)) delayModeTag_ = tag;
  return ComposeTitle(base_, delayModeTag_, progressText_, spinnerChar_);
}

void MainDialog::rebuildTitle() {
  std::wstring title = App().title.compose(App().delayMode);
  if (hwnd_ != nullptr) SetWindowTextW(hwnd_, title.c_str());
}

void MainDialog::onDelayModeCommand(int id) {
  App().delayMode = id;
  saveSetting(SettingId::DelayType);
  rebuildTitle();
}

void MainDialog::onDelayBoxUpdate() {
  // The box reports every repaint as an update, not only edits, and an
  // edit as a change too: a number that did not change is not written
  // again (and a first start leaves the key empty). Jobs read the number
  // at every pause.
  int32_t typed = ParseDelayText(GetRichText(delayBox_).c_str());
  if (typed == App().delayTimeMs) return;
  App().delayTimeMs = typed;
  saveSetting(SettingId::DelayTime);
}

}  // namespace tv
