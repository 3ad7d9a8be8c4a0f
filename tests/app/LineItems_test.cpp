#include "app/LineItems.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tv {
namespace {

std::vector<int32_t> Values(const LineItemTable& t) {
  std::vector<int32_t> v;
  for (const LineItem& row : t) v.push_back(row.value);
  return v;
}

// Rows are numbered from the table's first id without gaps, and every id
// finds its own row.
void ExpectConsecutive(const LineItemTable& t, int32_t firstId, LineSettingKind kind) {
  int32_t id = firstId;
  for (const LineItem& row : t) {
    EXPECT_EQ(row.commandId, id);
    EXPECT_EQ(t.findById(id), &row);
    EXPECT_EQ(t.valueOf(id), row.value);
    EXPECT_EQ(KindOfCommand(id), kind) << id;
    ++id;
  }
  for (int32_t outside : {firstId - 1, id}) {
    EXPECT_EQ(t.findById(outside), nullptr) << outside;
    EXPECT_EQ(t.valueOf(outside), 0) << outside;
    EXPECT_NE(KindOfCommand(outside), kind) << outside;
  }
}

TEST(LineItems, Tables) {
  EXPECT_EQ(Values(BaudRateItems()),
            (std::vector<int32_t>{256000, 128000, 115200, 57600, 38400, 19200, 14400, 9600, 7200, 4800,
                                  2400, 1800, 1200, 600, 300, 150, 134, 110, 75}));
  EXPECT_EQ(Values(DataBitsItems()), (std::vector<int32_t>{8, 7, 6, 5, 4}));
  EXPECT_EQ(Values(StopBitsItems()), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(Values(ParityItems()), (std::vector<int32_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(Values(FlowControlItems()), (std::vector<int32_t>{0, 1, 2, 3}));

  ExpectConsecutive(BaudRateItems(), 2000, LineSettingKind::BaudRate);
  ExpectConsecutive(DataBitsItems(), 2020, LineSettingKind::DataBits);
  ExpectConsecutive(StopBitsItems(), 2030, LineSettingKind::StopBits);
  ExpectConsecutive(ParityItems(), 2040, LineSettingKind::Parity);
  ExpectConsecutive(FlowControlItems(), 2050, LineSettingKind::FlowControl);
  for (const LineItem& row : BaudRateItems()) EXPECT_EQ(std::to_wstring(row.value), row.name);
  for (int32_t id : {0, -1, 1999, 2019, 2025, 2029, 2033, 2039, 2045, 2049, 2054, 2100})
    EXPECT_EQ(KindOfCommand(id), LineSettingKind::None) << id;
}

// baud, data bits, stop bits, parity, flow.
std::vector<int> Flat(const LineValues& v) {
  return {v.baudRate, v.dataBits, v.stopBits, v.parity, v.flowMode};
}

TEST(LineItems, LineValuesOf) {
  EXPECT_EQ(Flat(LineValuesOf(LineSelection{})), (std::vector<int>{115200, 8, 0, 0, 0}));
  EXPECT_EQ(Flat(LineValuesOf(LineSelection{2018, 2042, 2023, 2032, 2053})),
            (std::vector<int>{75, 5, 2, 2, 3}));
  // A restored selection may hold anything; ids from another table count
  // as unknown too.
  EXPECT_EQ(Flat(LineValuesOf(LineSelection{-5, 2002, 2040, 99999, 2020})),
            (std::vector<int>{0, 0, 0, 0, 0}));
}

// The status line names what the port receives: an unknown stop-bits id
// shows the row whose code the port then gets ("1"), an unknown parity
// "None".
TEST(LineItems, StatusNamesOfWhatThePortGets) {
  auto stop = [](int32_t id) { return StopBitsName(LineValuesOf(LineSelection{2002, 2040, 2020, id, 2050}).stopBits); };
  EXPECT_STREQ(stop(2030), L"1");
  EXPECT_STREQ(stop(2031), L"1.5");
  EXPECT_STREQ(stop(2032), L"2");
  EXPECT_STREQ(stop(2033), L"1");

  auto parity = [](int32_t id) { return ParityName(LineValuesOf(LineSelection{2002, id, 2020, 2030, 2050}).parity); };
  const wchar_t* names[] = {L"None", L"Odd", L"Even", L"Mark", L"Space"};
  for (int32_t i = 0; i < 5; ++i) EXPECT_STREQ(parity(2040 + i), names[i]);
  EXPECT_STREQ(parity(2045), L"None");
  EXPECT_STREQ(parity(-1), L"None");
}

// A delay mode restored as any number paces as "禁用定时" does.
TEST(LineItems, UnknownDelayModesPaceAsNone) {
  EXPECT_EQ(DelayModeOf(2101), DelayMode::LoopAll);
  EXPECT_EQ(DelayModeOf(2103), DelayMode::OnceLines);
  for (int32_t id : {0, 2099, 2104, -2101}) {
    EXPECT_EQ(DelayModeOf(id), DelayMode::Off) << id;
    EXPECT_FALSE(IsDelayModeItem(id)) << id;
  }
}

// The custom rate's box takes digits from 50 to 12000000 only, however
// they were pasted in; a rate it takes reaches the port only as item 2069
// with that rate, and one of the list is that item's.
TEST(LineItems, CustomRates) {
  uint32_t rate = 7;
  EXPECT_TRUE(ParseCustomBaud(L"250000", rate));
  EXPECT_EQ(rate, 250000u);
  EXPECT_TRUE(ParseCustomBaud(L"0050", rate));
  EXPECT_EQ(rate, 50u);
  for (const wchar_t* refused : {L"", L"49", L"12000001", L"99999999999999999999", L"1e6", L"-300", L" 9600"}) {
    rate = 7;
    EXPECT_FALSE(ParseCustomBaud(refused, rate)) << refused;
    EXPECT_EQ(rate, 7u) << refused;
  }
  LineSelection custom;
  custom.baudItem = kCustomBaudItem;
  EXPECT_EQ(LineValuesOf(custom, 250000).baudRate, 250000);
  EXPECT_EQ(LineValuesOf(custom, 20000000).baudRate, 0) << "a rate beyond the box's reached the port";
  EXPECT_EQ(BaudItemOf(921600), 2063);
  EXPECT_EQ(BaudItemOf(250000), 0);
  // Under Wine a rate without a Linux constant silently runs at 38400.
  EXPECT_TRUE(LinuxHasRate(921600));
  EXPECT_TRUE(LinuxHasRate(576000));
  EXPECT_FALSE(LinuxHasRate(250000));
  EXPECT_FALSE(LinuxHasRate(256000));
}

}  // namespace
}  // namespace tv
