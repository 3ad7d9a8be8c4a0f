// Received bytes in any read splits: what is shown never depends on how the
// driver split them, in the code page or in UTF-8, with escape sequences
// hidden or not; in UTF-8 no byte is lost or shown twice.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
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

// UTF-8 the slow way, the whole stream at once: at each place the longest
// valid start of a sequence is measured; a whole one is a character, a cut
// one (or a byte no sequence starts with) one U+FFFD; a zero shows nothing.
// Every byte is looked at once, so nothing is lost or shown twice.
std::wstring ReferenceUtf8(const std::vector<uint8_t>& s) {
  std::wstring out;
  std::size_t i = 0;
  while (i < s.size()) {
    const uint8_t b = s[i];
    if (b < 0x80) {
      if (b != 0) out.push_back(static_cast<wchar_t>(b));
      ++i;
      continue;
    }
    std::size_t length = 0;
    uint8_t low = 0x80, high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) length = 2;
    if (b >= 0xE0 && b <= 0xEF) length = 3;
    if (b >= 0xF0 && b <= 0xF4) length = 4;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
    std::size_t valid = 1;
    uint32_t cp = length == 2 ? b & 0x1F : length == 3 ? b & 0x0F : b & 0x07;
    while (length > 0 && valid < length && i + valid < s.size()) {
      const uint8_t c = s[i + valid];
      if (c < (valid == 1 ? low : 0x80) || c > (valid == 1 ? high : 0xBF)) break;
      cp = (cp << 6) | (c & 0x3F);
      ++valid;
    }
    if (length > 0 && valid == length) {
      if (cp >= 0x10000) {
        out.push_back(static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
      } else {
        out.push_back(static_cast<wchar_t>(cp));
      }
    } else {
      out.push_back(0xFFFD);
    }
    i += valid;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace tv;
  FuzzedDataProvider in(data, size);
  const bool utf8 = in.ConsumeBool();
  const bool escapes = in.ConsumeBool();
  std::vector<std::size_t> reads;
  for (int n = in.ConsumeIntegralInRange(0, 16); n > 0; --n) reads.push_back(in.ConsumeIntegralInRange<std::size_t>(0, 64));
  std::vector<uint8_t> stream = in.ConsumeRemainingBytes<uint8_t>();

  ReceiveDecoder whole(IsLead, Convert);
  whole.setMode(utf8, escapes);
  std::wstring expected;
  std::vector<StyleRun> expectedRuns;
  whole.decode(stream.data(), stream.size(), expected, expectedRuns);

  ReceiveDecoder split(IsLead, Convert);
  split.setMode(utf8, escapes);
  std::wstring shown;
  std::vector<StyleRun> runs;
  std::size_t at = 0;
  for (std::size_t length : reads) {
    if (length > stream.size() - at) length = stream.size() - at;
    // A read of its own buffer, so reading past it is caught.
    std::vector<uint8_t> read(stream.begin() + at, stream.begin() + at + length);
    split.decode(read.data(), read.size(), shown, runs);
    at += length;
  }
  std::vector<uint8_t> rest(stream.begin() + at, stream.end());
  split.decode(rest.data(), rest.size(), shown, runs);

  FUZZ_CHECK(shown == expected);
  FUZZ_CHECK(runs.size() == expectedRuns.size());
  for (std::size_t i = 0; i < runs.size(); ++i) FUZZ_CHECK(runs[i] == expectedRuns[i]);
  FUZZ_CHECK(split.carried() == whole.carried());
  FUZZ_CHECK(split.heldBytes() == whole.heldBytes());
  if (utf8 && !escapes) {
    // What is held at the end is the stream's own last bytes, and shown
    // as U+FFFD when the stream ends there: together every byte once.
    const std::string held = split.heldBytes();
    FUZZ_CHECK(held.size() <= 3 && held.size() <= stream.size());
    FUZZ_CHECK(std::equal(held.begin(), held.end(), stream.end() - static_cast<std::ptrdiff_t>(held.size()),
                          [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }));
    FUZZ_CHECK(shown + split.finish() == ReferenceUtf8(stream));
  }
  return 0;
}
