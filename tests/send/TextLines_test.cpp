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
  EXPECT_EQ(AsPairs(SplitChunks({0, 120})), (Spans{{0, 50}, {50, 100}, {100, 120}}));
  EXPECT_EQ(AsPairs(SplitChunks({0, 50})), (Spans{{0, 50}}));
  EXPECT_EQ(AsPairs(SplitChunks({0, 51})), (Spans{{0, 50}, {50, 51}}));
  EXPECT_EQ(AsPairs(SplitChunks({7, 7})), Spans{});
  EXPECT_EQ(AsPairs(SplitChunks({3, 103})), (Spans{{3, 53}, {53, 103}}));
  EXPECT_EQ(AsPairs(SplitChunks({10, 15}, 2)), (Spans{{10, 12}, {12, 14}, {14, 15}}));
}

}  // namespace
}  // namespace tv
