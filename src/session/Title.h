// The window title's parts: the window's word, the delay mode's tag, the
// last job's progress and the activity character.
#pragma once

#include <string>

#include "base/Threading.h"
#include "send/TimedSend.h"

namespace tv {

// Written by the window's thread and by jobs (the progress), read by
// whoever composes the title: every access takes the lock inside.
class TitleParts {
 public:
  void setBase(const std::wstring& base);
  void setSpinner(wchar_t spinner);
  // Never cleared: the last job's progress stays until the next job's.
  void setProgress(const std::wstring& progress);
  std::wstring compose(DelayMode mode);

 private:
  Mutex lock_;
  std::wstring base_ = L"Tarn#Vik";
  std::wstring progressText_;
  wchar_t spinnerChar_ = L' ';
};

}  // namespace tv
