// Send jobs started and cancelled as the UI thread does.
#include <windows.h>

#include <gtest/gtest.h>

#include <new>
#include <string>

#include "../support/FakeClock.h"
#include "../support/FakePort.h"
#include "app/JobRunner.h"
#include "send/TimedSend.h"

namespace tv {
namespace {

// A cancel that comes before the job's thread has taken its first step is
// kept: the thread never marks the job busy again, which in the repeating
// modes ran it until the next cancel.
TEST(JobRunner, ACancelBeforeTheThreadRunsIsKept) {
  AppState app;
  app.delayMode = kDelayLoopAll;
  UiBridge bridge;
  FakePort port;
  JobRunner runner(app, bridge, port);
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(runner.startText(L"AT\r\n", 16));
    runner.cancel(JobKind::Text);
    runner.wait(3000);
    ASSERT_TRUE(runner.idle(JobKind::Text)) << "round " << round << ": the job ran on after its cancel";
    EXPECT_FALSE(runner.busy(JobKind::Text));
  }
}

// The window side of the bridge, as the dialog handles it.
UiBridge* g_bridge = nullptr;
bool g_lowMemory = false;
LRESULT CALLBACK BridgeWindowProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == UiBridge::kCallMessage && g_bridge != nullptr) {
    g_bridge->runCall(wp, lp);
    return 0;
  }
  if (msg == UiBridge::kLowMemoryMessage) g_lowMemory = true;
  return DefWindowProcW(window, msg, wp, lp);
}

struct ShownText final : TextView {
  void append(const std::wstring& text) override { shown += text; }
  void replaceAll(const std::wstring& text) override { shown = text; }
  void clear() override { shown.clear(); }
  std::wstring shown;
};

std::wstring NoText(const char*, std::size_t) { return std::wstring(); }
bool NoLead(uint8_t) { return false; }

// A job that runs out of memory (a copy of a long pane, a file's buffer)
// ends as a cancelled one does, and says why, instead of ending the
// program with it.
TEST(JobRunner, AJobOutOfMemoryEndsAndSaysSo) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = BridgeWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"JobRunnerTestBridge";
  RegisterClassW(&wc);
  HWND window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  AppState app;
  UiBridge bridge;
  bridge.attach(window);
  g_bridge = &bridge;
  g_lowMemory = false;
  FakePort port;
  FakeClock clock;
  ShownText view;
  ReceivePipeline pipeline(NoLead, NoText, [] { return true; });
  ReceiveFeed feed(pipeline, view, clock);
  JobRunner runner(app, bridge, port);
  runner.attach(nullptr, feed);
  ASSERT_TRUE(runner.start(JobKind::File, 16, [](const SendContext&) { throw std::bad_alloc(); }));
  const DWORD start = GetTickCount();
  while ((!runner.idle(JobKind::File) || view.shown.empty()) && GetTickCount() - start < 5000) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(1);
  }
  runner.wait(3000);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  EXPECT_TRUE(runner.idle(JobKind::File));
  EXPECT_FALSE(runner.busy(JobKind::File));
  EXPECT_EQ(view.shown, JobRunner::kOutOfMemoryText);
  EXPECT_TRUE(g_lowMemory) << "the window was not asked to make room";
  bridge.detach();
  g_bridge = nullptr;
  DestroyWindow(window);
}

// A job inside a call that a cancel cannot end (a file read on a stalled
// network share, a write a driver keeps) is not waited for without end at
// exit, and the exit learns that it is still running: it then ends the
// process before destroying what the job uses.
TEST(JobRunner, AWaitAtExitSaysWhetherAJobIsStillRunning) {
  AppState app;
  UiBridge bridge;
  FakePort port;
  JobRunner runner(app, bridge, port);
  HANDLE stalled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(runner.start(JobKind::File, 16, [stalled](const SendContext&) { WaitForSingleObject(stalled, 10000); }));
  runner.cancelAll();
  EXPECT_EQ(port.interrupts, kJobKindCount) << "a write in flight is interrupted";
  EXPECT_FALSE(runner.wait(100));
  SetEvent(stalled);
  EXPECT_TRUE(runner.wait(5000));
  CloseHandle(stalled);
}

}  // namespace
}  // namespace tv
