// What the window keeps of the user's choices, each stored the moment it
// changes, all of them read back at start, and the confirmed clear of the
// whole key. The window's thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "app/LineItems.h"
#include "send/LoadedFile.h"

namespace tv {

class SettingsStore;

// The options of the "选项" popup and the modem lines. Each new value is
// stored under a name of its own; one of the wrong type or out of range
// restores that option's default.
struct Options {
  bool logToFile = false;
  bool timestamps = false;
  bool utf8 = false;
  bool echoSent = false;
  bool ansiColors = false;
  int32_t frameGapItem = kNoFrameGapItem;
  int32_t dtrItem = kDtrFollowItem;
  int32_t rtsItem = kRtsFollowItem;
  bool autoReconnect = false;
  int32_t lineEndItem = kAsIsLineEndItem;
  int32_t checksumItem = kNoChecksumItem;
  uint32_t customBaud = 0;  // the rate of item 2069; 0 when none was given
};

// The choices as the menus check them and the settings key stores them:
// selections are command ids, never values.
struct Choices {
  std::wstring portName = L"COM100";
  LineSelection line;
  int32_t delayModeItem = kDelayOffItem;
  int32_t delayTimeMs = 0;  // as last parsed from the delay box
  bool topMost = true;
  LoadedFile file;
  Options options;
};

// The line settings as the port gets them.
LineValues LineValuesOf(const Choices& choices);

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
  // Each value of Options, in its order.
  LogToFile,
  Timestamps,
  Utf8,
  EchoSent,
  AnsiColors,
  FrameGap,
  Dtr,
  Rts,
  AutoReconnect,
  TextLineEnd,
  HexChecksum,
  CustomBaudRate,
};

// Writes the setting's current value.
void SaveSetting(SettingsStore& store, SettingId id, const Choices& choices);

// Reads back what was stored; what is absent or unusable stays as it is.
void RestoreSettings(SettingsStore& store, Choices& choices);

// Asks first; removes the whole settings key when the user agrees.
void ClearSettings(SettingsStore& store, HWND owner);

}  // namespace tv
