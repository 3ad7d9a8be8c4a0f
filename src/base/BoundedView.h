// A view of text that keeps coming (what a port receives, a log): a rich
// edit that keeps the newest text within a bound (see ViewBound), is
// cleared by taking a new control's place instead of being emptied, and
// gives up its oldest text rather than the program when memory runs out.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/TextView.h"
#include "base/Throttle.h"
#include "base/ViewBound.h"

namespace tv {

class BoundedView final : public TextView {
 public:
  // What the view needs of the window it is in.
  struct Site {
    // A new control like this one, with everything the dialog sets on
    // its views; hidden ones get no id. Null when none could be made.
    std::function<HWND(HWND like, bool visible)> make;
    // The view's control is now fresh instead of old, which is destroyed
    // right after: whatever holds the old handle follows.
    std::function<void(HWND old, HWND fresh)> replaced;
    // The process's private bytes.
    std::function<uint64_t()> memory;
    // The first line of a view whose oldest text was dropped, and the first
    // line after memory ran out, with and without older text kept; each
    // ends with a line break.
    std::wstring trimmedLine;
    std::wstring shortOfMemoryLine;
    std::wstring clearedForMemoryLine;
  };

  void attach(HWND control, Site site);
  HWND hwnd() const { return view_; }
  // The bound the view keeps to now, in characters.
  std::size_t boundChars() const { return bound_.chars(); }

  // While held (a menu is open), and while the mouse is captured (a
  // selection or the splitter being dragged), the view is not replaced or
  // trimmed under the user's hands: that waits for the first text after.
  void hold(bool on) { held_ = on; }

  void append(const std::wstring& text) override;
  void appendStyled(const std::wstring& text, const std::vector<StyleRun>& runs) override;
  void replaceAll(const std::wstring& text) override;
  void clear() override;
  void beginBatch() override;
  void endBatch() override;
  std::size_t keptChars() const override { return bound_.chars(); }

  // An allocation failed somewhere: the view lets go of all but its
  // newest lines, and says so. Never throws.
  void relieve();
  // The control told its parent it could not get memory (EN_ERRSPACE).
  void noteNoSpace(HWND from);

 private:
  // What a change of look costs the control besides its characters,
  // counted as characters toward the bound: a rich edit keeps a run of its
  // own for each (under Wine measured at about three characters' worth).
  static constexpr std::size_t kLookChangeChars = 4;

  // Per control: the look the text ends in, and how often it changed.
  struct Looks {
    TextStyle last = kPlainStyle;
    std::size_t changes = 0;
  };

  void add(const std::wstring& text, const std::vector<StyleRun>* runs);
  // Puts text at the end, in the looks runs give (none: the control's own);
  // false when the control refused it.
  bool insert(HWND control, Looks& looks, const std::wstring& text, const std::vector<StyleRun>* runs,
              bool scroll);
  // The control's insertion point takes style.
  void setLook(HWND control, Looks& looks, TextStyle style);
  // The view's length as the bound counts it.
  std::size_t weight(std::size_t length) const { return length + viewLooks_.changes * kLookChangeChars; }
  // Sends text to the copy being made, starting one at a line start when
  // it is due.
  void copyAlong(const std::wstring& text, const std::vector<StyleRun>* runs, std::size_t viewWeight);
  void swapInCopy();
  // No copy could be made: the oldest text goes from the view itself.
  void trimInPlace();
  void dropCopy();
  // fresh takes the view's place; the old control is destroyed. The time
  // that took, in milliseconds.
  uint32_t replaceWith(HWND fresh);
  uint64_t memory(std::size_t justAdded);

  Site site_;                  // set once by the UI thread
  ViewBound bound_;            // UI thread, as are all below
  HWND view_ = nullptr;
  HWND copy_ = nullptr;        // the hidden copy while one is made
  bool copyDue_ = false;       // a copy starts at the next line start
  bool copyRefused_ = false;   // the last copy could not be made
  bool held_ = false;
  bool batching_ = false;
  Looks viewLooks_;
  Looks copyLooks_;
  bool atLineStart_ = true;    // the view's text ends with a line break
  bool noSpace_ = false;       // EN_ERRSPACE seen since the last insertion began
  // Memory is asked for again after this many characters went in.
  static constexpr uint32_t kMeasureEveryChars = 32 * 1024;
  uint32_t charsAdded_ = 0;    // in all, wrapping
  Throttle measure_{kMeasureEveryChars};
  uint64_t lastMemory_ = 0;
};

}  // namespace tv
