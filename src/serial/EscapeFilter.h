// Hides the escape sequences a terminal would act on (an embedded Linux
// board's shell, its boot messages, `ls --color`), and turns the ones that
// set colours into looks for the view. Cursor moves, erases and background
// colours are hidden, not acted on. A sequence may be split anywhere across
// the pieces it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/TextView.h"

namespace tv {

class EscapeFilter {
 public:
  // A sequence longer than this is taken for noise that only looked like
  // one (a stray ESC on a line that is not a terminal's): it ends there and
  // the text after it shows, instead of the rest of the session vanishing.
  static constexpr std::size_t kMostControlUnits = 256;
  static constexpr std::size_t kMostStringUnits = 4096;

  // Appends text without its escape sequences to out. Where a colour
  // sequence changes the look, a run starting at that place in out is
  // added to runs (one at a place, the last one kept).
  void filter(const wchar_t* text, std::size_t n, std::wstring& out, std::vector<StyleRun>& runs);
  // The look of what comes next.
  TextStyle style() const { return style_; }
  // A sequence under way is forgotten (what follows was shown elsewhere);
  // the look stays.
  void dropSequence() { state_ = State::Ground; }

 private:
  enum class State : uint8_t { Ground, Escape, EscapeIntermediate, Control, String, StringEscape };

  void enter(State state);
  void applyGraphics(std::vector<StyleRun>& runs, std::size_t at);
  void setStyle(TextStyle style, std::vector<StyleRun>& runs, std::size_t at);

  State state_ = State::Ground;
  TextStyle style_ = kPlainStyle;
  std::size_t length_ = 0;    // units of the sequence under way
  bool graphics_ = true;      // the control sequence so far can be a colour one
  std::string parameters_;    // of the control sequence under way, while short
};

}  // namespace tv
