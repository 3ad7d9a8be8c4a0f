// Turns received bytes into display text in the ANSI code page, putting
// double-byte characters that arrive split across reads back together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tv {

class ReceiveDecoder {
 public:
  using LeadByteTest = bool (*)(uint8_t);
  // Converts complete characters of the code page to UTF-16.
  using Converter = std::wstring (*)(const char* bytes, std::size_t n);

  ReceiveDecoder(LeadByteTest isLead, Converter convert) : isLead_(isLead), convert_(convert) {}

  // Text for the bytes just read. A lead byte at the very end is held back
  // until the next read. A zero byte shows nothing and separates: the bytes
  // after it are shown, and a lead byte right before it is shown alone, so
  // what appears never depends on how the driver split the reads. Carriage
  // returns show as blanks, so CR LF is a blank and one line break.
  std::wstring decode(const uint8_t* bytes, std::size_t n);

  uint8_t carried() const { return carry_; }
  void reset() { carry_ = 0; }
  // When no more bytes will come: the held half character, shown alone.
  std::wstring finish();

 private:
  void decodeSegment(const std::string& segment, std::wstring& out);

  LeadByteTest isLead_;
  Converter convert_;
  uint8_t carry_ = 0;  // half of a character, 0 when nothing is held
};

}  // namespace tv
