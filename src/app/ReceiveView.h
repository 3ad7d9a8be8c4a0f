// The receive view as the receive feed writes to it: a rich edit that keeps
// the newest text within a bound (see ViewBound), is cleared by taking a
// new control's place instead of being emptied, and gives up its oldest
// text rather than the program when memory runs out.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "serial/ReceiveFeed.h"
#include "serial/ViewBound.h"

namespace tv {

class ReceiveView final : public TextView {
 public:
  // What the view needs of the dialog.
  struct Site {
    // A new control like this one, with everything the dialog sets on
    // its views; hidden ones get no id. Null when none could be made.
    std::function<HWND(HWND like, bool visible)> make;
    // The view's control is now fresh instead of old, which is destroyed
    // right after: whatever holds the old handle follows.
    std::function<void(HWND old, HWND fresh)> replaced;
    // The process's private bytes.
    std::function<uint64_t()> memory;
  };

  // The first line of a view whose oldest text was dropped.
  static const wchar_t kTrimmedLine[];
  // The first line after memory ran out, with and without older text kept.
  static const wchar_t kShortOfMemoryLine[];
  static const wchar_t kClearedForMemoryLine[];

  void attach(HWND control, Site site);
  HWND hwnd() const { return view_; }

  void append(const std::wstring& text) override;
  void replaceAll(const std::wstring& text) override;
  void clear() override;
  void beginBatch() override;
  void endBatch() override;

  // An allocation failed somewhere: the view lets go of all but its
  // newest lines, and says so. Never throws.
  void relieve();
  // The control told its parent it could not get memory (EN_ERRSPACE).
  void noteNoSpace(HWND from);

 private:
  // Puts text at the end; false when the control refused it.
  bool insert(HWND control, const std::wstring& text, bool scroll);
  // Sends text to the copy being made, starting one at a line start when
  // it is due.
  void copyAlong(const std::wstring& text, std::size_t viewLength);
  void swapInCopy();
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
  bool batching_ = false;
  bool atLineStart_ = true;    // the view's text ends with a line break
  bool noSpace_ = false;       // EN_ERRSPACE seen since the last insertion began
  std::size_t unmeasured_ = 0; // characters added since memory was last asked for
  uint64_t lastMemory_ = 0;
};

}  // namespace tv
