#include "base/Format.h"

#include <vector>

namespace tv {
namespace {

// How one conversion ("%-5s", "%04d", "%I64d"...) is to be laid out.
struct Field {
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

std::wstring Pad(std::wstring body, const Field& field, bool negative) {
  std::wstring sign = negative ? L"-" : L"";
  std::size_t len = body.size() + sign.size();
  if (static_cast<int>(len) >= field.width) return sign + body;
  std::size_t fill = static_cast<std::size_t>(field.width) - len;
  if (field.leftAlign) return sign + body + std::wstring(fill, L' ');
  if (field.zeroPad) return sign + std::wstring(fill, L'0') + body;
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
    Field field;
    for (;; ++p) {
      if (*p == L'-') field.leftAlign = true;
      else if (*p == L'0') field.zeroPad = true;
      else if (*p == L'#' || *p == L' ' || *p == L'+') continue;
      else break;
    }
    while (*p >= L'0' && *p <= L'9') field.width = field.width * 10 + (*p++ - L'0');
    if (*p == L'.') {
      ++p;
      field.precision = 0;
      while (*p >= L'0' && *p <= L'9') field.precision = field.precision * 10 + (*p++ - L'0');
    }
    if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4') {
      field.wide64 = true;
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
        if (!field.wide64) v = static_cast<int32_t>(v);
        unsigned long long mag = v < 0 ? 0ULL - static_cast<unsigned long long>(v)
                                       : static_cast<unsigned long long>(v);
        out += Pad(Digits(mag, 10, false), field, v < 0);
        break;
      }
      case L'u':
      case L'x':
      case L'X': {
        unsigned long long v = arg ? arg->asUnsigned() : 0;
        if (!field.wide64) v = static_cast<uint32_t>(v);
        unsigned base = *p == L'u' ? 10 : 16;
        out += Pad(Digits(v, base, *p == L'X'), field, false);
        break;
      }
      case L'c': {
        wchar_t c = arg ? static_cast<wchar_t>(arg->asUnsigned()) : L'\0';
        out += Pad(std::wstring(1, c), Field{field.leftAlign, false, field.width, -1, false}, false);
        break;
      }
      case L's':
      case L'S': {
        std::wstring s = arg ? arg->text() : L"";
        if (field.precision >= 0 && s.size() > static_cast<std::size_t>(field.precision))
          s.resize(static_cast<std::size_t>(field.precision));
        out += Pad(s, Field{field.leftAlign, false, field.width, -1, false}, false);
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
