#include "serial/ReceivePipeline.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "base/Format.h"

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
        const TextStyle style = decoder.style();
        const std::wstring rest = decoder.finish();
        push([&](ReceiveLayout& layout, ReceiveLayout::Out& out) { layout.text(rest, {}, style, nullptr, out); }, 0);
      } else {
        convert(decoder, bytes, n, hex, clock.nowMs());
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
      if (!out.empty()) takenEndsLine_ = out.back() == L'\n';
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
      takenEndsLine_ = out.back() == L'\n';
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
  // The looks of what goes go with it: the line shows plainly, and what
  // follows it in the look it had.
  const uint64_t from = takenInAll_ + (at - takenUnits_);
  const uint64_t to = from + units;
  std::deque<Mark> marks;
  try {
    line = (atLineStart ? L"" : L"\n") + SkippedLine(skipped);
    if (!marks_.empty() || styleAtTake_ != kPlainStyle) {
      TextStyle atEnd = styleAtTake_;
      for (const Mark& m : marks_) {
        if (m.at < from) {
          marks.push_back(m);
        } else if (m.at >= to) {
          marks.push_back(Mark{m.at - units + line.size(), m.style});
        }
        if (m.at < to) atEnd = m.style;
      }
      // In stream order: the plain line at from, the look after it.
      auto after = std::find_if(marks.begin(), marks.end(), [from](const Mark& m) { return m.at >= from; });
      after = marks.insert(after, Mark{from, kPlainStyle});
      marks.insert(after + 1, Mark{from + line.size(), atEnd});
    }
  } catch (const std::bad_alloc&) {
    return;  // tried again after the next read
  }
  // The line is far shorter than what it replaces, and the pieces only
  // shrink: no allocation from here.
  if (!marks.empty()) marks_.swap(marks);
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
  // The program's own text goes in next, and is taken to end a line.
  takenEndsLine_ = true;
  return true;
}

void ReceivePipeline::discard(const std::wstring& shown) {
  MutexLock hold(lock_);
  takenEndsLine_ = true;
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

uint64_t ReceivePipeline::skippedBytes() {
  MutexLock hold(lock_);
  return skippedBytes_;
}

std::size_t ReceivePipeline::heldBytes() {
  MutexLock hold(lock_);
  return heldBytes_;
}

}  // namespace tv
