// Telling every program that a port came or went, as Windows does when an
// adapter is plugged in or pulled.
#pragma once

#include <string>

namespace tv {

// WM_DEVICECHANGE to every top-level window: DBT_DEVICEARRIVAL or
// DBT_DEVICEREMOVECOMPLETE with the port's record, then
// DBT_DEVNODES_CHANGED. Each window gets a bounded wait, so a hung program
// cannot hold up the others or the next event.
void BroadcastPortChange(bool arrived, const std::wstring& port);

}  // namespace tv
