// The real dialog created in this process, for what another process cannot
// see of it.
#include <windows.h>
#include <commctrl.h>
#include <imm.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "../support/FakeComm.h"
#include "app/MainDialog.h"
#include "base/Format.h"
#include "base/RichEdit.h"
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

template <typename Done>
bool PumpUntil(Done done, DWORD ms = 20000) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > ms) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(1);
  }
  return true;
}

std::wstring ClipboardText() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (auto* units = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = units;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

void CALLBACK EndTheMenu(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  EndMenu();
}

// A copy of the receive view takes in what was received first; taking it
// in can put a new control in the view's place (the view reached its
// bound). The copy acts on the control that is there when it runs, not on
// the one that was there before, which is gone.
TEST(DialogOnAFakePort, ACopyOfTheReceiveViewActsOnTheViewThatExistsWhenItRuns) {
  CoInitialize(nullptr);
  HMODULE richEdit = LoadLibraryW(L"msftedit.dll");
  FakeComm comm;
  {
    MainDialog dialog(comm, [](PortEntries& ports) {
      ports.assign({L"Fake Port (COM7)"}, [](const wchar_t* a, const wchar_t* b) { return std::wcscmp(a, b); });
    });
    ASSERT_NE(dialog.create(GetModuleHandleW(nullptr)), nullptr);
    HWND window = dialog.hwnd();
    SendMessageW(window, WM_COMMAND, ID_PORT_FIRST, 0);
    SendMessageW(window, WM_COMMAND, IDC_PORT_BUTTON, 0);
    ASSERT_TRUE(PumpUntil([&] { return dialog.session().portOpen(); }));

    // Numbered lines up to past three quarters of the bound, shown: the
    // view's copy is being made.
    auto lines = [](int from, int count) {
      std::string out;
      for (int n = from; n < from + count; ++n) {
        char line[16];
        std::snprintf(line, sizeof line, "L%06d\n", n);
        out += line;
      }
      return std::vector<uint8_t>(out.begin(), out.end());
    };
    const int shown = 26000;  // 8 characters a line
    comm.deliver(lines(0, shown));
    ASSERT_TRUE(PumpUntil([&] { return TextLength(dialog.receiveView()) >= 8u * shown; }));

    // The rest, read but not yet shown, takes the view past its bound.
    const int waiting = 12000;
    comm.deliver(lines(shown, waiting));
    Sleep(500);  // read by the reader, waiting for the window
    HWND before = dialog.receiveView();

    // The receive view as the right-click's target, with nothing selected:
    // the menu's copy then copies the whole text.
    RECT r;
    GetWindowRect(before, &r);
    SetTimer(nullptr, 0, 200, EndTheMenu);
    SendMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(before),
                 MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    OpenClipboard(window);
    EmptyClipboard();
    CloseClipboard();
    SendMessageW(window, WM_COMMAND, ID_COPY, 0);

    EXPECT_NE(dialog.receiveView(), before) << "no new control took the view's place: the test proves nothing";
    const std::wstring copied = ClipboardText();
    EXPECT_NE(copied.find(L"L037999"), std::wstring::npos) << "the copy missed what was received before it";
    EXPECT_EQ(copied.find(L"L000000"), std::wstring::npos) << "the oldest text was not let go";
    DestroyWindow(window);
  }
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TarnVik");
  FreeLibrary(richEdit);
}

}  // namespace
}  // namespace tv
