#include "serial/ReceiveDecoder.h"

namespace tv {

void ReceiveDecoder::decodeSegment(const std::string& segment, std::wstring& out) {
  if (segment.empty()) return;
  std::wstring text = convert_(segment.data(), segment.size());
  for (wchar_t& c : text)
    if (c == L'\r') c = L' ';
  out += text;
}

std::wstring ReceiveDecoder::finish() {
  std::wstring out;
  if (carry_ != 0) decodeSegment(std::string(1, static_cast<char>(carry_)), out);
  carry_ = 0;
  return out;
}

std::wstring ReceiveDecoder::decode(const uint8_t* bytes, std::size_t n) {
  std::string chunk;
  chunk.reserve(n + 1);
  if (carry_ != 0) {
    chunk.push_back(static_cast<char>(carry_));
    carry_ = 0;
  }
  chunk.append(reinterpret_cast<const char*>(bytes), n);

  std::wstring out;
  std::size_t segmentStart = 0;
  std::size_t i = 0;
  while (i < chunk.size()) {
    uint8_t b = static_cast<uint8_t>(chunk[i]);
    if (b == 0) {
      decodeSegment(chunk.substr(segmentStart, i - segmentStart), out);
      segmentStart = ++i;
      continue;
    }
    if (isLead_(b)) {
      if (i + 1 == chunk.size()) {
        // Half a character at the end of what arrived: wait for the rest.
        decodeSegment(chunk.substr(segmentStart, i - segmentStart), out);
        carry_ = b;
        return out;
      }
      // A trail byte is never zero; a lead byte before a zero stands alone.
      i += static_cast<uint8_t>(chunk[i + 1]) == 0 ? 1 : 2;
      continue;
    }
    ++i;
  }
  decodeSegment(chunk.substr(segmentStart), out);
  return out;
}

}  // namespace tv
