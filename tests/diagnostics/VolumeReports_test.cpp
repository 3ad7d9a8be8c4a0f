#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../support/WaitFor.h"
#include "base/OrderedWork.h"
#include "diagnostics/DeviceText.h"

namespace tv {
namespace {

// A drive whose space query does not return until the test lets it go, as
// a slow or failing stick's can take seconds.
class SlowDrive final : public VolumeQueries {
 public:
  VolumeSpace space(wchar_t letter) override {
    std::unique_lock<std::mutex> hold(m_);
    if (letter == L'E') {
      inside_ = true;
      changed_.wait(hold, [this] { return open_; });
    }
    return VolumeSpace{1024, 512};
  }
  std::wstring label(wchar_t letter) override { return letter == L'E' ? L"STICK" : L""; }
  bool inside() {
    std::lock_guard<std::mutex> hold(m_);
    return inside_;
  }
  void open() {
    std::lock_guard<std::mutex> hold(m_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex m_;
  std::condition_variable changed_;
  bool inside_ = false;  // under m_
  bool open_ = false;    // under m_
};

// The broadcast of a plugged volume is answered at once and the window
// goes on answering while the stick is slow to say its size; its lines,
// and those of the events after it, follow in the order the events came,
// so a pull names the label of the volume plugged last before it.
TEST(VolumeReports, LinesAreMadeAwayFromTheUiThreadInTheOrderOfTheEvents) {
  SlowDrive drive;
  VolumeReports volumes(drive);
  OrderedWork work;
  std::mutex m;
  std::vector<std::wstring> shown;  // under m
  std::vector<std::thread> workers;
  auto report = [&](std::function<std::wstring()> make) {
    bool start = work.add([&, make] {
      std::wstring text = make();
      std::lock_guard<std::mutex> hold(m);
      shown.push_back(text);
    });
    if (start) workers.emplace_back([&] { work.runAll(); });
  };
  auto count = [&] {
    std::lock_guard<std::mutex> hold(m);
    return shown.size();
  };

  EXPECT_EQ(volumes.removed(L'D'), L">>>移除U盘D:[可移动闪存盘]<<< \n") << "nothing plugged yet";
  report([&] { return volumes.arrived(L'E'); });
  report([&] { return volumes.removed(L'E'); });
  report([&] { return volumes.arrived(L'F'); });
  report([&] { return volumes.removed(L'E'); });
  ASSERT_TRUE(WaitFor([&] { return drive.inside(); }));
  EXPECT_EQ(count(), 0u);
  EXPECT_EQ(workers.size(), 1u) << "one worker, the events in order";
  drive.open();
  EXPECT_TRUE(WaitFor([&] { return count() == 4; }));
  for (std::thread& t : workers) t.join();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0], L">>>发现U盘 E:[STICK]<<<\n拢共: 1kB\n用掉: 512B\n剩余: 512B\n");
  EXPECT_EQ(shown[1], L">>>移除U盘E:[STICK]<<< \n");
  EXPECT_EQ(shown[2], L">>>发现U盘 F:[]<<<\n拢共: 1kB\n用掉: 512B\n剩余: 512B\n");
  EXPECT_EQ(shown[3], L">>>移除U盘E:[]<<< \n");

  // Once the queue is empty the next report starts a worker again.
  report([&] { return volumes.removed(L'F'); });
  EXPECT_EQ(workers.size(), 2u);
  workers.back().join();
  EXPECT_EQ(shown.back(), L">>>移除U盘F:[]<<< \n");
}

}  // namespace
}  // namespace tv
