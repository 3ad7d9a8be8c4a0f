// The window title, the delay mode commands, the delay box and the pause
// the jobs take between lines and passes.
#include "app/AppState.h"
#include "app/MainDialog.h"
#include "send/TimedSend.h"
#include "serial/RichEditText.h"

namespace tv {

void TitleParts::setBase(const std::wstring& base) {
  LockGuard<CriticalSection> hold(lock_);
  base_ = base;
}

void TitleParts::setSpinner(wchar_t spinner) {
  LockGuard<CriticalSection> hold(lock_);
  spinnerChar_ = spinner;
}

void TitleParts::setProgress(const std::wstring& progress) {
  LockGuard<CriticalSection> hold(lock_);
  progressText_ = progress;
}

std::wstring TitleParts::compose(int32_t delayMode) {
  LockGuard<CriticalSection> hold(lock_);
  if (const wchar_t* tag = DelayModeTag(delayMode)) delayModeTag_ = tag;
  return ComposeTitle(base_, delayModeTag_, progressText_, spinnerChar_);
}

void MainDialog::rebuildTitle() {
  std::wstring title = App().title.compose(App().delayMode);
  if (hwnd_ != nullptr) SetWindowTextW(hwnd_, title.c_str());
}

void MainDialog::setProgress(const std::wstring& text) {
  App().title.setProgress(text);
  // Jobs never wait for a repaint: the UI thread picks up the latest
  // progress whenever it gets to it.
  if (bridge_.onUiThread()) rebuildTitle();
  else bridge_.requestTitle();
}

void MainDialog::onDelayModeCommand(int id) {
  App().delayMode = id;
  saveSetting(SettingId::DelayType);
  rebuildTitle();
}

void MainDialog::onDelayBoxUpdate() { saveSetting(SettingId::DelayTime); }

void MainDialog::pause(const Flag& busy) {
  std::wstring text;
  HWND box = delayBox_;
  bridge_.call([box, &text] { text = GetRichText(box); });
  // A cancel of a text or hex job sets the event; a file job's cancel only
  // clears its flag, so the flag is looked at between the pause's waits.
  HANDLE cancel = cancelEvent_.get();
  WaitOutPause(
      PauseMilliseconds(ParseDelayText(text.c_str())), [] { return timeGetTime(); },
      [cancel](uint32_t ms) { return WaitForSingleObject(cancel, ms) == WAIT_OBJECT_0; },
      [&busy] { return busy != 0; });
}

}  // namespace tv
