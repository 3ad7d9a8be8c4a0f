#include "serial/StatusText.h"

#include <gtest/gtest.h>

#include <string>

namespace tv {
namespace {

TEST(StatusText, OpenAndClosed) {
  StatusFacts f{true, 2, 3, L"USB-SERIAL CH340 (COM7)", 115200, 8, L"1", L"None"};
  EXPECT_EQ(StatusText(f),
            L"★[2/3]USB-SERIAL CH340 (COM7) \n◇波特率:115200 ◇数据位:8 ◇停止位:1 ◇校验:None");

  f = StatusFacts{false, 0, 0, VanishedPortText(L"COM12"), 75, 5, L"1.5", L"Space"};
  EXPECT_EQ(StatusText(f), L"☆[0/0]端口COM12已神秘消失! \n◇波特率:75 ◇数据位:5 ◇停止位:1.5 ◇校验:Space");

  // Names that were never looked up show as nothing rather than crash.
  f = StatusFacts{false, 1, 1, L"", 0, 0, nullptr, nullptr};
  EXPECT_EQ(StatusText(f), L"☆[1/1] \n◇波特率:0 ◇数据位:0 ◇停止位: ◇校验:");
}

TEST(StatusText, VanishedPort) {
  EXPECT_EQ(VanishedPortText(L"COM3"), L"端口COM3已神秘消失!");
  EXPECT_EQ(VanishedPortText(L""), L"端口已神秘消失!");
  // A port name with a percent sign is data, not format.
  EXPECT_EQ(VanishedPortText(L"%d%s"), L"端口%d%s已神秘消失!");
}

TEST(StatusText, AVeryLongEntryIsCutAtTheBuffer) {
  StatusFacts f{true, 1, 1, std::wstring(3000, L'x'), 9600, 8, L"1", L"None"};
  std::wstring text = StatusText(f);
  EXPECT_EQ(text.size(), 1023u);
  EXPECT_EQ(text.substr(0, 6), L"★[1/1]");
}

}  // namespace
}  // namespace tv
