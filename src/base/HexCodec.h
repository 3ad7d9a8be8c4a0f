// Hex text to bytes, and the one way bytes are printed as hex text.
// The hex pane can hold anything that was pasted or loaded, so parsing is
// lenient: every run of hex digits is one number, everything else separates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tv {

bool IsHexDigit(wchar_t c);

class HexCodec {
 public:
  // Parses the NUL-terminated text; the bytes stay valid until Release or
  // the next Parse. Returns the byte count. A 0x00 byte is ordinary data.
  int32_t Parse(const wchar_t* text);
  void Release();

  int32_t count() const { return count_; }
  const uint8_t* data() const { return data_.data(); }
  const wchar_t* source() const { return source_; }

 private:
  // Runs the scan; stores the bytes only when out is given.
  static int32_t Scan(const wchar_t* text, std::size_t length, uint8_t* out);

  int32_t count_ = 0;
  std::vector<uint8_t> data_;
  const wchar_t* source_ = nullptr;  // not owned
};

// "%02X " per byte: n bytes give 3n units, always ending in a blank.
std::wstring FormatHexBytes(const uint8_t* bytes, std::size_t n);

}  // namespace tv
