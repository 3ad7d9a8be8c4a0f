#include "base/Utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tv {
namespace {

constexpr wchar_t kBad = Utf8Decoder::kReplacement;

std::wstring Decode(const std::string& bytes) {
  Utf8Decoder d;
  std::wstring out;
  d.decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
  d.finish(out);
  return out;
}

// A bad sequence costs one replacement for the longest start of a valid
// sequence it has (or for one byte), and never the good text after it: a
// decoder that swallowed the byte that broke a sequence lost an 'A' from
// "E2 82 41", and one that gave up per byte showed three marks for a
// character cut short by line noise.
TEST(Utf8, EachBadStretchShowsAsOneMarkAndKeepsWhatFollows) {
  struct Case {
    std::string bytes;
    std::wstring shown;
  } cases[] = {
      {"\xE2\x82\x41", {kBad, L'A'}},
      {"\xF0\x9F\x98" "A", {kBad, L'A'}},              // a 4-byte character cut short
      {"\xE2\x82\xAC", {0x20AC}},                       // the euro sign, whole
      {"\xC0\xAF" "x", {kBad, kBad, L'x'}},             // an overlong '/': no valid start
      {"\xED\xA0\x80", {kBad, kBad, kBad}},             // a surrogate written as UTF-8
      {"\xF4\x90\x80\x80", {kBad, kBad, kBad, kBad}},   // past U+10FFFF
      {"\x80\xBF" "A", {kBad, kBad, L'A'}},             // continuation bytes alone
      {"\xE4\xB8" "\xE4\xB8\xAD", {kBad, 0x4E2D}},      // a new lead ends the one before
      {std::string("A\0B", 3), {L'A', L'B'}},            // a zero shows nothing
      {std::string("\xE2\x82\0C", 4), {kBad, L'C'}},   // ... and ends a sequence as bad
      {"\xE2\x82", {kBad}},                             // cut off at the end of the stream
      {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},           // beyond the BMP: a surrogate pair
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.bytes), c.shown) << testing::PrintToString(c.bytes);
}

// A serial driver hands over bytes wherever it likes: a character must not
// depend on where a read ended, or Chinese text breaks at random.
TEST(Utf8, WhatShowsNeverDependsOnWhereTheReadsEnd) {
  const std::string stream =
      "A\xE4\xB8\xAD\xE6\x96\x87\xF0\x9F\x98\x80\xE2\x82\x41\xC3\xA9\xFF\xF0\x9F\x98" "B\xE2\x82\xAC\xE2";
  const std::wstring whole = Decode(stream);
  for (std::size_t a = 0; a <= stream.size(); ++a) {
    for (std::size_t b = a; b <= stream.size(); ++b) {
      Utf8Decoder d;
      std::wstring out;
      const uint8_t* p = reinterpret_cast<const uint8_t*>(stream.data());
      d.decode(p, a, out);
      d.decode(p + a, b - a, out);
      d.decode(p + b, stream.size() - b, out);
      d.finish(out);
      ASSERT_EQ(out, whole) << "reads end at " << a << " and " << b;
    }
  }
  // What is held between reads is there to be shown another way (in hex).
  Utf8Decoder d;
  std::wstring out;
  const uint8_t lead[] = {0xF0, 0x9F, 0x98};
  d.decode(lead, 3, out);
  EXPECT_TRUE(out.empty());
  ASSERT_EQ(d.heldCount(), 3u);
  EXPECT_EQ(std::vector<uint8_t>(d.heldBytes(), d.heldBytes() + 3), std::vector<uint8_t>(lead, lead + 3));
}

// What the user types goes out as the device reads it back, characters
// beyond the BMP included; half a surrogate pair (which no keyboard makes,
// but a paste can) goes out as U+FFFD rather than as bytes no decoder takes.
TEST(Utf8, TextGoesToUtf8AndBackUnchanged) {
  const std::wstring text = {L'A', 0xE9, 0x4E2D, 0x6587, 0xD83D, 0xDE00, L'\n', 0x7F, 0x80, 0x7FF, 0x800, 0xFFFF};
  const std::string bytes = EncodeUtf8(text.data(), text.size());
  EXPECT_EQ(bytes.substr(0, 11), "A\xC3\xA9\xE4\xB8\xAD\xE6\x96\x87\xF0\x9F");
  EXPECT_EQ(Decode(bytes), text);
  const std::wstring lone = {L'a', 0xD83D, L'b', 0xDE00};
  EXPECT_EQ(EncodeUtf8(lone.data(), lone.size()), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

}  // namespace
}  // namespace tv
