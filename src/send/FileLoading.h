// Loading a file for sending, by the open-file dialog or a drop (shortcuts
// followed), and the report of what was loaded. UI thread only.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "send/LoadedFile.h"

namespace tv {

// Loads the first dropped file when allowed; releases the drop either way.
// True when file now names it.
bool LoadDroppedFile(HDROP drop, bool allowed, LoadedFile& file);

// The open-file dialog, starting from the loaded file; file changes only
// when the user confirms one. True when it did.
bool ChooseFile(HWND owner, LoadedFile& file);

// Its name, the encoding of a text file and its size, for the receive view.
std::wstring LoadedFileReport(const LoadedFile& file);

}  // namespace tv
