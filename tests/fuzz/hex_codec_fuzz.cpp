// The hex pane's text, whatever was pasted or loaded into it.
#include <cstring>

#include "FuzzCheck.h"
#include "base/HexCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace tv;
  std::wstring text = Utf16Units(data, size);
  std::size_t digits = 0;
  for (wchar_t c : std::wstring(text.c_str())) digits += IsHexDigit(c) ? 1 : 0;

  HexCodec codec;
  int32_t count = codec.Parse(text.c_str());
  FUZZ_CHECK(count >= 0 && count == codec.count());
  FUZZ_CHECK(static_cast<std::size_t>(count) <= digits);
  FUZZ_CHECK(codec.source() == text.c_str());
  std::basic_string<uint8_t> bytes(codec.data(), static_cast<std::size_t>(count));

  // What the program prints as hex reads back as the same bytes.
  std::wstring printed = FormatHexBytes(bytes.data(), bytes.size());
  FUZZ_CHECK(printed.size() == bytes.size() * 3);
  HexCodec again;
  FUZZ_CHECK(again.Parse(printed.c_str()) == count);
  FUZZ_CHECK(bytes.empty() || std::memcmp(again.data(), bytes.data(), bytes.size()) == 0);

  codec.Release();
  FUZZ_CHECK(codec.count() == 0 && codec.source() == nullptr);
  return 0;
}
