// What the receive pipeline and the send jobs need of a serial port. The
// channel implements it for the real port; the tests script a fake one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv {

enum class IoStatus : uint8_t {
  Done,      // as asked: all written, or whatever was queued read
  TimedOut,  // the device did not take all the bytes in time
  Closed,    // the port is closed or closing: nothing goes through
  Failed,    // the driver refused the call
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
  // never returns while the driver may still use them.
  virtual IoResult write(const uint8_t* bytes, std::size_t count) = 0;

 protected:
  ~Port() = default;
};

}  // namespace tv
