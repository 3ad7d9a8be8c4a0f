#include "base/WorkerThread.h"

#include <new>
#include <utility>

#include "base/Threading.h"

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#else
#include <system_error>
#include <thread>
#endif

namespace tv {

// What a thread and its owner share. The thread holds it as well, so an
// owner that is gone first (a run let go of) leaves it whole.
struct WorkerRun {
  std::function<void()> body;
  Event ended;
};

namespace {

void Execute(std::shared_ptr<WorkerRun> run) {
  run->body();
  // What the body holds goes before its end is told: a waiter may then
  // destroy what it pointed to.
  run->body = nullptr;
  run->ended.set();
}

#ifdef _WIN32
unsigned __stdcall Entry(void* param) {
  auto* held = static_cast<std::shared_ptr<WorkerRun>*>(param);
  std::shared_ptr<WorkerRun> run = std::move(*held);
  delete held;
  Execute(std::move(run));
  return 0;
}
#endif

}  // namespace

WorkerThread::WorkerThread() = default;
WorkerThread::~WorkerThread() = default;

bool WorkerThread::start(std::function<void()> body) {
  auto run = std::make_shared<WorkerRun>();
  // A thread whose end could not be told could never be waited for.
  if (!run->ended.ok()) return false;
  run->body = std::move(body);
#ifdef _WIN32
  auto* held = new std::shared_ptr<WorkerRun>(run);
  uintptr_t h = _beginthreadex(nullptr, 0, Entry, held, 0, nullptr);
  if (h == 0) {
    delete held;
    return false;
  }
  // Its end is told by the run's event; the handle is not needed.
  CloseHandle(reinterpret_cast<HANDLE>(h));
#else
  try {
    std::thread(Execute, run).detach();
  } catch (const std::system_error&) {
    return false;
  }
#endif
  run_ = std::move(run);
  return true;
}

bool WorkerThread::wait(uint32_t ms) const { return !run_ || run_->ended.wait(ms); }

}  // namespace tv
