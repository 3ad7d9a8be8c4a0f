// How the send jobs hand bytes to the port: in blocks of what the line
// carries in about a millisecond, the job's busy flag looked at before each
// block, so a cancel stops the output within about a millisecond of line
// time while a long send costs one write call per block, not per byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "base/Threading.h"
#include "serial/LineSettings.h"
#include "serial/Port.h"

namespace tv {

// Bytes the line carries in a millisecond: start bit, data bits, parity
// bit, stop bits per byte. At least one.
std::size_t BlockBytes(const LineValues& line);

class BlockWriter {
 public:
  BlockWriter(Port& port, Clock& clock, const Flag& busy, std::size_t blockBytes)
      : port_(port), clock_(clock), busy_(busy), blockBytes_(blockBytes < 1 ? 1 : blockBytes) {}

  // Writes the n bytes block by block; afterBlock gets each block's size
  // once it is out. False when the job was cancelled or the port closed
  // before all went out.
  bool write(const uint8_t* bytes, std::size_t n, const std::function<void(std::size_t)>& afterBlock = {});

  // For a job whose pieces are shorter than a block (a hex line, a text
  // chunk): the whole blocks go out now, the rest waits for the next piece
  // or for flush, which a job calls where a pause is due and at the end of
  // a pass. False as write.
  bool append(const uint8_t* bytes, std::size_t n);
  bool flush();

 private:
  // One block, written again from where the driver stopped until all of it
  // is out: a write the device did not take in time is retried rather than
  // skipped, which lost the bytes while the progress counted them as sent.
  bool writeAll(const uint8_t* bytes, std::size_t n);

  Port& port_;
  Clock& clock_;
  const Flag& busy_;
  const std::size_t blockBytes_;
  std::vector<uint8_t> waiting_;  // appended, less than a block
};

}  // namespace tv
