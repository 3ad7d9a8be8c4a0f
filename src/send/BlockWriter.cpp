#include "send/BlockWriter.h"

namespace tv {

std::size_t WriteCapBytes(const LineValues& line) { return WriteBlockBytes(line); }

bool BlockWriter::write(const uint8_t* bytes, std::size_t n) {
  return flush() && writePieces(bytes, n);
}

bool BlockWriter::append(const uint8_t* bytes, std::size_t n) {
  if (waiting_.size() + n > capBytes_ && !flush()) return false;
  if (n >= capBytes_) return writePieces(bytes, n);
  waiting_.insert(waiting_.end(), bytes, bytes + n);
  return true;
}

bool BlockWriter::flush() {
  if (waiting_.empty()) return true;
  bool out = writePieces(waiting_.data(), waiting_.size());
  waiting_.clear();
  return out;
}

bool BlockWriter::writePieces(const uint8_t* bytes, std::size_t n) {
  for (std::size_t at = 0; at < n;) {
    if (!busy_) return false;
    std::size_t size = n - at < capBytes_ ? n - at : capBytes_;
    std::size_t done = 0;
    bool whole = writeAll(bytes + at, size, done);
    // What went out of a write cut short counts too.
    if (written_ && done > 0) written_(done);
    if (!whole) return false;
    at += size;
  }
  return true;
}

bool BlockWriter::writeAll(const uint8_t* bytes, std::size_t n, std::size_t& done) {
  while (done < n) {
    IoResult r = port_.write(bytes + done, n - done, busy_);
    done += r.bytes < n - done ? r.bytes : n - done;
    if (done == n) break;
    if (!busy_ || r.status == IoStatus::Closed || r.status == IoStatus::Cancelled || !port_.isOpen()) return false;
    // A write that fails at once must not spin a core.
    if (r.bytes == 0) clock_.sleepMs(10);
  }
  return true;
}

}  // namespace tv
