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

// The 16 terminal colours, dark enough to read on the view's white: a
// terminal's white and bright white would vanish there, so they are greys.
const COLORREF kPalette[16] = {
    RGB(0, 0, 0),       RGB(170, 0, 0),   RGB(0, 128, 0),   RGB(128, 112, 0),
    RGB(0, 0, 192),     RGB(160, 0, 160), RGB(0, 128, 128), RGB(128, 128, 128),
    RGB(96, 96, 96),    RGB(224, 0, 0),   RGB(0, 170, 0),   RGB(176, 150, 0),
    RGB(48, 80, 255),   RGB(210, 0, 210), RGB(0, 160, 176), RGB(160, 160, 160),
};

// The runs of text from unit `from` on, the first at 0.
std::vector<StyleRun> RunsFrom(const std::vector<StyleRun>& runs, std::size_t from) {
  std::vector<StyleRun> out;
  TextStyle style = kPlainStyle;
  for (const StyleRun& run : runs) {
    if (run.at <= from) {
      style = run.style;
    } else {
      if (out.empty()) out.push_back(StyleRun{0, style});
      out.push_back(StyleRun{run.at - from, run.style});
    }
  }
  if (out.empty()) out.push_back(StyleRun{0, style});
  return out;
}

}  // namespace


void BoundedView::attach(HWND control, Site site) {
  view_ = control;
  site_ = std::move(site);
}

void BoundedView::append(const std::wstring& text) { add(text, nullptr); }

void BoundedView::appendStyled(const std::wstring& text, const std::vector<StyleRun>& runs) {
  add(text, runs.empty() ? nullptr : &runs);
}

void BoundedView::add(const std::wstring& text, const std::vector<StyleRun>* runs) {
  if (text.empty() || view_ == nullptr) return;
  std::size_t length = weight(TextLength(view_));
  const bool held = held_ || GetCapture() != nullptr;
  switch (bound_.next(length, copy_ != nullptr, memory(text.size()), copyRefused_)) {
    case ViewBound::Step::Swap:
      if (held) break;
      swapInCopy();
      length = weight(TextLength(view_));
      break;
    case ViewBound::Step::Trim:
      if (held) break;
      trimInPlace();
      length = weight(TextLength(view_));
      break;
    case ViewBound::Step::StartCopy:
      copyDue_ = true;
      break;
    case ViewBound::Step::None:
      break;
  }
  copyAlong(text, runs, length);
  if (insert(view_, viewLooks_, text, runs, true)) return;
  // Refused for want of memory: what the view lets go of makes room.
  relieve();
  insert(view_, viewLooks_, text, runs, true);
}

void BoundedView::setLook(HWND control, Looks& looks, TextStyle style) {
  if (style == looks.last) return;
  CHARFORMAT2W cf{};
  cf.cbSize = sizeof(cf);
  cf.dwMask = CFM_COLOR | CFM_BOLD;
  const int colour = StyleColour(style);
  cf.dwEffects = (colour < 0 ? CFE_AUTOCOLOR : 0) | (StyleBold(style) ? CFE_BOLD : 0);
  cf.crTextColor = colour < 0 ? 0 : kPalette[colour];
  // With an empty selection at the end, this is the look of what is
  // inserted there next.
  SendMessageW(control, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
  looks.last = style;
  ++looks.changes;
}

bool BoundedView::insert(HWND control, Looks& looks, const std::wstring& text, const std::vector<StyleRun>* runs,
                         bool scroll) {
  noSpace_ = false;
  const std::size_t before = TextLength(control);
  if (runs == nullptr) {
    SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    // Text after coloured text would take its colour.
    if (looks.last != kPlainStyle) setLook(control, looks, kPlainStyle);
    SendMessageW(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  } else {
    for (std::size_t i = 0; i < runs->size(); ++i) {
      const std::size_t from = (*runs)[i].at;
      const std::size_t to = i + 1 < runs->size() ? (*runs)[i + 1].at : text.size();
      if (to <= from || from >= text.size()) continue;
      SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(-1), -1);
      setLook(control, looks, (*runs)[i].style);
      const std::wstring piece = text.substr(from, to - from);
      SendMessageW(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
    }
  }
  if (scroll) SendMessageW(control, WM_VSCROLL, SB_BOTTOM, 0);
  const bool taken = !noSpace_ && TextLength(control) > before;
  if (taken && control == view_) atLineStart_ = text.back() == L'\n';
  return taken;
}

void BoundedView::copyAlong(const std::wstring& text, const std::vector<StyleRun>* runs, std::size_t viewWeight) {
  if (copy_ != nullptr) {
    if (!insert(copy_, copyLooks_, text, runs, false)) dropCopy();
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
    } else if (viewWeight < bound_.chars() / 8 * 7) {
      return;
    }
  }
  HWND copy = site_.make ? site_.make(view_, false) : nullptr;
  copyRefused_ = copy == nullptr;
  if (copy == nullptr) return;  // tried again with the next text
  copy_ = copy;
  copyDue_ = false;
  copyLooks_ = Looks();
  bool taken = false;
  if (runs == nullptr) {
    taken = insert(copy_, copyLooks_, site_.trimmedLine + text.substr(from), nullptr, false);
  } else {
    const std::vector<StyleRun> rest = RunsFrom(*runs, from);
    taken = insert(copy_, copyLooks_, site_.trimmedLine, nullptr, false) &&
            (from == text.size() || insert(copy_, copyLooks_, text.substr(from), &rest, false));
  }
  if (!taken) dropCopy();
}

void BoundedView::swapInCopy() {
  HWND copy = copy_;
  copy_ = nullptr;
  copyDue_ = false;
  const std::size_t oldLength = weight(TextLength(view_));
  SendMessageW(copy, EM_SETSEL, static_cast<WPARAM>(-1), -1);
  const uint32_t destroyMs = replaceWith(copy);
  viewLooks_ = copyLooks_;
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
  viewLooks_.changes = viewLooks_.changes * (length - from) / length;
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
    viewLooks_ = Looks();
  } else {
    ClearView(view_);  // slow for a long text, but it empties the view
    viewLooks_.changes = 0;
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
    insert(view_, viewLooks_, kept.empty() ? site_.clearedForMemoryLine : site_.shortOfMemoryLine, nullptr, true);
    if (!kept.empty()) insert(view_, viewLooks_, kept, nullptr, true);
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
