#include "send/BlockWriter.h"

namespace tv {

std::size_t BlockBytes(const LineValues& line) {
  // In half bits, for one and a half stop bits.
  uint64_t halfBits = 2u * (1u + line.dataBits + (line.parity != 0 ? 1u : 0u));
  halfBits += line.stopBits == 0 ? 2u : line.stopBits == 1 ? 3u : 4u;
  uint64_t baud = line.baudRate > 0 ? static_cast<uint64_t>(line.baudRate) : 0u;
  uint64_t perMs = baud * 2u / halfBits / 1000u;
  return perMs < 1 ? 1 : static_cast<std::size_t>(perMs);
}

bool BlockWriter::write(const uint8_t* bytes, std::size_t n, const std::function<void(std::size_t)>& afterBlock) {
  for (std::size_t at = 0; at < n;) {
    if (!busy_) return false;
    std::size_t size = n - at < blockBytes_ ? n - at : blockBytes_;
    if (!writeAll(bytes + at, size)) return false;
    at += size;
    if (afterBlock) afterBlock(size);
  }
  return true;
}

bool BlockWriter::append(const uint8_t* bytes, std::size_t n) {
  waiting_.insert(waiting_.end(), bytes, bytes + n);
  std::size_t whole = waiting_.size() - waiting_.size() % blockBytes_;
  bool out = write(waiting_.data(), whole);
  waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(out ? whole : waiting_.size()));
  return out;
}

bool BlockWriter::flush() {
  bool out = write(waiting_.data(), waiting_.size());
  waiting_.clear();
  return out;
}

bool BlockWriter::writeAll(const uint8_t* bytes, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    IoResult r = port_.write(bytes + done, n - done);
    done += r.bytes < n - done ? r.bytes : n - done;
    if (done == n) break;
    if (!busy_ || r.status == IoStatus::Closed || !port_.isOpen()) return false;
    // A write that fails at once must not spin a core.
    if (r.bytes == 0) clock_.sleepMs(10);
  }
  return true;
}

}  // namespace tv
