// Turns received bytes into display text: in the ANSI code page, putting
// double-byte characters that arrive split across reads back together, or
// as UTF-8; with escape sequences shown as they come or hidden, their
// colours then given as looks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/TextView.h"
#include "base/Utf8.h"
#include "serial/EscapeFilter.h"

namespace tv {

class ReceiveDecoder {
 public:
  using LeadByteTest = bool (*)(uint8_t);
  // Converts complete characters of the code page to UTF-16.
  using Converter = std::wstring (*)(const char* bytes, std::size_t n);

  ReceiveDecoder(LeadByteTest isLead, Converter convert) : isLead_(isLead), convert_(convert) {}

  // How the bytes that come next are read. Half a character held in the
  // old character set shows alone, before what comes next.
  void setMode(bool utf8, bool escapes);

  // Text for the bytes just read. A lead byte (in UTF-8 the start of a
  // sequence) at the very end is held back until the next read. A zero
  // byte shows nothing and separates: the bytes after it are shown, and a
  // lead byte right before it is shown alone, so what appears never
  // depends on how the driver split the reads. Line ends come as they
  // were sent; how they show is the view's business.
  std::wstring decode(const uint8_t* bytes, std::size_t n);
  // The same, with the looks of the text appended (positions in out) when
  // escape sequences are hidden.
  void decode(const uint8_t* bytes, std::size_t n, std::wstring& out, std::vector<StyleRun>& runs);
  // The look of the text that comes next.
  TextStyle style() const { return escapes_ ? filter_.style() : kPlainStyle; }

  // The code page's half character held, 0 when none.
  uint8_t carried() const { return carry_; }
  // Whatever is held for the next read, in either character set.
  std::string heldBytes() const;
  // Forgets what is held; an escape sequence under way is forgotten too.
  void reset();
  // When no more bytes will come: the held half character, shown alone.
  std::wstring finish();

 private:
  void decodeAnsi(const uint8_t* bytes, std::size_t n, std::wstring& out);
  void decodeSegment(const std::string& segment, std::wstring& out);
  void decodeText(const uint8_t* bytes, std::size_t n, std::wstring& out);

  LeadByteTest isLead_;
  Converter convert_;
  uint8_t carry_ = 0;  // half of a character, 0 when nothing is held
  bool utf8_ = false;
  bool escapes_ = false;  // hidden
  Utf8Decoder utf8Decoder_;
  EscapeFilter filter_;
  std::wstring switched_;  // what the old character set held at a switch
};

}  // namespace tv
