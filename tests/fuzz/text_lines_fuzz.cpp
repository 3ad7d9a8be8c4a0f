// The text pane cut into lines and chunks: every unit is sent once, in
// order, no carriage return goes out, and no chunk ends inside a surrogate
// pair.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "send/TextLines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace tv;
  FuzzedDataProvider in(data, size);
  std::size_t maxUnits = in.ConsumeIntegralInRange<std::size_t>(1, 80);
  std::vector<uint8_t> rest = in.ConsumeRemainingBytes<uint8_t>();
  std::wstring text = Utf16Units(rest.data(), rest.size());
  CarriageReturnsToLineFeeds(text);
  FUZZ_CHECK(text.find(L'\r') == std::wstring::npos);

  std::size_t next = 0;
  for (const TextSpan& line : SplitTextLines(text)) {
    FUZZ_CHECK(line.start == next && line.end > line.start && line.end <= text.size());
    // A line ends at a line feed, or at the end of the text.
    for (std::size_t i = line.start; i + 1 < line.end; ++i) FUZZ_CHECK(text[i] != L'\n');
    FUZZ_CHECK(text[line.end - 1] == L'\n' || line.end == text.size());
    std::size_t chunkNext = line.start;
    for (const TextSpan& chunk : SplitChunks(text, line, maxUnits)) {
      FUZZ_CHECK(chunk.start == chunkNext && chunk.end > chunk.start);
      // A surrogate pair is never cut, which may take a one-unit chunk to two.
      FUZZ_CHECK(chunk.end - chunk.start <= (maxUnits < 2 ? 2 : maxUnits));
      if (chunk.end < line.end)
        FUZZ_CHECK(!(text[chunk.end - 1] >= 0xD800 && text[chunk.end - 1] <= 0xDBFF && text[chunk.end] >= 0xDC00 &&
                     text[chunk.end] <= 0xDFFF));
      chunkNext = chunk.end;
    }
    FUZZ_CHECK(chunkNext == line.end);
    next = line.end;
  }
  FUZZ_CHECK(next == text.size());
  return 0;
}
