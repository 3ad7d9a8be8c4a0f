// UTF-8 both ways, written here rather than left to the system: a stream
// read in pieces must be put back together across them, and bad bytes must
// show as bad without taking good characters with them, which the system's
// conversion (and XP's in particular) does not promise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tv {

// UTF-8 bytes to UTF-16, piece by piece.
class Utf8Decoder {
 public:
  static constexpr wchar_t kReplacement = 0xFFFD;

  // Appends the text of bytes to out. A sequence cut off at the end is held
  // until the next call. Each maximal invalid subsequence (the longest start
  // of a well-formed sequence, or one byte) becomes one U+FFFD, and the byte
  // that broke it is read again as the start of what follows, so a bad
  // sequence never takes the character after it along. A zero byte shows
  // nothing; one inside a sequence ends it as bad.
  void decode(const uint8_t* bytes, std::size_t n, std::wstring& out);
  // No more bytes come: a held sequence shows as U+FFFD.
  void finish(std::wstring& out);
  // The bytes of the sequence held, for a caller that must show them some
  // other way; reset() then forgets them.
  std::size_t heldCount() const { return heldCount_; }
  const uint8_t* heldBytes() const { return held_; }
  void reset() { heldCount_ = 0; }

 private:
  void start(uint8_t b, std::wstring& out);

  uint8_t held_[3] = {0, 0, 0};
  uint8_t heldCount_ = 0;
  uint8_t needed_ = 0;       // continuation bytes still to come while heldCount_ > 0
  uint8_t low_ = 0x80;       // the range the next continuation byte must be in
  uint8_t high_ = 0xBF;
  uint32_t codePoint_ = 0;
};

// UTF-16 units (on platforms where wchar_t is wider, a unit above 0xFFFF is
// taken as a code point) to UTF-8. A surrogate without its partner becomes
// U+FFFD's bytes.
std::string EncodeUtf8(const wchar_t* units, std::size_t n);

}  // namespace tv
