#include "serial/ReceiveFeed.h"

namespace tv {

void ReceiveFeed::drain() {
  const uint32_t start = clock_.nowMs();
  uint32_t last = 0;
  // Another insertion only when one more as long as the last still ends
  // within kDrainMs, so the window is never away much longer than that.
  do {
    const uint32_t before = clock_.nowMs();
    std::wstring text = pipeline_.take(kDrainUnits);
    if (text.empty()) return;
    view_.append(text);
    last = clock_.nowMs() - before;
  } while (clock_.nowMs() - start + last <= kDrainMs);
}

void ReceiveFeed::append(const std::wstring& text) {
  // Bytes read after this look see the text already in.
  if (pipeline_.nothingWaiting()) {
    if (!text.empty()) view_.append(text);
  } else {
    pipeline_.add(text);
  }
}

void ReceiveFeed::drainAll() {
  // What arrives meanwhile is left for later, or a flood would never end it.
  std::size_t due = pipeline_.heldUnits();
  while (due > 0) {
    std::wstring text = pipeline_.take(due < kDrainUnits ? due : kDrainUnits);
    if (text.empty()) break;
    due -= text.size() < due ? text.size() : due;
    view_.append(text);
  }
}

void ReceiveFeed::replaceAll(const std::wstring& text) {
  pipeline_.discard();
  view_.replaceAll(text);
}

void ReceiveFeed::clear() {
  pipeline_.discard();
  view_.clear();
}

}  // namespace tv
