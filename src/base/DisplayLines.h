// A rich edit's display lines (it wraps at its width), copied for a worker.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/UiCalls.h"
#include "base/Threading.h"

namespace tv {

// A worker thread: the display lines of the pane, asked of the window's
// thread in a few large batches, each at most a few tens of milliseconds
// of its time, so a long pane neither freezes the window nor keeps a
// cancel waiting. Empty once busy is cleared.
std::vector<std::wstring> CopyDisplayLines(const UiCalls& ui, HWND pane, const Flag& busy);

// A worker thread: the pane's paragraphs, its lines as typed however it
// wraps them, without their paragraph marks; one round trip. Empty once
// busy is cleared.
std::vector<std::wstring> CopyParagraphs(const UiCalls& ui, HWND pane, const Flag& busy);

}  // namespace tv
