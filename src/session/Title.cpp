#include "session/Title.h"

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

std::wstring TitleParts::compose(DelayMode mode) {
  MutexLock hold(lock_);
  return ComposeTitle(base_, DelayModeTag(mode), progressText_, spinnerChar_);
}

}  // namespace tv
