#include "send/TextLines.h"

namespace tv {
namespace {

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

void CarriageReturnsToLineFeeds(std::wstring& text) {
  for (wchar_t& c : text)
    if (c == L'\r') c = L'\n';
}

std::vector<TextSpan> SplitTextLines(const std::wstring& text) {
  std::vector<TextSpan> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\n' || text[i] == L'\r' || i + 1 == text.size()) {
      lines.push_back({start, i + 1});
      start = i + 1;
    }
  }
  return lines;
}

std::vector<SendLine> SplitSendLines(std::wstring& text, LineEnd end) {
  std::vector<SendLine> lines;
  if (end == LineEnd::AsIs) {
    CarriageReturnsToLineFeeds(text);
    for (const TextSpan& line : SplitTextLines(text)) lines.push_back({line, line.end});
    return lines;
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'\r' && text[i] != L'\n') continue;
    std::size_t next = i + 1;
    if (text[i] == L'\r' && next < text.size() && text[next] == L'\n') ++next;
    lines.push_back({{start, i}, next});
    start = next;
    i = next - 1;
  }
  if (start < text.size()) lines.push_back({{start, text.size()}, text.size()});
  return lines;
}

const char* LineEndBytes(LineEnd end) {
  switch (end) {
    case LineEnd::Cr: return "\r";
    case LineEnd::Lf: return "\n";
    case LineEnd::CrLf: return "\r\n";
    case LineEnd::AsIs: break;
  }
  return "";
}

std::vector<TextSpan> SplitChunks(const std::wstring& text, TextSpan line, std::size_t maxUnits) {
  std::vector<TextSpan> chunks;
  for (std::size_t p = line.start; p < line.end;) {
    std::size_t end = p + maxUnits < line.end ? p + maxUnits : line.end;
    // A character of two units is converted whole: cut in two, each half
    // would go out as a character of its own (in UTF-8 two bad ones).
    if (end < line.end && IsHighSurrogate(text[end - 1]) && IsLowSurrogate(text[end])) {
      if (end - 1 > p) {
        --end;
      } else {
        ++end;
      }
    }
    chunks.push_back({p, end});
    p = end;
  }
  return chunks;
}

}  // namespace tv
