// The system calls the serial channel makes on its port. The program
// implements them with the Win32 communications functions; the tests
// script a fake whose calls fail, time out or never complete on demand,
// which no port under Wine can be made to do.
#pragma once

#include <cstdint>
#include <string>

#include "serial/DcbSetup.h"

namespace tv {

// The system's error codes the channel tells apart.
namespace comm_error {
constexpr uint32_t kAccessDenied = 5;          // ERROR_ACCESS_DENIED
constexpr uint32_t kSemTimeout = 121;          // ERROR_SEM_TIMEOUT
constexpr uint32_t kWaitTimeout = 258;         // WAIT_TIMEOUT
constexpr uint32_t kOperationAborted = 995;    // ERROR_OPERATION_ABORTED
constexpr uint32_t kIoIncomplete = 996;        // ERROR_IO_INCOMPLETE
constexpr uint32_t kIoPending = 997;           // ERROR_IO_PENDING
constexpr uint32_t kCounterTimeout = 1121;     // ERROR_COUNTER_TIMEOUT
constexpr uint32_t kTimeout = 1460;            // ERROR_TIMEOUT
}  // namespace comm_error

// True for an error that says the port itself has failed: anything but an
// operation still pending, a time-out or a cancel. A cancel the program did
// not ask for comes from a driver that aborts transfers after a line error
// (the abort-on-error mode, kept by drivers that ignore its switch-off);
// the next queue query ends that state, so it is no failure of the port.
inline bool IsHardCommError(uint32_t error) {
  switch (error) {
    case 0:
    case comm_error::kIoPending:
    case comm_error::kIoIncomplete:
    case comm_error::kOperationAborted:
    case comm_error::kSemTimeout:
    case comm_error::kWaitTimeout:
    case comm_error::kCounterTimeout:
    case comm_error::kTimeout:
      return false;
    default:
      return true;
  }
}

// One overlapped transfer's record and the bytes it moves. While its
// transfer may be pending the system writes into both, so the channel
// never frees one it could not see completed.
struct CommIo {
  uint8_t* data = nullptr;
  uint32_t capacity = 0;

 protected:
  ~CommIo() = default;
};

struct CommResult {
  bool ok = false;
  uint32_t bytes = 0;  // transferred, or queued for a queue query
  uint32_t error = 0;  // when not ok
};

enum class CommWait : uint8_t { Done, Aborted, TimedOut };

// What the program does to the modem lines and the break of an open port
// (EscapeCommFunction's SETDTR, CLRDTR, SETRTS, CLRRTS; SetCommBreak,
// ClearCommBreak).
enum class LineFunction : uint8_t { SetDtr, ClearDtr, SetRts, ClearRts, SetBreak, ClearBreak };

class CommApi {
 public:
  using Handle = void*;

  // Null when the port could not be opened, with the system's error.
  virtual Handle open(const std::wstring& path, uint32_t& error) = 0;
  // Does not wait long for a driver that keeps the handle.
  virtual void close(Handle port) = 0;
  virtual bool setupQueues(Handle port, uint32_t inBytes, uint32_t outBytes) = 0;
  // Reads return at once with what is queued; a write of n bytes gives up
  // after writeMs + n * writeMsPerByte.
  virtual bool setTimeouts(Handle port, uint32_t writeMs, uint32_t writeMsPerByte) = 0;
  virtual bool getState(Handle port, DcbFields& fields) = 0;
  // The fields over the rest of the configuration the driver holds.
  virtual bool setState(Handle port, const DcbFields& fields) = 0;
  // The size of the driver's input buffer; 0 when it does not say.
  virtual uint32_t inQueueBytes(Handle port) = 0;
  // Clears the line errors; bytes is the input queue's count, which some
  // drivers do not keep.
  virtual CommResult queued(Handle port) = 0;

  // A record with a buffer of capacity bytes; null when none could be made.
  virtual CommIo* newIo(uint32_t capacity) = 0;
  virtual void freeIo(CommIo* io) = 0;
  // Start a transfer of n bytes from or into io's buffer. Not ok with
  // kIoPending: it goes on; wait for it and take its result.
  virtual CommResult startRead(Handle port, CommIo* io, uint32_t n) = 0;
  virtual CommResult startWrite(Handle port, CommIo* io, uint32_t n) = 0;
  // Waits at most ms for io's transfer to complete; an abortable wait also
  // ends once io's wake is raised.
  virtual CommWait waitIo(CommIo* io, uint32_t ms, bool abortable) = 0;
  // Any thread: io's abortable waits end at once while its wake is raised.
  virtual void raiseWake(CommIo* io, bool raised) = 0;
  // Asks the driver to end the transfers this thread started on the port.
  virtual void cancel(Handle port) = 0;
  // Ends the port's pending writes, whoever started them, and drops what
  // the driver holds to send.
  virtual void purgeOutput(Handle port) = 0;
  // The transfer's outcome without waiting: kIoIncomplete while pending.
  virtual CommResult result(Handle port, CommIo* io) = 0;

  // Sets a modem line or the break at once; not ok, with the system's
  // error, when the driver refuses it (a virtual port, a pty under Wine).
  virtual CommResult lineFunction(Handle port, LineFunction function) = 0;

  // Millisecond timer ticks for the whole process while the port is open.
  virtual void fineTicks(bool on) = 0;

 protected:
  ~CommApi() = default;
};

}  // namespace tv
