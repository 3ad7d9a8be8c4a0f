// The 31 quick text slots.
#pragma once

#include <windows.h>

#include <functional>

namespace tv {

class SettingsStore;

// A slot chosen from the menu of target: stores the selection (or, with
// Shift or the middle button, a label) when there is one; otherwise puts
// the slot's text into a send pane (cleared first with Ctrl or the middle
// button).
// clear empties the pane and gives the control then in its place.
void RunSlotCommand(SettingsStore& store, int slot, HWND target, bool targetIsSendPane,
                    const std::function<HWND(HWND)>& clear);

}  // namespace tv
