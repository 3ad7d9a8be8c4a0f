#include "base/ByteSize.h"

#include "base/Format.h"

namespace tv {

std::wstring FormatByteSize(uint64_t v) {
  struct Field {
    uint64_t value;
    const wchar_t* format;
  };
  const Field fields[] = {
      {v >> 40, L" %I64dTB"},
      {(v >> 30) & 1023, L" %I64dGB"},
      {(v >> 20) & 1023, L" %I64dMB"},
      {(v >> 10) & 1023, L" %I64dkB"},
      {v & 1023, L" %I64dB"},
  };
  std::wstring out;
  for (const Field& f : fields) {
    if (f.value != 0) out += Format(f.format, {static_cast<unsigned long long>(f.value)});
  }
  if (out.empty()) out = L" 0B";
  return out;
}

}  // namespace tv
