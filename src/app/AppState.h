// The process-wide state record shared by the main thread and the workers.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "base/Threading.h"
#include "send/TimedSend.h"
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
  Mutex lock_;
  std::wstring base_ = L"Tarn#Vik";
  std::wstring delayModeTag_;
  std::wstring progressText_;
  wchar_t spinnerChar_ = L' ';
};

// The send jobs' own flags live in the job runner.
struct AppState {
  // Line-setting selections as menu command ids. UI thread only.
  LineSelection line;
  // Delay mode id. Written by the UI thread, read by jobs at every
  // decision point.
  std::atomic<int32_t> delayMode{kDelayOff};
  // The delay box's number, taken over at every change of the box.
  // Written by the UI thread, read by jobs at every pause.
  std::atomic<int32_t> delayTimeMs{0};
  // Pane under the last right-click, and whether it had no selection then.
  // UI thread only.
  int32_t menuTargetId = 0;
  bool selectAllFirst = false;
  // The chosen port's bare name. UI thread only.
  std::wstring portName = L"COM100";

  TitleParts title;

  // UI thread only.
  bool portOpen = false;
  bool portOpenedBySend = false;
  bool topMost = true;
  // Written by the UI thread, read per chunk by the receive thread.
  Flag numberReceive{0};
};

}  // namespace tv
