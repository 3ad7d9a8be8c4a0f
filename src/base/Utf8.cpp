#include "base/Utf8.h"

namespace tv {
namespace {

void PutCodePoint(uint32_t cp, std::wstring& out) {
  if (cp < 0x10000) {
    out.push_back(static_cast<wchar_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
  }
}

bool IsHighSurrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

void Utf8Decoder::start(uint8_t b, std::wstring& out) {
  if (b < 0x80) {
    if (b != 0) out.push_back(static_cast<wchar_t>(b));
    return;
  }
  // The well-formed sequences: the lead byte says how many follow and the
  // range of the first of them (which rules out overlong forms, surrogates
  // and code points past U+10FFFF).
  low_ = 0x80;
  high_ = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    needed_ = 1;
    codePoint_ = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    needed_ = 2;
    codePoint_ = b & 0x0F;
    if (b == 0xE0) low_ = 0xA0;
    if (b == 0xED) high_ = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    needed_ = 3;
    codePoint_ = b & 0x07;
    if (b == 0xF0) low_ = 0x90;
    if (b == 0xF4) high_ = 0x8F;
  } else {
    out.push_back(kReplacement);  // a continuation byte alone, or a byte no sequence starts with
    return;
  }
  held_[0] = b;
  heldCount_ = 1;
}

void Utf8Decoder::decode(const uint8_t* bytes, std::size_t n, std::wstring& out) {
  out.reserve(out.size() + n);
  for (std::size_t i = 0; i < n; ++i) {
    const uint8_t b = bytes[i];
    if (heldCount_ == 0) {
      // Plain ASCII is the common case: no state to look at.
      if (b >= 0x80) {
        start(b, out);
      } else if (b != 0) {
        out.push_back(static_cast<wchar_t>(b));
      }
      continue;
    }
    if (b < low_ || b > high_) {
      // The sequence so far is one bad subsequence; b starts afresh.
      out.push_back(kReplacement);
      heldCount_ = 0;
      start(b, out);
      continue;
    }
    codePoint_ = (codePoint_ << 6) | (b & 0x3F);
    low_ = 0x80;
    high_ = 0xBF;
    if (--needed_ == 0) {
      heldCount_ = 0;
      PutCodePoint(codePoint_, out);
    } else {
      held_[heldCount_++] = b;
    }
  }
}

void Utf8Decoder::finish(std::wstring& out) {
  if (heldCount_ > 0) out.push_back(kReplacement);
  heldCount_ = 0;
}

std::string EncodeUtf8(const wchar_t* units, std::size_t n) {
  std::string out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    uint32_t cp = static_cast<uint32_t>(units[i]);
    if (IsHighSurrogate(cp) && i + 1 < n && IsLowSurrogate(static_cast<uint32_t>(units[i + 1]))) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(units[++i]) - 0xDC00);
    } else if (IsHighSurrogate(cp) || IsLowSurrogate(cp) || cp > 0x10FFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace tv
