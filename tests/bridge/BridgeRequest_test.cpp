#include "bridge/BridgeRequest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using tv::BridgeRequest;
using Kind = tv::BridgeRequest::Kind;

TEST(BridgeRequest, AddsAndRemovesNamePortsAndProducts) {
  BridgeRequest add = tv::ParseBridgeRequest(L"add\tCOM3\tFT232R USB UART");
  EXPECT_EQ(add.kind, Kind::kAdd);
  EXPECT_EQ(add.port, L"COM3");
  EXPECT_EQ(add.product, L"FT232R USB UART");
  EXPECT_EQ(tv::PortFriendlyName(add.product, add.port), L"FT232R USB UART (COM3)");

  // A product's own parentheses stay before the port's.
  BridgeRequest ch340 = tv::ParseBridgeRequest(L"add\tCOM256\tUSB2.0-Serial (CH340) 串口");
  EXPECT_EQ(ch340.kind, Kind::kAdd);
  EXPECT_EQ(tv::PortFriendlyName(ch340.product, ch340.port), L"USB2.0-Serial (CH340) 串口 (COM256)");

  BridgeRequest remove = tv::ParseBridgeRequest(L"remove\tCOM12");
  EXPECT_EQ(remove.kind, Kind::kRemove);
  EXPECT_EQ(remove.port, L"COM12");
}

TEST(BridgeRequest, AnythingElseIsRefused) {
  const std::wstring longest(tv::kMaxProductChars, L'x');
  EXPECT_EQ(tv::ParseBridgeRequest(L"add\tCOM3\t" + longest).kind, Kind::kAdd);
  for (const std::wstring& line : std::vector<std::wstring>{
           L"", L"add", L"add\tCOM3", L"add\tCOM3\t", L"add\tCOM3\tA\tB", L"remove\tCOM3\tA", L"remove",
           L"Add\tCOM3\tA", L"list\tCOM3", L"add\tCOM3\tline\nbreak", L"add\tCOM3\tbell\a",
           L"add\tCOM3\tdel\x7F", L"add\tCOM3\t" + longest + L"x", L"add\tcom3\tA", L"add\tCOM0\tA",
           L"add\tCOM03\tA", L"add\tCOM257\tA", L"add\tCOM1000\tA", L"add\tCOM\tA", L"add\tCOM3 \tA",
           L"add\tLPT1\tA", L"remove\tCOM-1", L"remove\tCOM+3", L"remove\t\\\\.\\COM3"}) {
    EXPECT_EQ(tv::ParseBridgeRequest(line).kind, Kind::kInvalid) << std::string(line.begin(), line.end());
  }
  EXPECT_TRUE(tv::IsComPortName(L"COM1"));
  EXPECT_TRUE(tv::IsComPortName(L"COM256"));
}

}  // namespace
