// Received bytes in any read splits: what is shown never depends on how the
// driver split them.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "FuzzCheck.h"
#include "serial/ReceiveDecoder.h"

namespace {

// A double-byte code page like 936: 0x81..0xFE lead, any byte trails.
bool IsLead(uint8_t b) { return b >= 0x81 && b <= 0xFE; }

// Pairs become one character, other bytes themselves, a lone lead byte '?'.
std::wstring Convert(const char* bytes, std::size_t n) {
  // A zero byte never reaches the conversion, not even as a trail byte.
  for (std::size_t i = 0; i < n; ++i) FUZZ_CHECK(bytes[i] != 0);
  std::wstring out;
  for (std::size_t i = 0; i < n; ++i) {
    uint8_t b = static_cast<uint8_t>(bytes[i]);
    if (IsLead(b) && i + 1 < n) {
      out.push_back(static_cast<wchar_t>(0x4E00 + ((b - 0x81) << 8) + static_cast<uint8_t>(bytes[++i])));
    } else {
      out.push_back(IsLead(b) ? L'?' : static_cast<wchar_t>(b));
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace tv;
  FuzzedDataProvider in(data, size);
  std::vector<std::size_t> reads;
  for (int n = in.ConsumeIntegralInRange(0, 16); n > 0; --n) reads.push_back(in.ConsumeIntegralInRange<std::size_t>(0, 64));
  std::vector<uint8_t> stream = in.ConsumeRemainingBytes<uint8_t>();

  ReceiveDecoder whole(IsLead, Convert);
  std::wstring expected = whole.decode(stream.data(), stream.size());

  ReceiveDecoder split(IsLead, Convert);
  std::wstring shown;
  std::size_t at = 0;
  for (std::size_t length : reads) {
    if (length > stream.size() - at) length = stream.size() - at;
    // A read of its own buffer, so reading past it is caught.
    std::vector<uint8_t> read(stream.begin() + at, stream.begin() + at + length);
    shown += split.decode(read.data(), read.size());
    at += length;
  }
  std::vector<uint8_t> rest(stream.begin() + at, stream.end());
  shown += split.decode(rest.data(), rest.size());

  FUZZ_CHECK(shown == expected);
  FUZZ_CHECK(split.carried() == whole.carried());
  FUZZ_CHECK(shown.find(L'\r') == std::wstring::npos);
  return 0;
}
