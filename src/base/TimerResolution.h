// Windows 11 does not honour a process's request for fine timer ticks
// while its windows are minimised, hidden or covered: every pause, wait
// and the receive poll then end on 15.6 ms ticks. A process may opt out,
// through a call that older systems (down to XP) do not have.
#pragma once

#include <windows.h>

namespace tv {

// SetProcessInformation's type, with the information class as a number.
using SetProcessInformationCall = BOOL(WINAPI*)(HANDLE process, int infoClass, void* info, DWORD size);

// The system's call, looked up at run time; null where it has none.
SetProcessInformationCall FindSetProcessInformation();

// Asks, through set, that this process's timer resolution be honoured
// whatever its windows look like. False when set is null or the system
// refused.
bool KeepFineTicksWhenHidden(SetProcessInformationCall set);

}  // namespace tv
