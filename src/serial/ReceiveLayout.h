// How what the port receives, the program's own lines and the echo of what
// was sent are laid out together in the receive view: where lines end, the
// time stamps, frames split at idle gaps, the hex view's rows and the looks
// of received text. One object sees all of it in the order the view gets
// it (under the receive pipeline's lock), so a line begun by the device and
// a line of the program's own never run into each other unseen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/TextView.h"
#include "base/WallClock.h"

namespace tv {

class ReceiveLayout {
 public:
  // Hex bytes on one line of the view. A rich edit lays out a whole
  // paragraph again on each insertion into it (under Wine in time that
  // grows with the paragraph), so an endless hex stream on one line slowed
  // the view to a crawl; lines of 16 are also what the view holds at its
  // first size and what a hex dump shows.
  static constexpr std::size_t kHexRowBytes = 16;
  // What starts a line of sent data in the view.
  static constexpr const wchar_t* kEchoMark = L"发→ ";

  // The view's text for something, with the looks of its parts (positions
  // in text; before the first, the look the text before it ended with).
  struct Out {
    std::wstring text;
    std::vector<StyleRun> runs;
  };
  // A read that returned data: its tick (for frame gaps) and the local
  // time (for stamps).
  struct Read {
    uint32_t tickMs;
    LocalTime time;
  };

  // Stamps on or off; the idle time that separates frames, 0 for none.
  void setOptions(bool stamps, uint32_t frameGapMs);
  bool stamps() const { return stamps_; }
  // The line that says which day it is, when stamps are turned on or the
  // day changes.
  static std::wstring DateLine(const LocalTime& t);
  static std::wstring Stamp(const LocalTime& t);

  // Received text in text mode, line ends as they came, looking as style
  // and then runs (positions in text) say. read is null for what was held
  // back and is shown at the end, which starts no frame.
  void text(const std::wstring& text, const std::vector<StyleRun>& runs, TextStyle style, const Read* read,
            Out& out);
  // Received bytes in hex mode.
  void hex(const uint8_t* bytes, std::size_t n, const Read& read, Out& out);
  // The program's own text (a report, a device message).
  void own(const std::wstring& text, Out& out);
  // A line that says which day it is, as the program's own, now that
  // stamps were turned on.
  void date(const LocalTime& now, Out& out);
  // What a send writes, as the view shows it, sent at now.
  void echo(const std::wstring& shown, const LocalTime& now, Out& out);
  // The view was emptied, or now holds only text.
  void cleared(const std::wstring& text = std::wstring());

 private:
  void put(TextStyle style, Out& out);
  void newLine(Out& out);
  void stamp(const LocalTime& t, Out& out);
  // A read: a frame gap before it ends the line.
  void begin(const Read& read, Out& out);

  bool stamps_ = false;
  uint32_t frameGapMs_ = 0;

  bool atLineStart_ = true;     // the view's text ends with a line break, or is empty
  bool ownOpen_ = false;        // ... or with the program's own text and no line break
  bool crPending_ = false;      // a CR ended a line; an LF right after it ends the same line
  bool frameGoesOn_ = false;    // the hex row that starts next goes on with a frame
  bool lastWasHex_ = false;     // the last received bytes were shown in hex
  std::size_t hexColumn_ = 0;   // hex bytes on the view's last line so far
  TextStyle endStyle_ = kPlainStyle;      // the look the view's text ends with
  TextStyle receivedStyle_ = kPlainStyle;  // the look received text goes on in
  bool haveRead_ = false;
  uint32_t lastReadMs_ = 0;
  LocalTime readTime_;          // of the last read
  bool dayKnown_ = false;
  LocalTime day_;               // the day the view last said or stamped
};

}  // namespace tv
