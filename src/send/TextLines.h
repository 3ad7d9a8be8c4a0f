// How the text job cuts the text pane into lines and chunks.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "send/SendOptions.h"

namespace tv {

// Largest number of UTF-16 units converted and written at once.
constexpr std::size_t kTextChunkUnits = 50;

struct TextSpan {
  std::size_t start;
  std::size_t end;  // exclusive
};

// Carriage returns become line feeds: a line break goes out as 0x0A and a
// carriage return is never sent.
void CarriageReturnsToLineFeeds(std::wstring& text);

// Lines run up to and including the unit that ends them: a line feed, or
// the last unit of the text whatever it is.
std::vector<TextSpan> SplitTextLines(const std::wstring& text);

// A line as a text send sends it: its units, and where the next line
// starts (for the progress).
struct SendLine {
  TextSpan body;
  std::size_t next;
};

// The lines of a text send. As typed (AsIs), carriage returns become line
// feeds first (in text) and each line keeps the line feed that ends it.
// With an ending chosen, a line break (CR, LF, or CR LF as one) ends a
// line and is not part of it: the ending takes its place after every
// line, the last included; a break at the very end starts no other line.
std::vector<SendLine> SplitSendLines(std::wstring& text, LineEnd end);

// The bytes of the ending: CR, LF or CR LF; none as typed.
const char* LineEndBytes(LineEnd end);

// Pieces of the line of text, at most kTextChunkUnits units from the
// line's start. A piece never ends inside a surrogate pair: it ends a unit
// early instead (or, when only one unit long, a unit late).
std::vector<TextSpan> SplitChunks(const std::wstring& text, TextSpan line, std::size_t maxUnits = kTextChunkUnits);

}  // namespace tv
