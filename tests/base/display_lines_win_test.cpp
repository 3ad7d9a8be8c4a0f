// A worker's copy of a rich edit's display lines, asked of the window in a
// few large batches.
#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "base/DisplayLines.h"
#include "base/Format.h"

namespace tv {
namespace {

UiCalls* g_bridge = nullptr;
int g_roundTrips = 0;
Flag* g_cancelAfter2 = nullptr;

LRESULT CALLBACK HostProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == UiCalls::kCallMessage && g_bridge != nullptr) {
    g_bridge->runCall(wp, lp);
    if (++g_roundTrips == 2 && g_cancelAfter2 != nullptr) *g_cancelAfter2 = 0;
    return 0;
  }
  return DefWindowProcW(window, msg, wp, lp);
}

class DisplayLinesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    richEdit = LoadLibraryW(L"msftedit.dll");
    WNDCLASSW wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"DisplayLinesHost";
    RegisterClassW(&wc);
    host = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr, nullptr,
                           nullptr);
    pane = CreateWindowExW(0, L"RichEdit50W", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | WS_VSCROLL, 0, 0, 300,
                           200, host, nullptr, nullptr, nullptr);
    SendMessageW(pane, EM_EXLIMITTEXT, 0, 0x7FFFFFFF);
    bridge.attach(host);
    g_bridge = &bridge;
    g_roundTrips = 0;
    g_cancelAfter2 = nullptr;
  }
  void TearDown() override {
    bridge.detach();
    g_bridge = nullptr;
    DestroyWindow(host);
    FreeLibrary(richEdit);
  }

  // The copy on a job's thread, this thread answering its questions.
  std::vector<std::wstring> copy(Flag& busy) {
    std::vector<std::wstring> lines;
    bool done = false;
    std::thread job([&] {
      lines = CopyDisplayLines(bridge, pane, busy);
      done = true;
    });
    while (!done) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      Sleep(1);
    }
    job.join();
    return lines;
  }

  HMODULE richEdit = nullptr;
  HWND host = nullptr;
  HWND pane = nullptr;
  UiCalls bridge;
};

// Hex lines as typed, none wider than the pane: one question, whatever
// their number.
TEST_F(DisplayLinesTest, LinesThatDoNotWrapAreCopiedInOneRoundTrip) {
  std::wstring text;
  for (int n = 0; n < 20000; ++n) text += Format(L"%02X 0A\r", {n % 256});
  text += L"FF";
  SetWindowTextW(pane, text.c_str());
  Flag busy{1};
  std::vector<std::wstring> lines = copy(busy);
  ASSERT_EQ(lines.size(), 20001u);
  EXPECT_EQ(lines[0], L"00 0A");
  EXPECT_EQ(lines[19999], L"1F 0A");
  EXPECT_EQ(lines[20000], L"FF");
  EXPECT_EQ(g_roundTrips, 1);
}

// Paragraphs that wrap are cut where the pane shows each line start, in
// batches; a cancel between batches ends the copy there.
TEST_F(DisplayLinesTest, WrappedLinesComeInBatchesAndACancelEndsTheCopy) {
  std::wstring paragraph;
  for (int k = 0; k < 60; ++k) paragraph += L"5A ";
  std::wstring text;
  for (int n = 0; n < 300; ++n) text += paragraph + L"\r";
  SetWindowTextW(pane, text.c_str());
  const LRESULT shown = SendMessageW(pane, EM_GETLINECOUNT, 0, 0);
  ASSERT_GT(shown, 600) << "the paragraphs do not wrap: the test proves nothing";

  Flag busy{1};
  std::vector<std::wstring> lines = copy(busy);
  ASSERT_EQ(static_cast<LRESULT>(lines.size()), shown);
  std::wstring joined;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    EXPECT_FALSE(lines[k].empty() && k + 1 < lines.size()) << k;
    joined += lines[k];
  }
  std::wstring all;
  for (int n = 0; n < 300; ++n) all += paragraph;
  EXPECT_EQ(joined, all) << "a character was lost or doubled where a line was cut";
  EXPECT_LT(g_roundTrips, shown / 20) << "one round trip per line";

  g_roundTrips = 0;
  Flag cancelled{1};
  g_cancelAfter2 = &cancelled;
  EXPECT_TRUE(copy(cancelled).empty());
  EXPECT_LE(g_roundTrips, 3) << "the copy went on after its cancel";
}

}  // namespace
}  // namespace tv
