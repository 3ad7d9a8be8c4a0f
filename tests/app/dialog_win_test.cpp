// The real dialog created in this process, for what another process cannot
// see of it.
#include <windows.h>
#include <commctrl.h>
#include <imm.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "app/AppState.h"
#include "app/MainDialog.h"
#include "resources/resource.h"

namespace tv {
namespace {

class Dialog : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    richEdit = LoadLibraryW(L"msftedit.dll");
  }
  void TearDown() override {
    DestroyWindow(dialog.hwnd());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TarnVik");
    FreeLibrary(richEdit);
  }

  HMODULE richEdit = nullptr;
  MainDialog dialog;
};

TEST_F(Dialog, HexPaneAndDelayBoxTakeNoInputMethodCompositions) {
  ASSERT_NE(dialog.create(GetModuleHandleW(nullptr)), nullptr);

  HIMC text = ImmGetContext(dialog.textPane());
  EXPECT_NE(text, nullptr) << "the text pane keeps the input method";
  ImmReleaseContext(dialog.textPane(), text);
  EXPECT_EQ(ImmGetContext(dialog.hexPane()), nullptr);
  EXPECT_EQ(ImmGetContext(dialog.delayBox()), nullptr);
}

// A cancelled job is no longer busy but may still wait for its last write
// (up to the 5 s time-out on a stalled handshake): the other start button
// stays off until the job has ended.
TEST_F(Dialog, TheStartButtonsWaitForACancelledJobToEnd) {
  ASSERT_NE(dialog.create(GetModuleHandleW(nullptr)), nullptr);
  AppState& app = App();
  HWND textSend = GetDlgItem(dialog.hwnd(), IDC_TEXT_SEND);
  HWND hexSend = GetDlgItem(dialog.hwnd(), IDC_HEX_SEND);
  for (Flag* idle : {&app.hexSendIdle, &app.fileSendIdle, &app.selectionSendIdle}) {
    *idle = 0;
    dialog.refreshStatus();
    EXPECT_FALSE(IsWindowEnabled(textSend));
    *idle = 1;
    dialog.refreshStatus();
    EXPECT_TRUE(IsWindowEnabled(textSend));
  }
  app.textSendIdle = 0;
  dialog.refreshStatus();
  EXPECT_FALSE(IsWindowEnabled(hexSend));
  app.textSendIdle = 1;
  dialog.refreshStatus();
  EXPECT_TRUE(IsWindowEnabled(hexSend));
}

}  // namespace
}  // namespace tv
