#include "base/Format.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace tv {
namespace {

TEST(Format, Integers) {
  EXPECT_EQ(Format(L"%d|%i", {42, -7}), L"42|-7");
  EXPECT_EQ(Format(L"%d", {INT_MIN}), L"-2147483648");
  EXPECT_EQ(Format(L"%u", {-1}), L"4294967295");
  EXPECT_EQ(Format(L"%x %X", {255, 0xABCDu}), L"ff ABCD");
  EXPECT_EQ(Format(L"%x", {-1}), L"ffffffff");
  EXPECT_EQ(Format(L"%02X", {0x0A}), L"0A");
  EXPECT_EQ(Format(L"%04d", {7}), L"0007");
  EXPECT_EQ(Format(L"%05d", {-42}), L"-0042");
  EXPECT_EQ(Format(L"%5d|%-5d|", {42, 42}), L"   42|42   |");
  EXPECT_EQ(Format(L"%-05d|", {42}), L"42   |");
  EXPECT_EQ(Format(L"%ld %lu", {-5L, 5UL}), L"-5 5");
}

TEST(Format, WidthsBelow64BitsAreTakenAs32Bit) {
  EXPECT_EQ(Format(L"%d", {0x1FFFFFFFFLL}), L"-1");
  EXPECT_EQ(Format(L"%u", {0x100000005ULL}), L"5");
  EXPECT_EQ(Format(L"%d", {4294967295u}), L"-1");
  EXPECT_EQ(Format(L"%I64d", {0x1FFFFFFFFLL}), L"8589934591");
  EXPECT_EQ(Format(L"%I64d", {LLONG_MIN}), L"-9223372036854775808");
  EXPECT_EQ(Format(L"%I64u", {ULLONG_MAX}), L"18446744073709551615");
  EXPECT_EQ(Format(L"%I64X", {0xFEDCBA9876543210ULL}), L"FEDCBA9876543210");
}

TEST(Format, TextAndCharacters) {
  std::wstring owned = L"端口";
  EXPECT_EQ(Format(L"[%s][%s]", {L"COM3", owned}), L"[COM3][端口]");
  EXPECT_EQ(Format(L"[%6s][%-6s]", {L"ab", L"ab"}), L"[    ab][ab    ]");
  EXPECT_EQ(Format(L"[%.3s][%.9s]", {L"abcdef", L"abc"}), L"[abc][abc]");
  EXPECT_EQ(Format(L"[%5.2s]", {L"abcdef"}), L"[   ab]");
  EXPECT_EQ(Format(L"%c%c", {L'★', L'A'}), L"★A");
  EXPECT_EQ(Format(L"%s", {static_cast<const wchar_t*>(nullptr)}), L"");
}

TEST(Format, OddFormatsAndMissingArguments) {
  EXPECT_EQ(Format(L"100%%", {}), L"100%");
  EXPECT_EQ(Format(L"", {1}), L"");
  EXPECT_EQ(Format(L"%d %s|", {}), L"0 |");
  EXPECT_EQ(Format(L"%q", {1}), L"q");
  EXPECT_EQ(Format(L"end%", {1}), L"end");
  EXPECT_EQ(Format(L"end%-0", {1}), L"end");
  // An argument of the wrong kind prints as empty text or as its number.
  EXPECT_EQ(Format(L"[%s]", {5}), L"[]");
  EXPECT_EQ(Format(L"%d", {L"text"}), L"0");
}

TEST(Format, OutputIsCutAtTheBuffer) {
  std::wstring big(5000, L'x');
  std::wstring out = Format(L"%s", {big});
  EXPECT_EQ(out.size(), kFormatBufferUnits - 1);
  EXPECT_EQ(out, std::wstring(kFormatBufferUnits - 1, L'x'));

  std::wstring literal(1500, L'y');
  EXPECT_EQ(Format(literal.c_str(), {}).size(), kFormatBufferUnits - 1);

  EXPECT_EQ(Format(L"%s%d", {L"abc", 12345}, 5), L"abc12");
  EXPECT_EQ(Format(L"abc", {}, 0), L"");
  // Once the buffer is full nothing after it matters.
  EXPECT_EQ(Format(L"%s%s%s", {big, big, L"tail"}).size(), kFormatBufferUnits - 1);
}

}  // namespace
}  // namespace tv
