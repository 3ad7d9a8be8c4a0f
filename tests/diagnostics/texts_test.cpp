#include "diagnostics/Texts.h"

#include "TarnVikVersion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::size_t Breaks(const std::wstring& s) {
  return static_cast<std::size_t>(std::count(s.begin(), s.end(), L'\n'));
}

std::vector<std::wstring> Lines(const std::wstring& s) {
  std::vector<std::wstring> out;
  std::wstringstream in(s);
  for (std::wstring line; std::getline(in, line, L'\n');) out.push_back(line);
  return out;
}

TEST(Texts, TestTextsStayWithinTheirBounds) {
  const wchar_t* const* texts = tv::TestTexts();
  for (std::size_t i = 0; i < tv::kTestTextCount; ++i) {
    ASSERT_NE(texts[i], nullptr) << i;
    const std::wstring t = texts[i];
    EXPECT_GE(t.size(), 44u) << i;
    EXPECT_LE(t.size(), 401u) << i;
    EXPECT_GE(Breaks(t), 2u) << i;
    EXPECT_LE(Breaks(t), 11u) << i;
  }
  EXPECT_EQ(texts[tv::kTestTextCount], nullptr);

  const std::wstring mixed = tv::MixedTestText();
  EXPECT_EQ(mixed.size(), 735u);
  EXPECT_EQ(mixed.rfind(L"[START]", 0), 0u);
  EXPECT_EQ(mixed.substr(mixed.size() - 6), L"[END]\n");
  EXPECT_EQ(Breaks(mixed), 14u);
}

TEST(Texts, FixedTextsAndListings) {
  EXPECT_STREQ(tv::EnglishTestText(),
               L"0123456789\nabcdefghijklmnopqrstuvwxyz\nABCDEFGHIJKLMNOPQRSTUVWXYZ\n");

  std::wstringstream hex(tv::HexPattern());
  int groups = 0;
  for (std::wstring g; hex >> g; ++groups)
    EXPECT_TRUE(g.size() == 2 && std::iswxdigit(g[0]) && std::iswxdigit(g[1])) << g.c_str();
  EXPECT_EQ(groups, 80);

  const std::wstring all = tv::ByteListing(0, 255);
  EXPECT_EQ(all.size(), 768u);
  EXPECT_EQ(all.substr(765), L"FF ");
  const std::wstring printable = tv::ByteListing(32, 125);
  EXPECT_EQ(printable.substr(0, 3), L"20 ");
  EXPECT_EQ(printable.substr(printable.size() - 3), L"7D ");

  const std::wstring help = tv::HelpText();
  ASSERT_FALSE(help.empty());
  EXPECT_EQ(help.back(), L'\n');
  const std::vector<std::wstring> lines = Lines(help);
  ASSERT_GE(lines.size(), 23u);
  EXPECT_EQ(lines[0], L"\tTarn#Vik v" TV_VERSION_TEXT L" 帮助说明");
  EXPECT_EQ(lines[1], std::wstring(47, L'.'));
  EXPECT_EQ(lines[13], L"HEX发送\t\t\tAlt+'S' ");
  EXPECT_EQ(lines[21], std::wstring(26, L'.'));
  EXPECT_EQ(lines[22], L"最低配置:Windows XP");
}

}  // namespace
