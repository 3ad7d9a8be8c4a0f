#include "serial/Win32Comm.h"

#include <process.h>

#include <cstdint>
#include <new>

#include "serial/DcbConvert.h"

namespace tv {
namespace {

// The completion record, its events and its buffer in one allocation, so
// one left to a driver that never completes stays whole.
struct Win32Io final : CommIo {
  OVERLAPPED ov{};
  HANDLE done = nullptr;  // manual reset
  HANDLE wake = nullptr;  // manual reset; cuts abortable waits short
};

Win32Io& Of(CommIo* io) { return *static_cast<Win32Io*>(io); }

// How long a close waits for the driver to let go of the handle.
constexpr DWORD kCloseHandleWaitMs = 500;

unsigned __stdcall CloseOnItsOwn(void* port) {
  CloseHandle(static_cast<HANDLE>(port));
  return 0;
}

// Called after the call it reports on, for its error.
CommResult Outcome(BOOL ok, DWORD bytes) {
  return ok ? CommResult{true, bytes, 0} : CommResult{false, bytes, GetLastError()};
}

// A transfer on io's record, its event reset by the call.
template <typename Call>
CommResult Start(CommIo* io, Call call) {
  Win32Io& w = Of(io);
  w.ov = OVERLAPPED{};
  w.ov.hEvent = w.done;
  DWORD moved = 0;
  BOOL ok = call(w, &moved);
  return Outcome(ok, moved);
}

}  // namespace

CommApi::Handle Win32Comm::open(const std::wstring& path, uint32_t& error) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

void Win32Comm::close(Handle port) {
  if (port == nullptr) return;
  // A driver that keeps calls after an unplug can keep the close as well:
  // it is waited for a while, then left to a thread of its own.
  UniqueHandle closer(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, CloseOnItsOwn, port, 0, nullptr)));
  if (!closer) {
    CloseHandle(port);
    return;
  }
  WaitForSingleObject(closer.get(), kCloseHandleWaitMs);
}

bool Win32Comm::setupQueues(Handle port, uint32_t inBytes, uint32_t outBytes) {
  return SetupComm(port, inBytes, outBytes) != FALSE;
}

bool Win32Comm::setTimeouts(Handle port, uint32_t writeMs, uint32_t writeMsPerByte) {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.WriteTotalTimeoutMultiplier = writeMsPerByte;
  timeouts.WriteTotalTimeoutConstant = writeMs;
  return SetCommTimeouts(port, &timeouts) != FALSE;
}

bool Win32Comm::getState(Handle port, DcbFields& fields) {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  if (!GetCommState(port, &dcb)) return false;
  fields = FieldsOfDcb(dcb);
  return true;
}

bool Win32Comm::setState(Handle port, const DcbFields& fields) {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  if (!GetCommState(port, &dcb)) return false;
  StoreFieldsInDcb(fields, dcb);
  return SetCommState(port, &dcb) != FALSE;
}

uint32_t Win32Comm::inQueueBytes(Handle port) {
  COMMPROP properties{};
  if (!GetCommProperties(port, &properties)) return 0;
  return properties.dwCurrentRxQueue;
}

CommResult Win32Comm::queued(Handle port) {
  DWORD errors = 0;
  COMSTAT status{};
  BOOL ok = ClearCommError(port, &errors, &status);
  return Outcome(ok, ok ? status.cbInQue : 0);
}

CommIo* Win32Comm::newIo(uint32_t capacity) {
  // The buffer follows the record in the same block.
  void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Win32Io) + capacity);
  if (block == nullptr) return nullptr;
  auto* io = new (block) Win32Io;
  io->data = reinterpret_cast<uint8_t*>(io + 1);
  io->capacity = capacity;
  io->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // Without its wake a waiting transfer could not be cut short by a close.
  io->wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (io->done == nullptr || io->wake == nullptr) {
    freeIo(io);
    return nullptr;
  }
  return io;
}

void Win32Comm::freeIo(CommIo* io) {
  Win32Io& w = Of(io);
  if (w.done != nullptr) CloseHandle(w.done);
  if (w.wake != nullptr) CloseHandle(w.wake);
  HeapFree(GetProcessHeap(), 0, io);
}

CommResult Win32Comm::startRead(Handle port, CommIo* io, uint32_t n) {
  return Start(io, [&](Win32Io& w, DWORD* got) { return ReadFile(port, w.data, n, got, &w.ov); });
}

CommResult Win32Comm::startWrite(Handle port, CommIo* io, uint32_t n) {
  return Start(io, [&](Win32Io& w, DWORD* put) { return WriteFile(port, w.data, n, put, &w.ov); });
}

CommWait Win32Comm::waitIo(CommIo* io, uint32_t ms, bool abortable) {
  HANDLE waits[2] = {Of(io).done, Of(io).wake};
  DWORD woke = WaitForMultipleObjects(abortable ? 2 : 1, waits, FALSE, ms);
  if (woke == WAIT_OBJECT_0) return CommWait::Done;
  return woke == WAIT_OBJECT_0 + 1 ? CommWait::Aborted : CommWait::TimedOut;
}

void Win32Comm::raiseWake(CommIo* io, bool raised) {
  if (raised) {
    SetEvent(Of(io).wake);
  } else {
    ResetEvent(Of(io).wake);
  }
}

void Win32Comm::cancel(Handle port) { CancelIo(port); }

void Win32Comm::purgeOutput(Handle port) { PurgeComm(port, PURGE_TXABORT | PURGE_TXCLEAR); }

CommResult Win32Comm::result(Handle port, CommIo* io) {
  Win32Io& w = Of(io);
  DWORD bytes = 0;
  if (GetOverlappedResult(port, &w.ov, &bytes, FALSE)) return CommResult{true, bytes, 0};
  DWORD error = GetLastError();
  // A cancelled or failed transfer still says what it moved.
  return CommResult{false, error == ERROR_IO_INCOMPLETE ? 0 : static_cast<uint32_t>(w.ov.InternalHigh), error};
}

CommResult Win32Comm::lineFunction(Handle port, LineFunction function) {
  BOOL ok = FALSE;
  switch (function) {
    case LineFunction::SetDtr: ok = EscapeCommFunction(port, SETDTR); break;
    case LineFunction::ClearDtr: ok = EscapeCommFunction(port, CLRDTR); break;
    case LineFunction::SetRts: ok = EscapeCommFunction(port, SETRTS); break;
    case LineFunction::ClearRts: ok = EscapeCommFunction(port, CLRRTS); break;
    case LineFunction::SetBreak: ok = SetCommBreak(port); break;
    case LineFunction::ClearBreak: ok = ClearCommBreak(port); break;
  }
  return Outcome(ok, 0);
}

void Win32Comm::fineTicks(bool on) {
  if (on) {
    ticks_.begin();
  } else {
    ticks_.end();
  }
}

}  // namespace tv
