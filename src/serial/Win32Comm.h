// The channel's system calls as Windows makes them.
#pragma once

#include <windows.h>

#include "base/WinHandles.h"
#include "serial/CommApi.h"

namespace tv {

class Win32Comm final : public CommApi {
 public:
  Win32Comm() = default;
  Win32Comm(const Win32Comm&) = delete;
  Win32Comm& operator=(const Win32Comm&) = delete;

  Handle open(const std::wstring& path, uint32_t& error) override;
  void close(Handle port) override;
  bool setupQueues(Handle port, uint32_t inBytes, uint32_t outBytes) override;
  bool setTimeouts(Handle port, uint32_t writeMs, uint32_t writeMsPerByte) override;
  bool getState(Handle port, DcbFields& fields) override;
  bool setState(Handle port, const DcbFields& fields) override;
  uint32_t inQueueBytes(Handle port) override;
  CommResult queued(Handle port) override;
  CommIo* newIo(uint32_t capacity) override;
  void freeIo(CommIo* io) override;
  CommResult startRead(Handle port, CommIo* io, uint32_t n) override;
  CommResult startWrite(Handle port, CommIo* io, uint32_t n) override;
  CommWait waitIo(CommIo* io, uint32_t ms, bool abortable) override;
  void raiseWake(CommIo* io, bool raised) override;
  void cancel(Handle port) override;
  void purgeOutput(Handle port) override;
  CommResult result(Handle port, CommIo* io) override;
  CommResult lineFunction(Handle port, LineFunction function) override;
  void fineTicks(bool on) override;

 private:
  FineTimerTicks ticks_;  // UI thread, under the channel's locks
};

}  // namespace tv
