#include "base/HexCodec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tv {
namespace {

std::vector<uint8_t> Parsed(const wchar_t* text) {
  HexCodec codec;
  int32_t n = codec.Parse(text);
  EXPECT_EQ(n, codec.count());
  return std::vector<uint8_t>(codec.data(), codec.data() + n);
}

TEST(HexCodec, ParseTable) {
  using B = std::vector<uint8_t>;
  struct Case {
    const wchar_t* text;
    B bytes;
  } cases[] = {
      {L"41 42 43", {0x41, 0x42, 0x43}}, {L"41  42  43", {0x41, 0x42, 0x43}},
      {L"00", {0x00}},          {L"0 0 0", {0, 0, 0}},     {L"1 2", {0x01, 0x02}},
      {L"4G1", {0x04, 0x01}},   {L"F", {0x0F}},            {L"0x", {0x00}},
      {L"0xZ", {0x00}},         {L"0x 5", {0x00, 0x05}},   {L"0x41", {0x41}},
      {L"0X41", {0x41}},        {L"0x0x41", {0x00, 0x41}}, {L"0x1F,0x20", {0x1F, 0x20}},
      {L"12345678AB", {0xFF}},  {L"80000000", {0xFF}},     {L"7FFFFF41", {0x41}},
      {L"0x7FFFFF41", {0x41}},  {L"000000000000007F", {0x7F}},
      {L"ABC", {0xBC}},         {L"A1B2", {0xB2}},         {L"-41", {0x41}},
      {L"41\r42", {0x41, 0x42}}, {L"41中42", {0x41, 0x42}},
      {L"ghij xyz/:@`G", {}},   {L"", {}},                 {L"   \r\n\t", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Parsed(c.text), c.bytes) << testing::PrintToString(std::wstring(c.text));
}

TEST(HexCodec, ParseReplacesTheLastResult) {
  HexCodec codec;
  EXPECT_EQ(codec.Parse(L"01 02 03 04"), 4);
  const wchar_t* second = L"AA";
  EXPECT_EQ(codec.Parse(second), 1);
  EXPECT_EQ(codec.count(), 1);
  EXPECT_EQ(codec.data()[0], 0xAA);
  EXPECT_EQ(codec.source(), second);

  codec.Release();
  EXPECT_EQ(codec.count(), 0);
  EXPECT_EQ(codec.source(), nullptr);

  EXPECT_EQ(codec.Parse(nullptr), 0);
  EXPECT_EQ(codec.Parse(L"zz"), 0);
  EXPECT_EQ(codec.count(), 0);
}

TEST(HexCodec, LargeTextCountsMatchBothPasses) {
  // Many short numbers with every kind of ending: the counting pass and the
  // storing pass must agree or the store runs past the buffer.
  std::wstring text;
  const wchar_t* pieces[] = {L"0x", L"7F", L"-", L"0", L"abc", L"\r\n", L"0X1", L"z", L" "};
  for (int i = 0; i < 20000; ++i) text += pieces[i % 9];
  HexCodec codec;
  int32_t n = codec.Parse(text.c_str());
  // Per cycle: "0x7F" is one number, "0" "abc" one ("0abc" -> BC) and "0X1" one.
  ASSERT_EQ(n, 20000 / 9 * 3 + 1);  // the last partial cycle is "0x7F"
  EXPECT_EQ(codec.data()[n - 1], 0x7F);
  for (int32_t i = 0; i + 2 < n; i += 3) {
    ASSERT_EQ(codec.data()[i], 0x7F);
    ASSERT_EQ(codec.data()[i + 1], 0xBC);
    ASSERT_EQ(codec.data()[i + 2], 0x01);
  }
}

TEST(HexCodec, FormatHexBytes) {
  const uint8_t two[] = {0x0A, 0xFF};
  EXPECT_EQ(FormatHexBytes(two, 2), L"0A FF ");
  EXPECT_EQ(FormatHexBytes(two, 0), L"");
  EXPECT_EQ(FormatHexBytes(nullptr, 0), L"");

  // Every byte value survives formatting and parsing again.
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<uint8_t>(i);
  std::wstring text = FormatHexBytes(all.data(), all.size());
  EXPECT_EQ(text.size(), 3u * 256u);
  EXPECT_EQ(Parsed(text.c_str()), all);
}

}  // namespace
}  // namespace tv
