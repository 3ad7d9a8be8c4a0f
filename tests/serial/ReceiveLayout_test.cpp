#include "serial/ReceiveLayout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tv {
namespace {

LocalTime At(int hour, int minute, int second, int ms, int day = 9) {
  LocalTime t;
  t.year = 2026;
  t.month = 12;
  t.day = static_cast<uint8_t>(day);
  t.hour = static_cast<uint8_t>(hour);
  t.minute = static_cast<uint8_t>(minute);
  t.second = static_cast<uint8_t>(second);
  t.ms = static_cast<uint16_t>(ms);
  return t;
}

// The view's text as the layout builds it, read by read.
class Layout {
 public:
  explicit Layout(bool stamps, uint32_t gapMs = 0) {
    layout.setOptions(stamps, gapMs);
    if (stamps) layout.date(At(0, 0, 0, 0), out);
  }
  // Text read at tick ms, local time 12:00:00 plus ms.
  Layout& text(uint32_t ms, const std::wstring& s, TextStyle style = kPlainStyle, std::vector<StyleRun> runs = {}) {
    const ReceiveLayout::Read read{ms, At(12, 0, static_cast<int>(ms / 1000), static_cast<int>(ms % 1000))};
    layout.text(s, runs, style, &read, out);
    return *this;
  }
  Layout& hex(uint32_t ms, const std::vector<uint8_t>& bytes) {
    const ReceiveLayout::Read read{ms, At(12, 0, static_cast<int>(ms / 1000), static_cast<int>(ms % 1000))};
    layout.hex(bytes.data(), bytes.size(), read, out);
    return *this;
  }
  ReceiveLayout layout;
  ReceiveLayout::Out out;
};

const std::wstring kDay = L"---- 2026-12-09 ----\n";

// With stamps each line the device sends starts with the time of its first
// byte, and CR, LF and CR LF each end one line, also when the CR and the LF
// come in different reads; the CR still shows as a blank. Without stamps
// the text is as it has always been.
TEST(ReceiveLayout, StampedTextLinesStartWithTheTimeOfTheirFirstByte) {
  Layout l(true);
  l.text(5, L"boot\r\n").text(17, L"a\rb\nc\r").text(30, L"\nd").text(45, L"e\n\n");
  EXPECT_EQ(l.out.text, kDay +
                            L"[12:00:00.005] boot \n"
                            L"[12:00:00.017] a \n"
                            L"[12:00:00.017] b\n"
                            L"[12:00:00.017] c \n"
                            L"[12:00:00.030] de\n"
                            L"[12:00:00.045] \n");

  Layout plain(false);
  plain.text(5, L"boot\r\n").text(17, L"a\rb\nc\r").text(30, L"\nd");
  EXPECT_EQ(plain.out.text, L"boot \na b\nc \nd");
}

// A new day gets its line before the first stamp of that day; the time is
// the one of the read, not of when the text got through.
TEST(ReceiveLayout, ADayLineComesWhenTheDayChanges) {
  ReceiveLayout layout;
  ReceiveLayout::Out out;
  layout.setOptions(true, 0);
  layout.date(At(23, 59, 59, 0), out);
  const ReceiveLayout::Read late{0, At(23, 59, 59, 998)};
  const ReceiveLayout::Read early{1, At(0, 0, 0, 3, 10)};
  layout.text(L"x\n", {}, kPlainStyle, &late, out);
  layout.text(L"y\n", {}, kPlainStyle, &early, out);
  EXPECT_EQ(out.text, kDay + L"[23:59:59.998] x\n---- 2026-12-10 ----\n[00:00:00.003] y\n");
}

// Bytes apart by the gap or more are frames of their own, each on a new
// line, in text as in hex; a line its own LF ended is not ended again; a
// hex frame longer than a row goes on in rows that are not stamped again.
TEST(ReceiveLayout, FramesSplitAtIdleGaps) {
  Layout text(false, 20);
  text.text(0, L"ab").text(19, L"cd").text(39, L"ef\n").text(70, L"gh").text(80, L"i");
  EXPECT_EQ(text.out.text, L"abcd\nef\nghi");

  Layout hex(true, 50);
  std::vector<uint8_t> frame(20, 0xAB), reply = {0x01, 0x02};
  hex.hex(100, std::vector<uint8_t>(frame.begin(), frame.begin() + 7))
      .hex(110, std::vector<uint8_t>(frame.begin() + 7, frame.end()))
      .hex(300, reply)
      .hex(360, std::vector<uint8_t>(16, 0xCD))
      .hex(500, reply);
  EXPECT_EQ(hex.out.text, kDay +
                              L"[12:00:00.100] AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB \n"
                              L"AB AB AB AB \n"
                              L"[12:00:00.300] 01 02 \n"
                              L"[12:00:00.360] CD CD CD CD CD CD CD CD CD CD CD CD CD CD CD CD \n"
                              L"[12:00:00.500] 01 02 ");

  // Without a gap chosen every row of 16 is stamped with its first byte's read.
  Layout rows(true);
  rows.hex(7, std::vector<uint8_t>(10, 0x11)).hex(9, std::vector<uint8_t>(10, 0x22));
  EXPECT_EQ(rows.out.text, kDay +
                               L"[12:00:00.007] 11 11 11 11 11 11 11 11 11 11 22 22 22 22 22 22 \n"
                               L"[12:00:00.009] 22 22 22 22 ");
}

// The program's own lines and the echo of a send never run into a line
// the device has begun: the echo ends it first, and the next byte received
// starts a new (stamped) line; so does the first byte after a clear.
TEST(ReceiveLayout, OwnLinesAndEchoesKeepToLinesOfTheirOwn) {
  Layout l(true);
  l.text(1, L"partial");
  l.layout.own(L">>>[COM3]消失<<<\n", l.out);
  l.text(2, L"next");
  l.layout.echo(L"AT", At(12, 0, 0, 3), l.out);
  l.text(4, L"OK\r");
  l.layout.echo(L"ATI", At(12, 0, 0, 5), l.out);
  l.layout.own(L"no end", l.out);
  l.text(6, L"z");
  EXPECT_EQ(l.out.text, kDay +
                            L"[12:00:00.001] partial\n>>>[COM3]消失<<<\n"
                            L"[12:00:00.002] next\n[12:00:00.003] 发→ AT\n"
                            L"[12:00:00.004] OK \n[12:00:00.005] 发→ ATI\n"
                            L"no end\n[12:00:00.006] z");
  l.layout.cleared();
  l.out.text.clear();
  l.hex(7, {0x41});
  EXPECT_EQ(l.out.text, L"[12:00:00.007] 41 ");

  // Without stamps an echo still ends a line in progress, and the program's
  // own text goes on where it always did.
  Layout plain(false);
  plain.text(1, L"abc");
  plain.layout.echo(L"41 42 ", At(0, 0, 0, 0), plain.out);
  plain.text(2, L"x");
  plain.layout.own(L"[note]", plain.out);
  EXPECT_EQ(plain.out.text, L"abc\n发→ 41 42 \nx[note]");
}

// Received colours go on across reads and lines, while stamps and the
// program's own lines keep the view's own look.
TEST(ReceiveLayout, LooksFollowTheTextAndStampsStayPlain) {
  const TextStyle red = StyleOf(1, false);
  Layout l(true);
  l.out = ReceiveLayout::Out();
  l.text(1, L"ab\ncd", kPlainStyle, {{1, red}});
  l.layout.own(L"!\n", l.out);
  l.text(2, L"e", red);
  const std::wstring stamp1 = L"[12:00:00.001] ", stamp2 = L"[12:00:00.002] ";
  EXPECT_EQ(l.out.text, stamp1 + L"ab\n" + stamp1 + L"cd\n!\n" + stamp2 + L"e");
  const std::size_t b = stamp1.size() + 1, line2 = stamp1.size() + 3, c = line2 + stamp1.size();
  const std::size_t bang = c + 3, e = bang + 2 + stamp2.size();
  EXPECT_EQ(l.out.runs, (std::vector<StyleRun>{
                            {b, red}, {line2, kPlainStyle}, {c, red}, {bang, kPlainStyle}, {e, red}}));
}

}  // namespace
}  // namespace tv
