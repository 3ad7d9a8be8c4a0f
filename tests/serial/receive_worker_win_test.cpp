// The reader thread's starts and stops as the UI thread makes them.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "base/CodePage.h"
#include "serial/ReceiveWorker.h"

namespace tv {
namespace {

// A port whose reads can be held, as a driver holds a cancelled read.
class HeldPort final : public Port {
 public:
  HeldPort() : release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~HeldPort() { CloseHandle(release_); }
  bool isOpen() const override { return true; }
  IoResult read(uint8_t*, std::size_t) override {
    int now = ++inside;
    maxInside = std::max(maxInside.load(), now);
    ++reads;
    if (holdNext.exchange(false)) WaitForSingleObject(release_, 1500);
    --inside;
    return IoResult{};
  }
  IoResult write(const uint8_t*, std::size_t count, const Flag&) override { return IoResult{count, IoStatus::Done}; }
  void interruptWrite() override {}
  void release() { SetEvent(release_); }

  std::atomic<int> inside{0};
  std::atomic<int> maxInside{0};
  std::atomic<int> reads{0};
  std::atomic<bool> holdNext{false};

 private:
  HANDLE release_;
};

template <typename Pred>
bool Within(DWORD ms, Pred done) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > ms) return false;
    Sleep(1);
  }
  return true;
}

// A reopen while the stopped reader is still in a long last pass: the UI
// thread does not wait for it (the window would stop answering, and a
// message handled in such a wait could reopen the port inside it), the new
// reader starts once the old one has ended, and two never read at once.
TEST(ReceiveWorker, AStartDuringTheLastReadersLongPassNeitherWaitsNorOverlaps) {
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  // The reader's end reaches this thread as a posted message, as it
  // reaches the window.
  constexpr UINT kEnded = WM_APP + 5;
  HeldPort port;
  Flag hex{0};
  {
    ReceiveWorker worker(
        port, SystemClock(), IsAnsiLeadByte, AnsiToWide, [] { return true; },
        [window] { PostMessageW(window, kEnded, 0, 0); });
    port.holdNext = true;
    worker.start(hex);
    ASSERT_TRUE(Within(5000, [&] { return port.inside == 1; }));

    // Two reopens in a row, as a device change handled meanwhile makes.
    DWORD before = GetTickCount();
    worker.stop();
    worker.start(hex);
    worker.stop();
    worker.start(hex);
    EXPECT_LT(GetTickCount() - before, 500u) << "the UI thread waited for the reader";
    int readsThen = port.reads;

    port.release();
    bool ended = Within(5000, [&] {
      MSG msg;
      while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE))
        if (msg.message == kEnded) worker.onReaderEnded();
      return port.reads > readsThen + 3;
    });
    EXPECT_TRUE(ended) << "no reader after the old one ended";
    EXPECT_EQ(port.maxInside, 1) << "two readers at once";
    worker.stop();
    EXPECT_TRUE(worker.wait(5000));
  }
  DestroyWindow(window);
}

}  // namespace
}  // namespace tv
