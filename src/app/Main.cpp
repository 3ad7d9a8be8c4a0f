// Process entry: the libraries the window needs, the window, the loop.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/MainDialog.h"
#include "app/WinHandles.h"

namespace {

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
    if (!dialog.preTranslate(msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  dialog.shutdown();
  return exitCode;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
  CoInitialize(nullptr);
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  int result;
  {
    // Registers "RichEdit50W", the class of the five views; without it the
    // dialog cannot be created and the program ends with 0.
    tv::UniqueModule richEdit(LoadLibraryW(L"msftedit.dll"));
    result = Run(showCommand);
  }
  CoUninitialize();
  return result;
}
