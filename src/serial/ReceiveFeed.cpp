#include "serial/ReceiveFeed.h"

namespace tv {

namespace {

// Begins a batch of appends and ends it however the run ends, an
// allocation failure included.
class Batch {
 public:
  explicit Batch(TextView& view) : view_(view) { view_.beginBatch(); }
  ~Batch() { view_.endBatch(); }
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

 private:
  TextView& view_;
};

}  // namespace

void ReceiveFeed::put(const std::wstring& text) {
  if (runs_.empty()) {
    view_.append(text);
  } else {
    view_.appendStyled(text, runs_);
  }
}

void ReceiveFeed::drain() {
  // Text waiting beyond what the view keeps is skipped before it comes.
  pipeline_.setKeptUnits(view_.keptChars());
  const uint32_t start = clock_.nowMs();
  uint32_t last = 0;
  std::wstring text = pipeline_.take(kDrainUnits, &runs_);
  if (text.empty()) return;
  Batch batch(view_);
  // Another insertion only when one more as long as the last still ends
  // within kDrainMs, so the window is never away much longer than that.
  for (;;) {
    const uint32_t before = clock_.nowMs();
    put(text);
    last = clock_.nowMs() - before;
    if (clock_.nowMs() - start + last > kDrainMs) return;
    text = pipeline_.take(kDrainUnits, &runs_);
    if (text.empty()) return;
  }
}

void ReceiveFeed::append(const std::wstring& text) {
  // Bytes read after this look see the text already in.
  std::wstring own = text;
  if (pipeline_.addOwn(own) && !own.empty()) view_.append(own);
}

void ReceiveFeed::drainAll() {
  // What arrives meanwhile is left for later, or a flood would never end it.
  std::size_t due = pipeline_.heldUnits();
  if (due == 0) return;
  Batch batch(view_);
  while (due > 0) {
    std::wstring text = pipeline_.take(due < kDrainUnits ? due : kDrainUnits, &runs_);
    if (text.empty()) break;
    due -= text.size() < due ? text.size() : due;
    put(text);
  }
}

void ReceiveFeed::replaceAll(const std::wstring& text) {
  pipeline_.discard(text);
  view_.replaceAll(text);
}

void ReceiveFeed::clear() {
  pipeline_.discard();
  view_.clear();
}

void ReceiveFeed::setOptions(const ReceiveOptions& options, const LocalTime& now) {
  pipeline_.setOptions(options, now);
}

}  // namespace tv
