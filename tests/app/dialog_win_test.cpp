// The real dialog created in this process, for what another process cannot
// see of it.
#include <windows.h>
#include <commctrl.h>
#include <imm.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <utility>

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
  HWND textSend = GetDlgItem(dialog.hwnd(), IDC_TEXT_SEND);
  HWND hexSend = GetDlgItem(dialog.hwnd(), IDC_HEX_SEND);
  HANDLE writeDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(writeDone, nullptr);
  // A job held in its last write after its cancel.
  auto heldJob = [&](JobKind kind) {
    ResetEvent(writeDone);
    return dialog.session().jobs().start(kind, 16, [writeDone](const SendContext&) { WaitForSingleObject(writeDone, 5000); });
  };
  for (auto [held, button] : {std::pair{JobKind::Hex, textSend}, std::pair{JobKind::File, textSend},
                              std::pair{JobKind::Selection, textSend}, std::pair{JobKind::Text, hexSend}}) {
    ASSERT_TRUE(heldJob(held));
    dialog.session().jobs().cancel(held);
    dialog.render();
    EXPECT_FALSE(IsWindowEnabled(button)) << static_cast<int>(held);
    SetEvent(writeDone);
    dialog.session().jobs().wait(5000);
    dialog.render();
    EXPECT_TRUE(IsWindowEnabled(button)) << static_cast<int>(held);
  }
  CloseHandle(writeDone);
}

}  // namespace
}  // namespace tv
