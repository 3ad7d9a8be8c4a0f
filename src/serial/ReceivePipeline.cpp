#include "serial/ReceivePipeline.h"

#include <new>
#include <utility>
#include <vector>

#include "base/Format.h"
#include "base/HexCodec.h"

namespace tv {

ReceivePipeline::ReceivePipeline(ReceiveDecoder::LeadByteTest isLead, ReceiveDecoder::Converter convert, Wake wake,
                                 std::size_t heldBytesLimit)
    : isLead_(isLead), convert_(convert), wake_(std::move(wake)), heldBytesLimit_(heldBytesLimit) {}

std::wstring ReceivePipeline::convert(ReceiveDecoder& decoder, const uint8_t* bytes, std::size_t n,
                                      bool hex) const {
  if (!hex) return decoder.decode(bytes, n);
  std::wstring out;
  // Half a character held back just before the switch to hex comes first,
  // or it would be lost, or glued to bytes after a switch back.
  uint8_t held = decoder.carried();
  if (held != 0) {
    decoder.reset();
    out = FormatHexBytes(&held, 1);
  }
  out += FormatHexBytes(bytes, n);
  return out;
}

void ReceivePipeline::run(Port& port, Clock& clock, const Flag& running, const Flag& hexMode) {
  std::vector<uint8_t> buffer(kReadBytes);
  ReceiveDecoder decoder(isLead_, convert_);
  // One read, logged as it came and queued.
  auto readOnce = [&] {
    IoResult got = port.read(buffer.data(), buffer.size());
    if (got.bytes > buffer.size()) got.bytes = buffer.size();
    if (got.bytes > 0) {
      if (tap_ != nullptr) tap_->put(buffer.data(), got.bytes);
      deliver(decoder, buffer.data(), got.bytes, hexMode != 0, clock, running);
    }
    return got;
  };
  // Only the UI thread takes text away, so the room seen here can only grow.
  auto room = [&] { return holdBack_ == 0 || heldBytes() < heldBytesLimit_; };
  do {
    const std::size_t got = room() ? readOnce().bytes : 0;
    // A full read means more is waiting: read on at once.
    if (got < kReadBytes) clock.sleepMs(1);
  } while (running);
  // Stopped for a reopen or a port event: the port may close next, and a
  // close drops what the driver still holds and what is still on its way
  // through the adapter. Read until the line is quiet.
  const uint32_t stoppedAt = clock.nowMs();
  uint32_t lastBytesAt = stoppedAt;
  while (room()) {
    const IoResult got = readOnce();
    // A port closed or failed has nothing more to give.
    if (got.status == IoStatus::Closed || got.status == IoStatus::Failed) break;
    const uint32_t now = clock.nowMs();
    if (got.bytes > 0) lastBytesAt = now;
    if (now - lastBytesAt >= kQuietMs || now - stoppedAt >= kLastPassMs) break;
    if (got.bytes < kReadBytes) clock.sleepMs(1);
  }
  deliver(decoder, nullptr, 0, false, clock, running);
}

void ReceivePipeline::deliver(ReceiveDecoder& decoder, const uint8_t* bytes, std::size_t n, bool hex, Clock& clock,
                              const Flag& running) {
  // Once stopped, a few more tries: the window may have made room.
  for (int triesLeft = 50;;) {
    const ReceiveDecoder before = decoder;
    try {
      if (bytes == nullptr) {
        push(decoder.finish(), 0, false);
      } else {
        push(convert(decoder, bytes, n, hex), n, hex);
      }
      if (holdBack_ == 0) skipBeyondKept();
      return;
    } catch (const std::bad_alloc&) {
      decoder = before;
    }
    if (lowMemory_) lowMemory_();
    if (!running && --triesLeft == 0) return;
    clock.sleepMs(kLowMemoryRetryMs);
  }
}

void ReceivePipeline::push(const std::wstring& text, std::size_t bytes, bool hex) {
  if (text.empty()) return;
  bool ask = false;
  {
    MutexLock hold(lock_);
    // All or nothing: an allocation that fails leaves the queue as it was,
    // so the same text can be pushed again.
    std::size_t column = 0;
    std::wstring lined;
    if (hex) {
      // Three units per byte, "%02X ".
      column = hexColumn_;
      lined.reserve(text.size() + text.size() / (3 * kHexRowBytes) + 1);
      for (std::size_t at = 0; at < text.size(); at += 3) {
        lined.append(text, at, 3);
        if (++column == kHexRowBytes) {
          lined += L'\n';
          column = 0;
        }
      }
    }
    const std::wstring& added = hex ? lined : text;
    const std::size_t before = pending_.size();
    pending_ += added;
    try {
      pieces_.push_back(Piece{added.size(), bytes});
    } catch (...) {
      pending_.resize(before);
      throw;
    }
    hexColumn_ = column;
    heldBytes_ += bytes;
    ask = !wakeAsked_;
    wakeAsked_ = true;
  }
  if (ask && !wake_()) {
    MutexLock hold(lock_);
    wakeAsked_ = false;
  }
}

std::wstring ReceivePipeline::take(std::size_t maxUnits) {
  std::wstring out;
  bool more = false;
  {
    MutexLock hold(lock_);
    const std::size_t waiting = pending_.size() - takenUnits_;
    if (waiting <= maxUnits) {
      if (takenUnits_ == 0) {
        out.swap(pending_);
      } else {
        out.assign(pending_, takenUnits_, waiting);
        unitsMoved_ += waiting;
        std::wstring().swap(pending_);
        takenUnits_ = 0;
      }
      pieces_.clear();
      heldBytes_ = 0;
      wakeAsked_ = false;
      if (!out.empty()) takenEndsLine_ = out.back() == L'\n';
    } else {
      std::size_t cut = maxUnits;
      const std::size_t last = takenUnits_ + cut;
      if (cut > 0 && pending_[last - 1] >= 0xD800 && pending_[last - 1] <= 0xDBFF) --cut;
      if (cut == 0) cut = 2;  // a pair asked for one unit at a time
      if (cut > waiting) cut = waiting;
      out.assign(pending_, takenUnits_, cut);
      takenUnits_ += cut;
      unitsMoved_ += cut;
      if (takenUnits_ >= pending_.size() - takenUnits_) {
        unitsMoved_ += pending_.size() - takenUnits_;
        pending_.erase(0, takenUnits_);
        takenUnits_ = 0;
      }
      dropFront(cut);
      takenEndsLine_ = out.back() == L'\n';
      more = true;
    }
  }
  if (more && !wake_()) {
    MutexLock hold(lock_);
    wakeAsked_ = false;
  }
  return out;
}

void ReceivePipeline::dropFront(std::size_t units) {
  while (units > 0 && !pieces_.empty()) {
    Piece& front = pieces_.front();
    if (units >= front.units) {
      units -= front.units;
      heldBytes_ -= front.bytes;
      pieces_.pop_front();
    } else {
      // Part of a piece shown: its bytes counted in proportion.
      std::size_t gone = front.bytes * units / front.units;
      front.bytes -= gone;
      front.units -= units;
      front.cut = true;
      heldBytes_ -= gone;
      units = 0;
    }
  }
}

std::wstring ReceivePipeline::SkippedLine(uint64_t bytes) {
  return Format(L"...................显示跟不上,跳过 %I64d 字节................\n", {bytes});
}

void ReceivePipeline::skipBeyondKept() {
  std::wstring line;
  MutexLock hold(lock_);
  const std::size_t kept = keptUnits_;
  const std::size_t waiting = pending_.size() - takenUnits_;
  if (waiting <= kept) return;
  // Whole pieces, so the count is exact whatever a byte became: not the
  // front one when the view has taken part of it (what is left of its
  // bytes is only known in proportion), nor the newest. A skip line still
  // waiting is folded into the new one.
  const std::size_t first = !pieces_.empty() && pieces_.front().cut ? 1 : 0;
  const std::size_t at = takenUnits_ + (first != 0 ? pieces_.front().units : 0);
  std::size_t units = 0, bytes = 0, pieces = 0;
  uint64_t skipped = 0;
  for (std::size_t i = first; i + 1 < pieces_.size() && waiting - units > kept / 2; ++i) {
    const Piece& p = pieces_[i];
    units += p.units;
    bytes += p.bytes;
    skipped += p.skipped != 0 ? p.skipped : p.bytes;
    ++pieces;
  }
  if (pieces == 0) return;
  // On a line of its own.
  const bool atLineStart = at > 0 ? pending_[at - 1] == L'\n' : takenEndsLine_;
  try {
    line = (atLineStart ? L"" : L"\n") + SkippedLine(skipped);
  } catch (const std::bad_alloc&) {
    return;  // tried again after the next read
  }
  // The line is far shorter than what it replaces, and the pieces only
  // shrink: no allocation from here.
  pending_.replace(at, units, line);
  pieces_.erase(pieces_.begin() + static_cast<std::ptrdiff_t>(first + 1),
                pieces_.begin() + static_cast<std::ptrdiff_t>(first + pieces));
  pieces_[first] = Piece{line.size(), 0, skipped};
  heldBytes_ -= bytes;
  skippedBytes_ += bytes;
}

bool ReceivePipeline::nothingWaiting() {
  MutexLock hold(lock_);
  if (pending_.size() > takenUnits_) return false;
  hexColumn_ = 0;
  takenEndsLine_ = true;
  return true;
}

void ReceivePipeline::discard() {
  MutexLock hold(lock_);
  hexColumn_ = 0;
  takenEndsLine_ = true;
  pending_.clear();
  pending_.shrink_to_fit();
  takenUnits_ = 0;
  pieces_.clear();
  heldBytes_ = 0;
}

std::size_t ReceivePipeline::heldUnits() {
  MutexLock hold(lock_);
  return pending_.size() - takenUnits_;
}

uint64_t ReceivePipeline::unitsMoved() {
  MutexLock hold(lock_);
  return unitsMoved_;
}

uint64_t ReceivePipeline::skippedBytes() {
  MutexLock hold(lock_);
  return skippedBytes_;
}

std::size_t ReceivePipeline::heldBytes() {
  MutexLock hold(lock_);
  return heldBytes_;
}

}  // namespace tv
