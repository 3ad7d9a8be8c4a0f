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
    return dialog.jobs().start(kind, 16, [writeDone](const SendContext&) { WaitForSingleObject(writeDone, 5000); });
  };
  for (auto [held, button] : {std::pair{JobKind::Hex, textSend}, std::pair{JobKind::File, textSend},
                              std::pair{JobKind::Selection, textSend}, std::pair{JobKind::Text, hexSend}}) {
    ASSERT_TRUE(heldJob(held));
    dialog.jobs().cancel(held);
    dialog.refreshStatus();
    EXPECT_FALSE(IsWindowEnabled(button)) << static_cast<int>(held);
    SetEvent(writeDone);
    dialog.jobs().wait(5000);
    dialog.refreshStatus();
    EXPECT_TRUE(IsWindowEnabled(button)) << static_cast<int>(held);
  }
  CloseHandle(writeDone);
}


// The receive view is replaced (by a clear, or at its bound as text
// arrives) while the window is inactive. On activation the focus must go
// back where it was, also into the control now in the view's place, not to
// the first tab stop: a send button, which the next Space or Enter presses.
TEST_F(Dialog, TheFocusComesBackAfterTheReceiveViewWasReplacedWhileInactive) {
  HWND window = dialog.create(GetModuleHandleW(nullptr));
  ASSERT_NE(window, nullptr);
  ShowWindow(window, SW_SHOW);
  HWND other = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                               nullptr, nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  HWND clearButton = GetDlgItem(window, IDC_CLEAR_RECEIVE);
  for (int focusedId : {IDC_TEXT_PANE, IDC_RECEIVE_VIEW}) {
    SCOPED_TRACE(focusedId);
    SetActiveWindow(window);
    SetFocus(GetDlgItem(window, focusedId));
    ASSERT_EQ(GetFocus(), GetDlgItem(window, focusedId));
    SetActiveWindow(other);
    ASSERT_EQ(GetActiveWindow(), other);
    HWND before = dialog.receiveView();
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_CLEAR_RECEIVE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(clearButton));
    ASSERT_NE(dialog.receiveView(), before);
    SetActiveWindow(window);
    ASSERT_EQ(GetActiveWindow(), window);
    EXPECT_EQ(GetFocus(), GetDlgItem(window, focusedId));
    EXPECT_NE(GetFocus(), GetDlgItem(window, IDC_HEX_SEND));
  }
  // Windows restores a minimized window by giving the dialog itself the
  // focus, after an activation made while it was still minimized (which
  // leaves the focus alone); the dialog manager then answers from the
  // handle it kept. Wine activates the window again as it restores it, so
  // the dialog is given the focus here directly.
  SetActiveWindow(window);
  SetFocus(dialog.receiveView());
  SetActiveWindow(other);
  HWND before = dialog.receiveView();
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_CLEAR_RECEIVE, BN_CLICKED), reinterpret_cast<LPARAM>(clearButton));
  ASSERT_NE(dialog.receiveView(), before);
  SetActiveWindow(window);
  SetFocus(window);
  EXPECT_EQ(GetFocus(), dialog.receiveView());
  DestroyWindow(other);
}

}  // namespace
}  // namespace tv
