#include "serial/EscapeFilter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tv {
namespace {

struct Filtered {
  std::wstring text;
  std::vector<StyleRun> runs;
};

// Fed in pieces cut at the given places.
Filtered Filter(const std::wstring& in, const std::vector<std::size_t>& cuts = {}) {
  EscapeFilter f;
  Filtered out;
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    f.filter(in.data() + from, cut - from, out.text, out.runs);
    from = cut;
  }
  f.filter(in.data() + from, in.size() - from, out.text, out.runs);
  return out;
}

const TextStyle kBoldBlue = StyleOf(4, true);
const TextStyle kRed = StyleOf(1, false);

// What an embedded Linux board's console sends: a coloured `ls`, a window
// title, a clear screen, a cursor move, a character-set switch. Nothing of
// the sequences may show, however the reads cut them.
TEST(EscapeFilter, SequencesVanishWhereverTheReadsCutThem) {
  const std::wstring in =
      L"\x1b[01;34mbin\x1b[0m  \x1b]0;root@board: ~\x07# \x1b[2J\x1b[H\x1b[?25lok\x1b(B\x1b[m"
      L"\x1bP1$r0m\x1b\\\x1b" L"7end\r\n";
  const Filtered whole = Filter(in);
  EXPECT_EQ(whole.text, L"bin  # okend\r\n");
  EXPECT_EQ(whole.runs, (std::vector<StyleRun>{{0, kBoldBlue}, {3, kPlainStyle}}));
  for (std::size_t a = 1; a < in.size(); ++a) {
    for (std::size_t b = a; b < in.size(); b += 7) {
      const Filtered split = Filter(in, {a, b});
      ASSERT_EQ(split.text, whole.text) << "cut at " << a << " and " << b;
      ASSERT_EQ(split.runs, whole.runs) << "cut at " << a << " and " << b;
    }
  }
}

// The colours a user sees: normal and bright foregrounds, bold on and off,
// reset; background colours and the numbers of an extended colour must not
// be read as codes of their own (the "1" of 48;2;1;2;3 is no bold).
TEST(EscapeFilter, ColourSequencesBecomeLooks) {
  struct Case {
    std::wstring in;
    std::vector<StyleRun> runs;
  } cases[] = {
      {L"a\x1b[31mb", {{1, kRed}}},
      {L"\x1b[1;91mx\x1b[22my", {{0, StyleOf(9, true)}, {1, StyleOf(9, false)}}},
      {L"\x1b[31mx\x1b[39my\x1b[1mz\x1b[mw", {{0, kRed}, {1, kPlainStyle}, {2, StyleOf(-1, true)}, {3, kPlainStyle}}},
      {L"\x1b[48;2;1;2;3mx", {}},
      {L"\x1b[41;1mx", {{0, StyleOf(-1, true)}}},
      {L"\x1b[38;5;12mx\x1b[38;5;200my", {{0, StyleOf(12, false)}}},
      {L"\x1b[38:5:3mx\x1b[38;2;9;9;9;32my", {{0, StyleOf(3, false)}, {1, StyleOf(2, false)}}},
      {L"\x1b[31m\x1b[32mx", {{0, StyleOf(2, false)}}},  // one run where two changes meet
  };
  for (const Case& c : cases) {
    const Filtered f = Filter(c.in);
    EXPECT_EQ(f.runs, c.runs) << testing::PrintToString(c.in);
  }
}

// A stray ESC on a line that is no terminal's must not hide the rest of
// the session: an overlong sequence ends where it grows too long, CAN ends
// one at once, and a line break inside one still shows.
TEST(EscapeFilter, NoiseThatLooksLikeASequenceHidesOnlyItself) {
  const std::wstring digits(EscapeFilter::kMostControlUnits + 10, L'5');
  Filtered f = Filter(L"\x1b[" + digits + L"after");
  EXPECT_NE(f.text.find(L"after"), std::wstring::npos);
  EXPECT_LT(f.text.size(), 30u);

  f = Filter(L"\x1b]" + std::wstring(EscapeFilter::kMostStringUnits + 10, L't') + L"after");
  EXPECT_NE(f.text.find(L"after"), std::wstring::npos);

  EXPECT_EQ(Filter(L"\x1b[12\x18shown").text, L"shown");
  EXPECT_EQ(Filter(L"\x1b[1\n2m!").text, L"\n!");
  EXPECT_EQ(Filter(L"\x1b[31\x1b[0mx").runs, std::vector<StyleRun>{});
  EXPECT_EQ(Filter(L"a\x1b").text, L"a");
  EXPECT_EQ(Filter(L"\x1b\x4E2D" L"b").text, L"\x4E2D" L"b") << "a character no sequence has ends it";
}

}  // namespace
}  // namespace tv
