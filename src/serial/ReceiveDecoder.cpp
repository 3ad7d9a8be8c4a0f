#include "serial/ReceiveDecoder.h"

namespace tv {

void ReceiveDecoder::setMode(bool utf8, bool escapes) {
  if (utf8 != utf8_) {
    switched_ += finish();
    utf8_ = utf8;
  }
  if (escapes != escapes_) {
    // Turned on, a new look starts plain; turned off, none is kept.
    filter_ = EscapeFilter();
    escapes_ = escapes;
  }
}

void ReceiveDecoder::decodeSegment(const std::string& segment, std::wstring& out) {
  if (segment.empty()) return;
  out += convert_(segment.data(), segment.size());
}

std::string ReceiveDecoder::heldBytes() const {
  if (utf8_) return std::string(reinterpret_cast<const char*>(utf8Decoder_.heldBytes()), utf8Decoder_.heldCount());
  return carry_ != 0 ? std::string(1, static_cast<char>(carry_)) : std::string();
}

void ReceiveDecoder::reset() {
  carry_ = 0;
  utf8Decoder_.reset();
  filter_.dropSequence();
}

std::wstring ReceiveDecoder::finish() {
  std::wstring out;
  if (carry_ != 0) decodeSegment(std::string(1, static_cast<char>(carry_)), out);
  carry_ = 0;
  utf8Decoder_.finish(out);
  return out;
}

std::wstring ReceiveDecoder::decode(const uint8_t* bytes, std::size_t n) {
  std::wstring out;
  std::vector<StyleRun> runs;
  decode(bytes, n, out, runs);
  return out;
}

void ReceiveDecoder::decodeText(const uint8_t* bytes, std::size_t n, std::wstring& out) {
  if (!switched_.empty()) {
    out += switched_;
    switched_.clear();
  }
  if (utf8_) {
    utf8Decoder_.decode(bytes, n, out);
  } else {
    decodeAnsi(bytes, n, out);
  }
}

void ReceiveDecoder::decode(const uint8_t* bytes, std::size_t n, std::wstring& out, std::vector<StyleRun>& runs) {
  if (!escapes_) {
    decodeText(bytes, n, out);
    return;
  }
  std::wstring text;
  decodeText(bytes, n, text);
  filter_.filter(text.data(), text.size(), out, runs);
}

void ReceiveDecoder::decodeAnsi(const uint8_t* bytes, std::size_t n, std::wstring& out) {
  std::string chunk;
  chunk.reserve(n + 1);
  if (carry_ != 0) {
    chunk.push_back(static_cast<char>(carry_));
    carry_ = 0;
  }
  chunk.append(reinterpret_cast<const char*>(bytes), n);

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
        return;
      }
      // A trail byte is never zero; a lead byte before a zero stands alone.
      i += static_cast<uint8_t>(chunk[i + 1]) == 0 ? 1 : 2;
      continue;
    }
    ++i;
  }
  decodeSegment(chunk.substr(segmentStart), out);
}

}  // namespace tv
