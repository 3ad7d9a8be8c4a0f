#include "serial/LineSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tv {
namespace {

std::vector<int32_t> Values(const LineSettingTable& t) {
  std::vector<int32_t> v;
  for (const LineSettingRow& row : t) v.push_back(row.value);
  return v;
}

// Rows are numbered from the table's first id without gaps, and every id
// finds its own row.
void ExpectConsecutive(const LineSettingTable& t, int32_t firstId, LineSettingKind kind) {
  int32_t id = firstId;
  for (const LineSettingRow& row : t) {
    EXPECT_EQ(row.commandId, id);
    EXPECT_EQ(t.findById(id), &row);
    EXPECT_EQ(t.valueOf(id), row.value);
    EXPECT_EQ(KindOfCommand(id), kind) << id;
    ++id;
  }
  for (int32_t outside : {firstId - 1, id}) {
    EXPECT_FALSE(t.contains(outside)) << outside;
    EXPECT_EQ(t.valueOf(outside), 0) << outside;
    EXPECT_NE(KindOfCommand(outside), kind) << outside;
  }
}

TEST(LineSettings, Tables) {
  EXPECT_EQ(Values(BaudRateTable()),
            (std::vector<int32_t>{256000, 128000, 115200, 57600, 38400, 19200, 14400, 9600, 7200, 4800,
                                  2400, 1800, 1200, 600, 300, 150, 134, 110, 75}));
  EXPECT_EQ(Values(DataBitsTable()), (std::vector<int32_t>{8, 7, 6, 5, 4}));
  EXPECT_EQ(Values(StopBitsTable()), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(Values(ParityTable()), (std::vector<int32_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(Values(FlowControlTable()), (std::vector<int32_t>{0, 1, 2, 3}));

  ExpectConsecutive(BaudRateTable(), 2000, LineSettingKind::BaudRate);
  ExpectConsecutive(DataBitsTable(), 2020, LineSettingKind::DataBits);
  ExpectConsecutive(StopBitsTable(), 2030, LineSettingKind::StopBits);
  ExpectConsecutive(ParityTable(), 2040, LineSettingKind::Parity);
  ExpectConsecutive(FlowControlTable(), 2050, LineSettingKind::FlowControl);
  for (const LineSettingRow& row : BaudRateTable()) EXPECT_EQ(std::to_wstring(row.value), row.name);
  for (int32_t id : {0, -1, 1999, 2019, 2025, 2029, 2033, 2039, 2045, 2049, 2054, 2100})
    EXPECT_EQ(KindOfCommand(id), LineSettingKind::None) << id;
  EXPECT_EQ(BaudRateTable().findByValue(9600)->commandId, 2007);
  EXPECT_EQ(BaudRateTable().findByValue(9601), nullptr);
}

// baud, data bits, stop bits, parity, flow.
std::vector<int> Flat(const LineValues& v) {
  return {v.baudRate, v.dataBits, v.stopBits, v.parity, v.flowMode};
}

TEST(LineSettings, LookupLineValues) {
  EXPECT_EQ(Flat(LookupLineValues(LineSelection{})), (std::vector<int>{115200, 8, 0, 0, 0}));
  EXPECT_EQ(Flat(LookupLineValues(LineSelection{2018, 2042, 2023, 2032, 2053})),
            (std::vector<int>{75, 5, 2, 2, 3}));
  // A restored selection may hold anything; ids from another table count
  // as unknown too.
  EXPECT_EQ(Flat(LookupLineValues(LineSelection{-5, 2002, 2040, 99999, 2020})),
            (std::vector<int>{0, 0, 0, 0, 0}));
}

TEST(LineSettings, Names) {
  EXPECT_STREQ(StopBitsName(2030), L"1");
  EXPECT_STREQ(StopBitsName(2031), L"1.5");
  EXPECT_STREQ(StopBitsName(2032), L"2");
  EXPECT_STREQ(StopBitsName(2033), L"1");

  const wchar_t* parity[] = {L"None", L"Odd", L"Even", L"Mark", L"Space"};
  for (int32_t i = 0; i < 5; ++i) EXPECT_STREQ(ParityName(2040 + i), parity[i]);
  EXPECT_STREQ(ParityName(2045), L"None");
  EXPECT_STREQ(ParityName(-1), L"None");
}

}  // namespace
}  // namespace tv
