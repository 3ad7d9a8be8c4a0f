#include "base/BoundedView.h"

#include <richedit.h>

#include <new>
#include <utility>

#include "base/ControlTwin.h"
#include "base/RichEdit.h"
#include "base/Threading.h"

namespace tv {
namespace {

// What relieve() keeps, at most.
constexpr std::size_t kKeptWhenShort = ViewBound::kLeastChars / 2;

}  // namespace


void BoundedView::attach(HWND control, Site site) {
  view_ = control;
  site_ = std::move(site);
}

void BoundedView::append(const std::wstring& text) {
  if (text.empty() || view_ == nullptr) return;
  std::size_t length = TextLength(view_);
  const bool held = held_ || GetCapture() != nullptr;
  switch (bound_.next(length, copy_ != nullptr, memory(text.size()), copyRefused_)) {
    case ViewBound::Step::Swap:
      if (held) break;
      swapInCopy();
      length = TextLength(view_);
      break;
    case ViewBound::Step::Trim:
      if (held) break;
      trimInPlace();
      length = TextLength(view_);
      break;
    case ViewBound::Step::StartCopy:
      copyDue_ = true;
      break;
    case ViewBound::Step::None:
      break;
  }
  copyAlong(text, length);
  if (insert(view_, text, true)) return;
  // Refused for want of memory: what the view lets go of makes room.
  relieve();
  insert(view_, text, true);
}

bool BoundedView::insert(HWND control, const std::wstring& text, bool scroll) {
  noSpace_ = false;
  const std::size_t before = TextLength(control);
  SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(-1), -1);
  SendMessageW(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  if (scroll) SendMessageW(control, WM_VSCROLL, SB_BOTTOM, 0);
  const bool taken = !noSpace_ && TextLength(control) > before;
  if (taken && control == view_) atLineStart_ = text.back() == L'\n';
  return taken;
}

void BoundedView::copyAlong(const std::wstring& text, std::size_t viewLength) {
  if (copy_ != nullptr) {
    if (!insert(copy_, text, false)) dropCopy();
    return;
  }
  if (!copyDue_) return;
  // The copy starts with a whole line; a line that goes on to near the
  // bound is cut rather than waited for.
  std::size_t from = 0;
  if (!atLineStart_) {
    std::size_t lineEnd = text.find(L'\n');
    if (lineEnd != std::wstring::npos) {
      from = lineEnd + 1;
    } else if (viewLength < bound_.chars() / 8 * 7) {
      return;
    }
  }
  HWND copy = site_.make ? site_.make(view_, false) : nullptr;
  copyRefused_ = copy == nullptr;
  if (copy == nullptr) return;  // tried again with the next text
  copy_ = copy;
  copyDue_ = false;
  if (!insert(copy_, site_.trimmedLine + text.substr(from), false)) dropCopy();
}

void BoundedView::swapInCopy() {
  HWND copy = copy_;
  copy_ = nullptr;
  copyDue_ = false;
  const std::size_t oldLength = TextLength(view_);
  SendMessageW(copy, EM_SETSEL, static_cast<WPARAM>(-1), -1);
  const uint32_t destroyMs = replaceWith(copy);
  SendMessageW(view_, WM_VSCROLL, SB_BOTTOM, 0);
  measure_.restart();
  bound_.swapped(oldLength, destroyMs, memory(0));
}

void BoundedView::trimInPlace() {
  // Deleting from a long rich edit is slow (under Wine seconds), which is
  // why the view is replaced instead whenever a control can be had.
  const std::size_t length = TextLength(view_);
  const std::size_t keep = bound_.kept();
  if (length <= keep) return;
  // The kept part starts with a whole line: the first after the cut, or
  // the cut itself when no line ends before the end.
  const std::size_t cut = length - keep;
  std::size_t from = cut;
  constexpr std::size_t kLookUnits = 4096;
  for (std::size_t at = cut - 1; at < length; at += kLookUnits) {
    const std::size_t end = at + kLookUnits < length ? at + kLookUnits : length;
    const std::size_t lineEnd = GetTextRange(view_, at, end).find(L'\r');
    if (lineEnd != std::wstring::npos) {
      if (at + lineEnd + 1 < length) from = at + lineEnd + 1;
      break;
    }
  }
  copyRefused_ = false;  // a copy is tried again from copyFrom() on
  copyDue_ = false;
  SendMessageW(view_, EM_SETSEL, 0, static_cast<LPARAM>(from));
  SendMessageW(view_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(site_.trimmedLine.c_str()));
  SendMessageW(view_, EM_SETSEL, static_cast<WPARAM>(-1), -1);
  SendMessageW(view_, WM_VSCROLL, SB_BOTTOM, 0);
}

void BoundedView::dropCopy() {
  if (copy_ != nullptr) DestroyWindow(copy_);
  copy_ = nullptr;
}

uint32_t BoundedView::replaceWith(HWND fresh) {
  HWND old = view_;
  PutTwinInPlace(old, fresh);
  if (batching_) SendMessageW(fresh, WM_SETREDRAW, FALSE, 0);
  view_ = fresh;
  if (site_.replaced) site_.replaced(old, fresh);
  const uint32_t start = SystemClock().nowMs();
  DestroyWindow(old);
  return SystemClock().nowMs() - start;
}

void BoundedView::clear() {
  if (view_ == nullptr) return;
  dropCopy();
  copyDue_ = false;
  copyRefused_ = false;
  atLineStart_ = true;
  HWND fresh = site_.make ? site_.make(view_, false) : nullptr;
  if (fresh != nullptr) {
    replaceWith(fresh);
  } else {
    ClearView(view_);  // slow for a long text, but it empties the view
  }
}

void BoundedView::replaceAll(const std::wstring& text) {
  clear();
  if (view_ != nullptr) PutText(view_, text, kCaretToEnd | kCaretToStart);
  atLineStart_ = text.empty() || text.back() == L'\n';
}

void BoundedView::beginBatch() {
  batching_ = true;
  if (view_ != nullptr) SendMessageW(view_, WM_SETREDRAW, FALSE, 0);
}

void BoundedView::endBatch() {
  batching_ = false;
  if (view_ == nullptr) return;
  SendMessageW(view_, WM_SETREDRAW, TRUE, 0);
  SendMessageW(view_, WM_VSCROLL, SB_BOTTOM, 0);
  // A plain invalidation leaves the scroll bar as it was drawn before.
  RedrawWindow(view_, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE);
}

void BoundedView::relieve() {
  if (view_ == nullptr) return;
  try {
    dropCopy();
    copyDue_ = false;
    // The newest whole lines are kept when there is memory even for that.
    std::wstring kept;
    try {
      const std::size_t length = TextLength(view_);
      const std::size_t first = length > kKeptWhenShort ? length - kKeptWhenShort : 0;
      kept = GetTextRange(view_, first, length);
      if (first > 0) {
        std::size_t lineStart = kept.find(L'\r');
        kept = lineStart == std::wstring::npos ? std::wstring() : kept.substr(lineStart + 1);
      }
    } catch (const std::bad_alloc&) {
      kept.clear();
    }
    clear();
    insert(view_, kept.empty() ? site_.clearedForMemoryLine : site_.shortOfMemoryLine, true);
    if (!kept.empty()) insert(view_, kept, true);
  } catch (...) {
    // Nothing more can be freed here; the window goes on as it is.
  }
}

void BoundedView::noteNoSpace(HWND from) {
  if (from != nullptr && (from == view_ || from == copy_)) noSpace_ = true;
}

uint64_t BoundedView::memory(std::size_t justAdded) {
  charsAdded_ += static_cast<uint32_t>(justAdded);
  if (measure_.due(charsAdded_)) lastMemory_ = site_.memory ? site_.memory() : 0;
  return lastMemory_;
}

}  // namespace tv
