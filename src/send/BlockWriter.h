// How the send jobs hand bytes to the port. A piece of output that no
// pause splits (a hex line, a text chunk, a file's line) goes out in one
// write call when it is no longer than the cap: at a low rate a frame
// written byte by byte reached the device split, each write waiting on a
// USB round trip and a thread's wake-up while the line stood idle. A
// cancel does not wait for a write to end: it stops the write in flight.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "base/Threading.h"
#include "serial/LineSettings.h"
#include "serial/Port.h"

namespace tv {

// The most one write call carries: 4 KiB, or 100 ms of line time where
// that is more.
std::size_t WriteCapBytes(const LineValues& line);

class BlockWriter {
 public:
  // written is told how many bytes each write handed to the driver. A
  // cancel drops what the driver still holds of them.
  BlockWriter(Port& port, Clock& clock, const Flag& busy, std::size_t capBytes,
              std::function<void(std::size_t)> written = {})
      : port_(port), clock_(clock), busy_(busy), capBytes_(capBytes < 1 ? 1 : capBytes), written_(std::move(written)) {}

  // After what waits, the n bytes in writes of at most the cap. False when
  // the job was cancelled or the port closed before all went out.
  bool write(const uint8_t* bytes, std::size_t n);

  // A piece that no pause splits: it waits with the pieces before it until
  // the next one would not fit beside them in one write, or until flush,
  // which a job calls where a pause is due and at the end of a pass. A
  // piece longer than the cap goes out at once. False as write.
  bool append(const uint8_t* bytes, std::size_t n);
  bool flush();

 private:
  bool writePieces(const uint8_t* bytes, std::size_t n);
  // One write, written again from where the driver stopped until all of it
  // is out: a write the device did not take in time is retried rather than
  // skipped, which lost the bytes while the progress counted them as sent.
  // done: how many went out, also when it was cut short.
  bool writeAll(const uint8_t* bytes, std::size_t n, std::size_t& done);

  Port& port_;
  Clock& clock_;
  const Flag& busy_;
  const std::size_t capBytes_;
  const std::function<void(std::size_t)> written_;
  std::vector<uint8_t> waiting_;  // appended, less than the cap
};

}  // namespace tv
