// The window title, the delay mode commands, the delay box and the pause
// the jobs take between lines and passes.
#include "app/AppState.h"
#include "app/MainDialog.h"
#include "send/TimedSend.h"
#include "serial/RichEditText.h"

namespace tv {

void MainDialog::rebuildTitle() {
  AppState& app = App();
  std::wstring title;
  {
    std::lock_guard<std::mutex> lock(app.titleLock);
    if (const wchar_t* tag = DelayModeTag(app.delayMode)) app.title.delayModeTag = tag;
    title = ComposeTitle(app.title.base, app.title.delayModeTag, app.title.progressText, app.title.spinnerChar);
  }
  if (hwnd_ != nullptr) SetWindowTextW(hwnd_, title.c_str());
}

void MainDialog::setProgress(const std::wstring& text) {
  {
    std::lock_guard<std::mutex> lock(App().titleLock);
    App().title.progressText = text;
  }
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

void MainDialog::pause() {
  std::wstring text;
  HWND box = delayBox_;
  bridge_.call([box, &text] { text = GetRichText(box); });
  WaitForSingleObject(cancelEvent_.get(), PauseMilliseconds(ParseDelayText(text.c_str())));
}

}  // namespace tv
