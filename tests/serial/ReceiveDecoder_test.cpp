#include "serial/ReceiveDecoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tv {
namespace {

// A made-up double-byte code page: 0x81..0xFE lead, any byte trails.
bool IsLead(uint8_t b) { return b >= 0x81 && b <= 0xFE; }

wchar_t PairChar(uint8_t lead, uint8_t trail) {
  return static_cast<wchar_t>(0x4E00 + ((lead - 0x81) << 8) + trail);  // stays below 0xBE00
}

// Pairs become one distinctive character, single bytes themselves, a lone
// lead byte '?'. A zero byte must never reach the conversion.
std::wstring Convert(const char* bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (bytes[i] == 0) ADD_FAILURE() << "zero byte handed to the converter";
  std::wstring out;
  for (std::size_t i = 0; i < n; ++i) {
    uint8_t b = static_cast<uint8_t>(bytes[i]);
    if (IsLead(b) && i + 1 < n) {
      out.push_back(PairChar(b, static_cast<uint8_t>(bytes[++i])));
    } else {
      out.push_back(IsLead(b) ? L'?' : static_cast<wchar_t>(b));
    }
  }
  return out;
}

std::wstring DecodeInReads(const std::vector<uint8_t>& s, const std::vector<std::size_t>& cuts,
                           uint8_t* carriedAtEnd) {
  ReceiveDecoder d(IsLead, Convert);
  std::wstring out;
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    out += d.decode(s.data() + from, cut - from);
    from = cut;
  }
  out += d.decode(s.data() + from, s.size() - from);
  *carriedAtEnd = d.carried();
  return out;
}

std::string Show(const std::vector<uint8_t>& s) {
  std::string text = "bytes:";
  for (uint8_t b : s) text += " " + std::to_string(b);
  return text;
}

TEST(ReceiveDecoder, SingleReads) {
  struct Case {
    std::vector<uint8_t> bytes;
    std::wstring shown;
    uint8_t carried;
  } cases[] = {
      {{}, L"", 0},
      {{'A', 'B'}, L"AB", 0},
      {{'A', '\r', '\n', 'B'}, L"A\r\nB", 0},
      {{'A', 0, 'B', 0, 0, 'C'}, L"ABC", 0},
      {{0x81, 0x41}, std::wstring(1, PairChar(0x81, 0x41)), 0},
      {{0x81, 0x0D}, std::wstring(1, PairChar(0x81, 0x0D)), 0},
      {{'A', 0x81, 0, 'B'}, L"A?B", 0},
      {{'A', 0xB0}, L"A", 0xB0},
      {{0xFF, 0x80, 'x'}, L"\xFF\x80x", 0},
  };
  for (const Case& c : cases) {
    ReceiveDecoder d(IsLead, Convert);
    EXPECT_EQ(d.decode(c.bytes.data(), c.bytes.size()), c.shown) << Show(c.bytes);
    EXPECT_EQ(d.carried(), c.carried) << Show(c.bytes);
  }
}

TEST(ReceiveDecoder, CarriedLeadByte) {
  ReceiveDecoder d(IsLead, Convert);
  const uint8_t first[] = {'A', 0xB0};
  const uint8_t second[] = {0xA1, 'B'};
  EXPECT_EQ(d.decode(first, 2), L"A");
  EXPECT_EQ(d.carried(), 0xB0);
  EXPECT_EQ(d.decode(nullptr, 0), L"");  // an empty read keeps it
  EXPECT_EQ(d.carried(), 0xB0);
  EXPECT_EQ(d.decode(second, 2), std::wstring(1, PairChar(0xB0, 0xA1)) + L"B");
  EXPECT_EQ(d.carried(), 0);

  // A zero after the carried byte shows it alone.
  const uint8_t zero[] = {0, 'C'};
  d.decode(first, 2);
  EXPECT_EQ(d.decode(zero, 2), L"?C");

  // reset drops what is held, e.g. when the port is closed.
  d.decode(first, 2);
  d.reset();
  EXPECT_EQ(d.carried(), 0);
  EXPECT_EQ(d.decode(second, 2), std::wstring(1, PairChar(0xA1, 'B')));
}

TEST(ReceiveDecoder, EverySplitShowsTheSameText) {
  const std::vector<std::vector<uint8_t>> streams = {
      {'A', 0x81, 0x41, 0xB0, 0xB0, 0, 0xC1, 0, 'x', '\r', '\n', 0xFE, 0xFE, 0xB0},
      {0xB0, 0xA1, 0xB0, 0, 0, 0x81, 0x81, 0x81, 0x0D, 'Z', 0x81, 0x00, 0x41, 0xFF},
      {0x81, 0x81, 0x81, 0x81, 0x81, 0x81, 0x81, 0x81, 0x81, 0x81, 0x81, 0x81, 0x81},
  };
  for (const std::vector<uint8_t>& s : streams) {
    ReceiveDecoder whole(IsLead, Convert);
    const std::wstring expected = whole.decode(s.data(), s.size());
    // Each bit of the mask cuts the stream after one byte; a cut also makes
    // an empty read there.
    const std::size_t gaps = s.size() - 1;
    for (uint32_t mask = 0; mask < (1u << gaps); ++mask) {
      std::vector<std::size_t> cuts;
      for (std::size_t g = 0; g < gaps; ++g)
        if (mask & (1u << g)) cuts.insert(cuts.end(), 2, g + 1);
      uint8_t carried = 0;
      ASSERT_EQ(DecodeInReads(s, cuts, &carried), expected) << Show(s) << " split mask " << mask;
      ASSERT_EQ(carried, whole.carried()) << Show(s) << " split mask " << mask;
    }
  }
}

}  // namespace
}  // namespace tv
