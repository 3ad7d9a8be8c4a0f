#include "app/Format.h"

#include <vector>

namespace tv {
namespace {

struct Spec {
  bool leftAlign = false;
  bool zeroPad = false;
  int width = 0;
  int precision = -1;
  bool wide64 = false;
};

std::wstring Digits(unsigned long long v, unsigned base, bool upper) {
  const wchar_t* set = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
  std::wstring out;
  do {
    out.insert(out.begin(), set[v % base]);
    v /= base;
  } while (v != 0);
  return out;
}

std::wstring Pad(std::wstring body, const Spec& spec, bool negative) {
  std::wstring sign = negative ? L"-" : L"";
  std::size_t len = body.size() + sign.size();
  if (static_cast<int>(len) >= spec.width) return sign + body;
  std::size_t fill = static_cast<std::size_t>(spec.width) - len;
  if (spec.leftAlign) return sign + body + std::wstring(fill, L' ');
  if (spec.zeroPad) return sign + std::wstring(fill, L'0') + body;
  return std::wstring(fill, L' ') + sign + body;
}

}  // namespace

std::wstring Format(const wchar_t* format, std::initializer_list<FormatArg> args,
                    std::size_t maxUnits) {
  std::wstring out;
  std::vector<FormatArg> list(args);
  std::size_t next = 0;
  auto take = [&]() -> const FormatArg* { return next < list.size() ? &list[next++] : nullptr; };

  for (const wchar_t* p = format; *p != L'\0'; ++p) {
    if (*p != L'%') {
      out.push_back(*p);
      continue;
    }
    ++p;
    if (*p == L'%') {
      out.push_back(L'%');
      continue;
    }
    Spec spec;
    for (;; ++p) {
      if (*p == L'-') spec.leftAlign = true;
      else if (*p == L'0') spec.zeroPad = true;
      else if (*p == L'#' || *p == L' ' || *p == L'+') continue;
      else break;
    }
    while (*p >= L'0' && *p <= L'9') spec.width = spec.width * 10 + (*p++ - L'0');
    if (*p == L'.') {
      ++p;
      spec.precision = 0;
      while (*p >= L'0' && *p <= L'9') spec.precision = spec.precision * 10 + (*p++ - L'0');
    }
    if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4') {
      spec.wide64 = true;
      p += 3;
    } else if (*p == L'l' || *p == L'h' || *p == L'w') {
      ++p;
    }
    if (*p == L'\0') break;

    const FormatArg* arg = take();
    switch (*p) {
      case L'd':
      case L'i': {
        long long v = arg ? arg->asSigned() : 0;
        if (!spec.wide64) v = static_cast<int32_t>(v);
        unsigned long long mag = v < 0 ? 0ULL - static_cast<unsigned long long>(v)
                                       : static_cast<unsigned long long>(v);
        out += Pad(Digits(mag, 10, false), spec, v < 0);
        break;
      }
      case L'u':
      case L'x':
      case L'X': {
        unsigned long long v = arg ? arg->asUnsigned() : 0;
        if (!spec.wide64) v = static_cast<uint32_t>(v);
        unsigned base = *p == L'u' ? 10 : 16;
        out += Pad(Digits(v, base, *p == L'X'), spec, false);
        break;
      }
      case L'c': {
        wchar_t c = arg ? static_cast<wchar_t>(arg->asUnsigned()) : L'\0';
        out += Pad(std::wstring(1, c), Spec{spec.leftAlign, false, spec.width, -1, false}, false);
        break;
      }
      case L's':
      case L'S': {
        std::wstring s = arg ? arg->text() : L"";
        if (spec.precision >= 0 && s.size() > static_cast<std::size_t>(spec.precision))
          s.resize(static_cast<std::size_t>(spec.precision));
        out += Pad(s, Spec{spec.leftAlign, false, spec.width, -1, false}, false);
        break;
      }
      default:
        // Unknown conversions print themselves, so a typo shows up in the text.
        out.push_back(*p);
        break;
    }
    if (out.size() > maxUnits) break;
  }
  if (out.size() > maxUnits) out.resize(maxUnits);
  return out;
}

}  // namespace tv
