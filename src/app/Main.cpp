// Process entry: the libraries the window needs, the window, the loop.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <new>
#include <string>

#include "app/MainDialog.h"
#include "base/TimerResolution.h"
#include "base/WinHandles.h"

namespace {

// UIPI keeps messages of a less privileged process (Explorer) from an
// elevated window, and a drop is WM_DROPFILES with its data carried by
// WM_COPYGLOBALDATA. The filter exists since Vista: looked up, so the
// program still starts on XP.
void AllowDropsFromExplorer() {
  using Filter = BOOL(WINAPI*)(UINT, DWORD);
  constexpr UINT kCopyGlobalData = 0x0049;
  constexpr DWORD kAdd = 1;  // MSGFLT_ADD
  auto filter = reinterpret_cast<Filter>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "ChangeWindowMessageFilter")));
  if (filter == nullptr) return;
  filter(WM_DROPFILES, kAdd);
  filter(kCopyGlobalData, kAdd);
}

// From the system directory: by its bare name a copy beside the program
// (or in the current directory) would be loaded first, and run.
HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  UINT length = GetSystemDirectoryW(dir, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::wstring path(dir, length);
  path += L'\\';
  path += name;
  // Its own dependencies are then looked for in the system directory too.
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

int Run(int showCommand) {
  tv::MainDialog dialog;
  HWND window = dialog.create(GetModuleHandleW(nullptr));
  if (window == nullptr) return 0;
  ShowWindow(window, showCommand);

  int exitCode = 0;
  MSG msg;
  for (;;) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) continue;
    if (got == 0) {
      exitCode = static_cast<int>(msg.wParam);
      break;
    }
    bool consumed = false;
    try {
      consumed = dialog.preTranslate(msg);
    } catch (const std::bad_alloc&) {
      dialog.onOutOfMemory();
      consumed = true;
    }
    if (!consumed) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  // A worker the waits gave up on may still use the dialog and the static
  // objects: end here, before anything is destroyed. The system stops the
  // other threads first.
  if (!dialog.shutdown()) ExitProcess(static_cast<UINT>(exitCode));
  return exitCode;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
  // An empty card-reader slot, floppy or optical drive asked for its label
  // or free space must fail quietly, not raise a "no disk" box per drive.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // The pauses and the receive poll keep their milliseconds while the
  // window is minimised.
  tv::KeepFineTicksWhenHidden(tv::FindSetProcessInformation());
  AllowDropsFromExplorer();
  // The open-file dialog and the shortcuts of dropped files need it.
  tv::ComApartment com;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  // Registers "RichEdit50W", the class of the five views; without it the
  // dialog cannot be created and the program ends with 0.
  tv::UniqueModule richEdit(LoadSystemLibrary(L"msftedit.dll"));
  return Run(showCommand);
}
