#include "send/TextLines.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tv {
namespace {

using Spans = std::vector<std::pair<std::size_t, std::size_t>>;

Spans AsPairs(const std::vector<TextSpan>& spans) {
  Spans out;
  for (const TextSpan& s : spans) out.emplace_back(s.start, s.end);
  return out;
}

TEST(TextLines, CarriageReturnsBecomeLineFeeds) {
  std::wstring text = L"AB\rCD\r\n\r";
  CarriageReturnsToLineFeeds(text);
  EXPECT_EQ(text, L"AB\nCD\n\n\n");
  std::wstring none = L"";
  CarriageReturnsToLineFeeds(none);
  EXPECT_EQ(none, L"");
}

TEST(TextLines, LinesEndWithALineFeedOrTheText) {
  std::wstring text = L"AB\rCD";
  CarriageReturnsToLineFeeds(text);
  EXPECT_EQ(AsPairs(SplitTextLines(text)), (Spans{{0, 3}, {3, 5}}));

  struct Case {
    const wchar_t* text;
    Spans lines;
  } cases[] = {
      {L"", {}},
      {L"A", {{0, 1}}},
      {L"\n", {{0, 1}}},
      {L"AB\n", {{0, 3}}},
      {L"\n\nX", {{0, 1}, {1, 2}, {2, 3}}},
      {L"AB\nCD\n", {{0, 3}, {3, 6}}},
      {L"中文\n字", {{0, 3}, {3, 4}}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(AsPairs(SplitTextLines(c.text)), c.lines) << testing::PrintToString(std::wstring(c.text));
}

TEST(TextLines, Chunks) {
  const std::wstring kLong(200, L'x');
  EXPECT_EQ(AsPairs(SplitChunks(kLong, {0, 120})), (Spans{{0, 50}, {50, 100}, {100, 120}}));
  EXPECT_EQ(AsPairs(SplitChunks(kLong, {0, 50})), (Spans{{0, 50}}));
  EXPECT_EQ(AsPairs(SplitChunks(kLong, {0, 51})), (Spans{{0, 50}, {50, 51}}));
  EXPECT_EQ(AsPairs(SplitChunks(kLong, {7, 7})), Spans{});
  EXPECT_EQ(AsPairs(SplitChunks(kLong, {3, 103})), (Spans{{3, 53}, {53, 103}}));
  EXPECT_EQ(AsPairs(SplitChunks(kLong, {10, 15}, 2)), (Spans{{10, 12}, {12, 14}, {14, 15}}));
}

// A character outside the BMP that falls on a chunk boundary goes out
// whole: its halves converted apart reached the device as two '?' in GBK
// and as two bad sequences in UTF-8.
TEST(TextLines, ChunksKeepSurrogatePairsWhole) {
  std::wstring text(49, L'a');
  text += {0xD83D, 0xDE00};
  text += L"bc";
  EXPECT_EQ(AsPairs(SplitChunks(text, {0, text.size()})), (Spans{{0, 49}, {49, 53}}));
  const std::wstring pairs = {0xD83D, 0xDE00, 0xD83D, 0xDE01, L'z'};
  EXPECT_EQ(AsPairs(SplitChunks(pairs, {0, 5}, 1)), (Spans{{0, 2}, {2, 4}, {4, 5}}));
  EXPECT_EQ(AsPairs(SplitChunks(pairs, {0, 5}, 3)), (Spans{{0, 2}, {2, 5}}));
}

}  // namespace
}  // namespace tv
