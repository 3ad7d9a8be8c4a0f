// How the text job cuts the text pane into lines and chunks.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

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

// Pieces of the line of text, at most kTextChunkUnits units from the
// line's start. A piece never ends inside a surrogate pair: it ends a unit
// early instead (or, when only one unit long, a unit late).
std::vector<TextSpan> SplitChunks(const std::wstring& text, TextSpan line, std::size_t maxUnits = kTextChunkUnits);

}  // namespace tv
