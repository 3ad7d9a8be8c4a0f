#include "base/HexCodec.h"

#include <cwchar>

namespace tv {
namespace {

unsigned HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return static_cast<unsigned>(c - L'0');
  if (c >= L'a' && c <= L'f') return static_cast<unsigned>(c - L'a' + 10);
  return static_cast<unsigned>(c - L'A' + 10);
}

// Reads one number at p, which is a hex digit. Returns the position after
// the number. The value saturates at 0x7FFFFFFF, as a signed 32-bit base-16
// conversion does, so a long run gives 0xFF as its byte.
std::size_t ReadNumber(const wchar_t* text, std::size_t p, std::size_t length, uint32_t* value) {
  std::size_t start = p;
  if (text[p] == L'0' && p + 1 < length && (text[p + 1] == L'x' || text[p + 1] == L'X')) {
    if (p + 2 < length && IsHexDigit(text[p + 2])) {
      start = p + 2;
    } else {
      // A prefix with no digits after it is just the leading zero.
      *value = 0;
      return p + 1;
    }
  }
  uint32_t v = 0;
  bool saturated = false;
  std::size_t q = start;
  for (; q < length && IsHexDigit(text[q]); ++q) {
    if (saturated) continue;
    uint64_t next = (static_cast<uint64_t>(v) << 4) | HexValue(text[q]);
    if (next > 0x7FFFFFFFu) {
      saturated = true;
      v = 0x7FFFFFFFu;
    } else {
      v = static_cast<uint32_t>(next);
    }
  }
  *value = v;
  return q;
}

}  // namespace

bool IsHexDigit(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

int32_t HexCodec::Scan(const wchar_t* text, std::size_t length, uint8_t* out) {
  int32_t count = 0;
  std::size_t p = 0;
  while (p < length) {
    if (IsHexDigit(text[p])) {
      uint32_t value = 0;
      p = ReadNumber(text, p, length, &value);
      if (out != nullptr) out[count] = static_cast<uint8_t>(value & 0xFF);
      ++count;
    }
    // After a number this skips the character that ended it, which is
    // never a hex digit; otherwise it skips the separator.
    ++p;
  }
  return count;
}

int32_t HexCodec::Parse(const wchar_t* text) {
  Release();
  source_ = text;
  if (text == nullptr) return 0;
  std::size_t length = std::wcslen(text);
  count_ = Scan(text, length, nullptr);
  data_.assign(static_cast<std::size_t>(count_), 0);
  Scan(text, length, data_.data());
  return count_;
}

void HexCodec::Release() {
  std::vector<uint8_t>().swap(data_);
  count_ = 0;
  source_ = nullptr;
}

std::wstring FormatHexBytes(const uint8_t* bytes, std::size_t n) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring out;
  out.reserve(n * 3);
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 0x0F]);
    out.push_back(L' ');
  }
  return out;
}

}  // namespace tv
