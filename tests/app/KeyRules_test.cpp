#include "app/KeyRules.h"

#include <gtest/gtest.h>

namespace tv {
namespace {

TEST(KeyRules, BlankBeforeATypedDigit) {
  struct Case {
    long p;
    wchar_t beforePrevious, previous;
    bool blank;
  } cases[] = {
      {0, L'4', L'1', false}, {1, L'4', L'1', false},  {2, L'4', L'1', true},
      {5, L' ', L'1', false}, {5, L'1', L' ', false},  {5, L'\r', L'1', false},
      {5, L'1', L'\r', false}, {5, L'\n', L'1', true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(HexPaneNeedsBlank(c.p, c.beforePrevious, c.previous), c.blank)
        << "p=" << c.p << " chars " << int(c.beforePrevious) << "," << int(c.previous);
}

TEST(KeyRules, HexPaneCharFilter) {
  struct Case {
    wchar_t in, out;
  } cases[] = {
      {L'0', L'0'}, {L'9', L'9'}, {L'A', L'A'}, {L'F', L'F'}, {L'a', L'A'}, {L'f', L'F'},
      {L' ', L' '}, {L'+', L' '}, {L'g', 0},    {L'z', 0},    {L'G', 0},    {L'x', 0},
      {L'-', 0},    {L'\r', 0},   {L'@', 0},    {L'`', 0},    {0xFF21, 0},  {L'中', 0},
  };
  for (const Case& c : cases) EXPECT_EQ(FilterHexPaneChar(c.in), c.out) << int(c.in);

  // Whatever is typed, only the pane's own alphabet can come out.
  for (unsigned u = 0; u <= 0xFFFF; ++u) {
    wchar_t r = FilterHexPaneChar(static_cast<wchar_t>(u));
    bool allowed = r == 0 || r == L' ' || (r >= L'0' && r <= L'9') || (r >= L'A' && r <= L'F');
    ASSERT_TRUE(allowed) << u;
  }
}

TEST(KeyRules, DelayBoxCharsAndKeys) {
  EXPECT_TRUE(IsDelayBoxChar(L'0'));
  EXPECT_TRUE(IsDelayBoxChar(L'9'));
  EXPECT_FALSE(IsDelayBoxChar(L'/'));
  EXPECT_FALSE(IsDelayBoxChar(L':'));
  EXPECT_FALSE(IsDelayBoxChar(0xFF10));  // full-width zero

  for (unsigned k : {0x30u, 0x39u, 0x60u, 0x69u, 0x08u, 0x2Eu}) EXPECT_TRUE(IsDelayBoxKey(k)) << k;
  for (unsigned k : {0x2Fu, 0x3Au, 0x41u, 0x5Fu, 0x6Au, 0x6Du, 0x09u, 0x2Du, 0x25u, 0x0Du})
    EXPECT_FALSE(IsDelayBoxKey(k)) << k;
}

}  // namespace
}  // namespace tv
