// The hex pane's display lines, copied for the hex job.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/UiBridge.h"
#include "base/Threading.h"

namespace tv {

// Job thread: the display lines of the pane (it wraps at its width), asked
// of the UI thread in a few large batches, each at most a few tens of
// milliseconds of the window's time, so a long pane neither freezes the
// window nor keeps a cancel waiting. Empty once busy is cleared.
std::vector<std::wstring> CopyDisplayLines(UiBridge& bridge, HWND pane, const Flag& busy);

}  // namespace tv
