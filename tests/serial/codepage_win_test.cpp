// Receive decoding and test-text conversion with the system's real code
// page; the suite runs with code page 936 (GBK).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "serial/ReceiveDecoder.h"

namespace tv {
namespace {

bool Lead(uint8_t b) { return IsDBCSLeadByte(b) != FALSE; }

std::wstring Convert(const char* bytes, std::size_t n) {
  int units = MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(n), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(units > 0 ? units : 0), L'\0');
  if (units > 0) MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(n), &out[0], units);
  return out;
}

TEST(CodePage, GbkCharactersSplitAcrossReadsComeOutWhole) {
  ASSERT_EQ(GetACP(), 936u) << "run the Windows tests with LC_ALL=zh_CN.UTF-8";
  // "中文" in GBK is D6 D0 CE C4.
  const uint8_t first[] = {'A', 0xD6};
  const uint8_t second[] = {0xD0, 0xCE};
  const uint8_t third[] = {0xC4, 0x0D, 0x0A};
  ReceiveDecoder decoder(Lead, Convert);
  EXPECT_EQ(decoder.decode(first, sizeof(first)), L"A");
  EXPECT_EQ(decoder.carried(), 0xD6);
  EXPECT_EQ(decoder.decode(second, sizeof(second)), L"中");
  EXPECT_EQ(decoder.decode(third, sizeof(third)), L"文 \n");
  EXPECT_EQ(decoder.carried(), 0);
}

}  // namespace
}  // namespace tv
