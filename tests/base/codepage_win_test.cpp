// The program's code-page conversion with the system's real code page; the
// suite runs with code page 936 (GBK).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/CodePage.h"
#include "serial/ReceiveDecoder.h"

namespace tv {
namespace {

TEST(CodePage, GbkCharactersSplitAcrossReadsComeOutWhole) {
  ASSERT_EQ(GetACP(), 936u) << "run the Windows tests with LC_ALL=zh_CN.UTF-8";
  // "中文" in GBK is D6 D0 CE C4.
  const uint8_t first[] = {'A', 0xD6};
  const uint8_t second[] = {0xD0, 0xCE};
  const uint8_t third[] = {0xC4, 0x0D, 0x0A};
  ReceiveDecoder decoder(IsAnsiLeadByte, AnsiToWide);
  EXPECT_EQ(decoder.decode(first, sizeof(first)), L"A");
  EXPECT_EQ(decoder.carried(), 0xD6);
  EXPECT_EQ(decoder.decode(second, sizeof(second)), L"中");
  EXPECT_EQ(decoder.decode(third, sizeof(third)), L"文\r\n");
  EXPECT_EQ(decoder.carried(), 0);
}

// What is sent is what the device gets back: text to GBK and back is the
// same text, a zero unit included, and nothing at all stays nothing.
TEST(CodePage, TextGoesToGbkAndBackUnchanged) {
  ASSERT_EQ(GetACP(), 936u);
  const std::wstring text(L"AT+中文\0Z\r\n", 9);
  std::string bytes = WideToAnsi(text.data(), text.size());
  EXPECT_EQ(bytes, std::string("AT+\xD6\xD0\xCE\xC4\0Z\r\n", 11));
  EXPECT_EQ(AnsiToWide(bytes.data(), bytes.size()), text);
  EXPECT_EQ(WideToAnsi(L"", 0), "");
  EXPECT_EQ(AnsiToWide("", 0), L"");
  EXPECT_TRUE(IsAnsiLeadByte(0xD6));
  EXPECT_FALSE(IsAnsiLeadByte('A'));
  EXPECT_FALSE(IsAnsiLeadByte(0x80));
}

}  // namespace
}  // namespace tv
