// The real dialog created in this process, for what another process cannot
// see of it.
#include <windows.h>
#include <commctrl.h>
#include <imm.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "app/MainDialog.h"
#include "resources/resource.h"

namespace tv {
namespace {

TEST(Dialog, HexPaneAndDelayBoxTakeNoInputMethodCompositions) {
  CoInitialize(nullptr);
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  HMODULE richEdit = LoadLibraryW(L"msftedit.dll");
  MainDialog dialog;
  ASSERT_NE(dialog.create(GetModuleHandleW(nullptr)), nullptr);

  HIMC text = ImmGetContext(dialog.textPane());
  EXPECT_NE(text, nullptr) << "the text pane keeps the input method";
  ImmReleaseContext(dialog.textPane(), text);
  EXPECT_EQ(ImmGetContext(dialog.hexPane()), nullptr);
  EXPECT_EQ(ImmGetContext(dialog.delayBox()), nullptr);

  DestroyWindow(dialog.hwnd());
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TarnVik");
  FreeLibrary(richEdit);
}

}  // namespace
}  // namespace tv
