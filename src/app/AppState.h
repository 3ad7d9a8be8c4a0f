// The process-wide state record shared by the main thread and the workers.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "app/Threading.h"
#include "app/WinHandles.h"
#include "serial/LineSettings.h"

namespace tv {

// The window title's parts. Written by the UI thread and by jobs (the
// progress), read by whoever rebuilds the title: every access takes the
// lock inside.
class TitleParts {
 public:
  void setBase(const std::wstring& base);
  void setSpinner(wchar_t spinner);
  // Never cleared: the last job's progress stays until the next job's.
  void setProgress(const std::wstring& progress);
  // Takes the tag of the mode (an unknown mode keeps the tag it had) and
  // composes the title.
  std::wstring compose(int32_t delayMode);

 private:
  CriticalSection lock_;
  std::wstring base_ = L"Tarn#Vik";
  std::wstring delayModeTag_;
  std::wstring progressText_;
  wchar_t spinnerChar_ = L' ';
};

struct AppState {
  // Line-setting selections as menu command ids. UI thread only.
  LineSelection line;
  // Delay mode id. Written by the UI thread, read by jobs at every
  // decision point.
  std::atomic<int32_t> delayMode{2100};
  // Last value parsed from the delay box. UI thread only.
  int32_t delayTimeMs = 0;
  // Pane under the last right-click, and whether it had no selection then.
  // UI thread only.
  int32_t menuTargetId = 0;
  bool selectAllFirst = false;
  // The chosen port's bare name. UI thread only.
  std::wstring portName = L"COM100";

  TitleParts title;

  // Port and send job flags. The UI thread sets a job's busy flag and
  // clears its idle flag before the job's thread starts; the job does the
  // reverse at its end; other threads only ever clear a busy flag.
  Flag portOpen{0};          // written by the UI thread only
  Flag portOpenedBySend{0};  // written by the UI thread only
  Flag textSendBusy{0};
  Flag textSendIdle{1};
  Flag hexSendBusy{0};
  Flag hexSendIdle{1};
  Flag selectionSendBusy{0};
  Flag selectionSendIdle{1};
  Flag fileSendBusy{0};
  Flag fileSendIdle{1};
  Flag numberReceive{0};      // written by the UI thread, read per chunk by the receive thread
  Flag topMost{1};            // UI thread only

  bool allSendsIdle() const {
    return textSendIdle && hexSendIdle && selectionSendIdle && fileSendIdle;
  }
};

AppState& App();

}  // namespace tv
