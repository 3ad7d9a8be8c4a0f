// What the receive pipeline and the send jobs need of a serial port. The
// channel implements it for the real port; the tests script a fake one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/Threading.h"

namespace tv {

enum class IoStatus : uint8_t {
  Done,       // as asked: all written, or whatever was queued read
  TimedOut,   // the device did not take all the bytes in time
  Closed,     // the port is closed or closing: nothing goes through
  Failed,     // the driver refused the call
  Cancelled,  // the writer was cancelled: what had not gone out was dropped
};

struct IoResult {
  std::size_t bytes = 0;  // transferred, whatever the status
  IoStatus status = IoStatus::Done;
};

class Port {
 public:
  virtual bool isOpen() const = 0;
  // Whatever the driver has queued, at most capacity bytes; never waits for
  // data to arrive.
  virtual IoResult read(uint8_t* buffer, std::size_t capacity) = 0;
  // Hands the bytes to the driver and waits at most the write time-out;
  // never returns while the driver may still use them. Once going is
  // cleared and interruptWrite called, the write ends at once, and what the
  // driver still holds of it is dropped.
  virtual IoResult write(const uint8_t* bytes, std::size_t count, const Flag& going) = 0;
  // Any thread, after clearing a writer's flag: wakes its write.
  virtual void interruptWrite() = 0;

 protected:
  ~Port() = default;
};

}  // namespace tv
