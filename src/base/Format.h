// Text formatting in the wsprintf dialect the program's messages are written
// in ("%s", "%c", "%d", "%02X", "%04d", "%I64d", "%ld"), without <windows.h>,
// so the texts can be checked on any platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace tv {

class FormatArg {
 public:
  enum class Kind { Signed, Unsigned, Text, Char };

  FormatArg(int v) : kind_(Kind::Signed), i_(v) {}
  FormatArg(long v) : kind_(Kind::Signed), i_(v) {}
  FormatArg(long long v) : kind_(Kind::Signed), i_(v) {}
  FormatArg(unsigned v) : kind_(Kind::Unsigned), u_(v) {}
  FormatArg(unsigned long v) : kind_(Kind::Unsigned), u_(v) {}
  FormatArg(unsigned long long v) : kind_(Kind::Unsigned), u_(v) {}
  FormatArg(wchar_t c) : kind_(Kind::Char), u_(static_cast<unsigned long long>(c)) {}
  FormatArg(const wchar_t* s) : kind_(Kind::Text), s_(s ? s : L"") {}
  FormatArg(const std::wstring& s) : kind_(Kind::Text), s_(s.c_str()) {}

  Kind kind() const { return kind_; }
  long long asSigned() const { return kind_ == Kind::Signed ? i_ : static_cast<long long>(u_); }
  unsigned long long asUnsigned() const {
    return kind_ == Kind::Signed ? static_cast<unsigned long long>(i_) : u_;
  }
  const wchar_t* text() const { return kind_ == Kind::Text ? s_ : L""; }

 private:
  Kind kind_;
  long long i_ = 0;
  unsigned long long u_ = 0;
  const wchar_t* s_ = nullptr;
};

// The size of the buffer every formatted report goes through; the formatter
// never produces more than kFormatBufferUnits - 1 units, as the platform's
// own wvsprintfW cuts its output.
constexpr std::size_t kFormatBufferUnits = 1024;

// Formats like wsprintfW. Integer width arguments narrower than 64 bits are
// taken as 32-bit, as the platform formatter does; "%I64" takes 64 bits.
// Output is cut after maxUnits units.
std::wstring Format(const wchar_t* format, std::initializer_list<FormatArg> args,
                    std::size_t maxUnits = kFormatBufferUnits - 1);

}  // namespace tv
