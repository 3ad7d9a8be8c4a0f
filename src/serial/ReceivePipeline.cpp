#include "serial/ReceivePipeline.h"

#include <new>
#include <utility>
#include <vector>

namespace tv {

ReceivePipeline::ReceivePipeline(ReceiveDecoder::LeadByteTest isLead, ReceiveDecoder::Converter convert, Wake wake,
                                 std::size_t heldBytesLimit)
    : isLead_(isLead), convert_(convert), wake_(std::move(wake)), heldBytesLimit_(heldBytesLimit) {}

ReceiveOptions ReceivePipeline::options() {
  MutexLock hold(lock_);
  return options_;
}

void ReceivePipeline::setOptions(const ReceiveOptions& options, const LocalTime& now) {
  push(
      [&](ReceiveLayout& layout, ReceiveLayout::Out& out) {
        const bool stampsTurnedOn = options.timestamps && !layout.stamps();
        options_ = options;
        layout.setOptions(options.timestamps, options.frameGapMs);
        if (stampsTurnedOn) layout.date(now, out);
      },
      0);
}

void ReceivePipeline::convert(ReceiveDecoder& decoder, const uint8_t* bytes, std::size_t n, bool hex,
                              uint32_t tickMs) {
  const ReceiveOptions options = this->options();
  const ReceiveLayout::Read read{tickMs, options.timestamps ? wall_->now() : LocalTime{}};
  if (hex) {
    // Half a character held back just before the switch to hex comes first,
    // or it would be lost, or glued to bytes after a switch back.
    std::string held = decoder.heldBytes();
    decoder.reset();
    if (!held.empty()) {
      held.append(reinterpret_cast<const char*>(bytes), n);
      push([&](ReceiveLayout& layout, ReceiveLayout::Out& out) {
        layout.hex(reinterpret_cast<const uint8_t*>(held.data()), held.size(), read, out);
      }, n);
    } else {
      push([&](ReceiveLayout& layout, ReceiveLayout::Out& out) { layout.hex(bytes, n, read, out); }, n);
    }
    return;
  }
  decoder.setMode(options.utf8, options.ansiColors);
  const TextStyle style = decoder.style();
  std::wstring text;
  std::vector<StyleRun> runs;
  decoder.decode(bytes, n, text, runs);
  push([&](ReceiveLayout& layout, ReceiveLayout::Out& out) { layout.text(text, runs, style, &read, out); }, n);
}

void ReceivePipeline::run(Port& port, Clock& clock, const Flag& running, const Flag& hexMode) {
  std::vector<uint8_t> buffer(kReadBytes);
  ReceiveDecoder decoder(isLead_, convert_);
  // One read, queued.
  auto readOnce = [&] {
    IoResult got = port.read(buffer.data(), buffer.size());
    if (got.bytes > buffer.size()) got.bytes = buffer.size();
    if (got.bytes > 0) deliver(decoder, buffer.data(), got.bytes, hexMode != 0, clock, running);
    return got;
  };
  do {
    // Only the UI thread takes text away, so the room seen here can only grow.
    const std::size_t got = heldBytes() < heldBytesLimit_ ? readOnce().bytes : 0;
    // A full read means more is waiting: read on at once.
    if (got < kReadBytes) clock.sleepMs(1);
  } while (running);
  // Stopped for a reopen or a port event: the port may close next, and a
  // close drops what the driver still holds and what is still on its way
  // through the adapter. Read until the line is quiet.
  const uint32_t stoppedAt = clock.nowMs();
  uint32_t lastBytesAt = stoppedAt;
  while (heldBytes() < heldBytesLimit_) {
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
        const TextStyle style = decoder.style();
        const std::wstring rest = decoder.finish();
        push([&](ReceiveLayout& layout, ReceiveLayout::Out& out) { layout.text(rest, {}, style, nullptr, out); }, 0);
      } else {
        convert(decoder, bytes, n, hex, clock.nowMs());
      }
      return;
    } catch (const std::bad_alloc&) {
      decoder = before;
    }
    if (lowMemory_) lowMemory_();
    if (!running && --triesLeft == 0) return;
    clock.sleepMs(kLowMemoryRetryMs);
  }
}

template <typename LayOut>
void ReceivePipeline::push(LayOut layOut, std::size_t bytes) {
  bool ask = false;
  {
    MutexLock hold(lock_);
    // All or nothing: an allocation that fails leaves the queue and the
    // layout as they were, so the same text can be pushed again.
    const ReceiveLayout before = layout_;
    ReceiveLayout::Out out;
    try {
      layOut(layout_, out);
      queue(out, bytes);
    } catch (...) {
      layout_ = before;
      throw;
    }
    if (out.text.empty()) return;
    ask = !wakeAsked_;
    wakeAsked_ = true;
  }
  if (ask && !wake_()) {
    MutexLock hold(lock_);
    wakeAsked_ = false;
  }
}

void ReceivePipeline::queue(const ReceiveLayout::Out& out, std::size_t bytes) {
  if (out.text.empty()) return;
  const uint64_t end = takenInAll_ + (pending_.size() - takenUnits_);
  const std::size_t before = pending_.size();
  const std::size_t marksBefore = marks_.size();
  pending_ += out.text;
  try {
    for (const StyleRun& run : out.runs) marks_.push_back(Mark{end + run.at, run.style});
    pieces_.push_back(Piece{out.text.size(), bytes});
  } catch (...) {
    pending_.resize(before);
    marks_.resize(marksBefore, Mark{0, kPlainStyle});
    throw;
  }
  heldBytes_ += bytes;
}

void ReceivePipeline::add(const std::wstring& text) {
  push([&](ReceiveLayout& layout, ReceiveLayout::Out& out) { layout.own(text, out); }, 0);
}

bool ReceivePipeline::addOwn(std::wstring& text) {
  {
    MutexLock hold(lock_);
    if (pending_.size() == takenUnits_) {
      const ReceiveLayout before = layout_;
      ReceiveLayout::Out out;
      try {
        layout_.own(text, out);
      } catch (...) {
        layout_ = before;
        throw;
      }
      text.swap(out.text);
      styleAtTake_ = kPlainStyle;  // the view's own look, in which the text goes in
      return true;
    }
  }
  add(text);
  text.clear();
  return false;
}

void ReceivePipeline::echo(const std::wstring& shown) {
  const LocalTime now = wall_->now();
  push([&](ReceiveLayout& layout, ReceiveLayout::Out& out) { layout.echo(shown, now, out); }, 0);
}

std::wstring ReceivePipeline::take(std::size_t maxUnits, std::vector<StyleRun>* runs) {
  std::wstring out;
  bool more = false;
  {
    MutexLock hold(lock_);
    const std::size_t waiting = pending_.size() - takenUnits_;
    std::size_t cut = waiting;
    if (waiting > maxUnits) {
      cut = maxUnits;
      const std::size_t last = takenUnits_ + cut;
      if (cut > 0 && pending_[last - 1] >= 0xD800 && pending_[last - 1] <= 0xDBFF) --cut;
      if (cut == 0) cut = 2;  // a pair asked for one unit at a time
      if (cut > waiting) cut = waiting;
    }
    // The looks first: nothing is taken when there is no memory for them.
    std::size_t marksTaken = 0;
    TextStyle style = styleAtTake_;
    if (runs != nullptr) runs->clear();
    if (runs != nullptr && (styleAtTake_ != kPlainStyle || !marks_.empty())) runs->push_back(StyleRun{0, style});
    while (marksTaken < marks_.size() && marks_[marksTaken].at < takenInAll_ + cut) {
      const Mark& mark = marks_[marksTaken++];
      style = mark.style;
      if (runs == nullptr) continue;
      const std::size_t at = static_cast<std::size_t>(mark.at - takenInAll_);
      if (runs->back().at == at) {
        runs->back().style = style;
      } else {
        runs->push_back(StyleRun{at, style});
      }
    }
    if (runs != nullptr && runs->size() == 1 && runs->front().style == kPlainStyle) runs->clear();

    if (cut == waiting) {
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
    } else {
      out.assign(pending_, takenUnits_, cut);
      takenUnits_ += cut;
      unitsMoved_ += cut;
      if (takenUnits_ >= pending_.size() - takenUnits_) {
        unitsMoved_ += pending_.size() - takenUnits_;
        pending_.erase(0, takenUnits_);
        takenUnits_ = 0;
      }
      dropFront(cut);
      more = true;
    }
    marks_.erase(marks_.begin(), marks_.begin() + static_cast<std::ptrdiff_t>(marksTaken));
    styleAtTake_ = style;
    takenInAll_ += cut;
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
      heldBytes_ -= gone;
      units = 0;
    }
  }
}

bool ReceivePipeline::nothingWaiting() {
  MutexLock hold(lock_);
  return pending_.size() == takenUnits_;
}

void ReceivePipeline::discard(const std::wstring& shown) {
  MutexLock hold(lock_);
  layout_.cleared(shown);
  marks_.clear();
  styleAtTake_ = kPlainStyle;
  takenInAll_ = 0;
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

std::size_t ReceivePipeline::heldBytes() {
  MutexLock hold(lock_);
  return heldBytes_;
}

}  // namespace tv
