// The hex pane's display lines, copied for the hex job.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/UiBridge.h"
#include "base/Threading.h"

namespace tv {

// Job thread: the display lines of the pane (it wraps at its width), asked
// of the UI thread in batches so a cancel during a long copy is seen soon.
// Empty once busy is cleared.
std::vector<std::wstring> CopyDisplayLines(const UiBridge& bridge, HWND pane, const Flag& busy);

}  // namespace tv
