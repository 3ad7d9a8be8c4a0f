// Each setting stored the moment it changes, all of them read back at
// start, and the confirmed clear of the whole key. UI thread only.
#pragma once

#include <windows.h>

#include "app/AppState.h"
#include "send/LoadedFile.h"

namespace tv {

enum class SettingId : int {
  PortName = 0,
  TopMost = 1,
  DelayType = 2,
  DelayTime = 3,
  BaudRate = 4,
  Parity = 5,
  DataBits = 6,
  StopBits = 7,
  FlowControl = 8,
  LoadedFile = 9,
};

// Writes the setting's current value (the delay time as last parsed).
void SaveSetting(SettingId id, const AppState& app, const LoadedFile& file);

// Reads back what was stored; what is absent or unusable stays as it is.
void RestoreSettings(AppState& app, LoadedFile& file);

// Asks first; removes the whole settings key when the user agrees.
void ClearSettings(HWND owner);

}  // namespace tv
