#include "base/WorkerThread.h"

#include <process.h>

namespace tv {
namespace {

unsigned __stdcall Entry(void* param) {
  auto* body = static_cast<std::function<void()>*>(param);
  (*body)();
  delete body;
  return 0;
}

}  // namespace

bool WorkerThread::start(std::function<void()> body) {
  auto* owned = new std::function<void()>(std::move(body));
  unsigned id = 0;
  uintptr_t h = _beginthreadex(nullptr, 0, Entry, owned, 0, &id);
  if (h == 0) {
    delete owned;
    return false;
  }
  handle_.reset(reinterpret_cast<HANDLE>(h));
  return true;
}

bool WorkerThread::wait(DWORD ms) const {
  if (!handle_) return true;
  return WaitForSingleObject(handle_.get(), ms) == WAIT_OBJECT_0;
}

}  // namespace tv
