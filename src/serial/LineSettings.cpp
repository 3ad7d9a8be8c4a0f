#include "serial/LineSettings.h"

namespace tv {
namespace {

const LineSettingRow kBaudRows[] = {
    {2000, L"256000", 256000}, {2001, L"128000", 128000}, {2002, L"115200", 115200},
    {2003, L"57600", 57600},   {2004, L"38400", 38400},   {2005, L"19200", 19200},
    {2006, L"14400", 14400},   {2007, L"9600", 9600},     {2008, L"7200", 7200},
    {2009, L"4800", 4800},     {2010, L"2400", 2400},     {2011, L"1800", 1800},
    {2012, L"1200", 1200},     {2013, L"600", 600},       {2014, L"300", 300},
    {2015, L"150", 150},       {2016, L"134", 134},       {2017, L"110", 110},
    {2018, L"75", 75},
};
const LineSettingRow kDataBitsRows[] = {
    {2020, L"8", 8}, {2021, L"7", 7}, {2022, L"6", 6}, {2023, L"5", 5}, {2024, L"4", 4},
};
const LineSettingRow kStopBitsRows[] = {
    {2030, L"1", 0}, {2031, L"1.5", 1}, {2032, L"2", 2},
};
const LineSettingRow kParityRows[] = {
    {2040, L"None", 0}, {2041, L"Odd", 1}, {2042, L"Even", 2}, {2043, L"Mark", 3}, {2044, L"Space", 4},
};
const LineSettingRow kFlowRows[] = {
    {2050, L"NA", 0}, {2051, L"CTS", 1}, {2052, L"DSR", 2}, {2053, L"SW", 3},
};

template <std::size_t N>
constexpr LineSettingTable MakeTable(const LineSettingRow (&rows)[N]) {
  return LineSettingTable{rows, N};
}

const LineSettingTable kBaud = MakeTable(kBaudRows);
const LineSettingTable kDataBits = MakeTable(kDataBitsRows);
const LineSettingTable kStopBits = MakeTable(kStopBitsRows);
const LineSettingTable kParity = MakeTable(kParityRows);
const LineSettingTable kFlow = MakeTable(kFlowRows);

}  // namespace

const LineSettingRow* LineSettingTable::findById(int32_t commandId) const {
  for (const LineSettingRow& row : *this)
    if (row.commandId == commandId) return &row;
  return nullptr;
}

const LineSettingRow* LineSettingTable::findByValue(int32_t value) const {
  for (const LineSettingRow& row : *this)
    if (row.value == value) return &row;
  return nullptr;
}

int32_t LineSettingTable::valueOf(int32_t commandId) const {
  const LineSettingRow* row = findById(commandId);
  return row ? row->value : 0;
}

const LineSettingTable& BaudRateTable() { return kBaud; }
const LineSettingTable& DataBitsTable() { return kDataBits; }
const LineSettingTable& StopBitsTable() { return kStopBits; }
const LineSettingTable& ParityTable() { return kParity; }
const LineSettingTable& FlowControlTable() { return kFlow; }

LineValues LookupLineValues(const LineSelection& s) {
  LineValues v;
  v.baudRate = kBaud.valueOf(s.baudItem);
  v.dataBits = static_cast<uint8_t>(kDataBits.valueOf(s.dataBitsItem));
  v.stopBits = static_cast<uint8_t>(kStopBits.valueOf(s.stopBitsItem));
  v.parity = static_cast<uint8_t>(kParity.valueOf(s.parityItem));
  v.flowMode = kFlow.valueOf(s.flowItem);
  return v;
}

uint32_t ByteMicros(const LineValues& v) {
  if (v.baudRate <= 0) return 0;
  // In half bits, for one and a half stop bits.
  uint64_t halfBits = 2u * (1u + v.dataBits + (v.parity != 0 ? 1u : 0u));
  halfBits += v.stopBits == 0 ? 2u : v.stopBits == 1 ? 3u : 4u;
  uint64_t twiceBaud = 2u * static_cast<uint64_t>(v.baudRate);
  return static_cast<uint32_t>((halfBits * 1000000u + twiceBaud - 1) / twiceBaud);
}

const wchar_t* StopBitsName(int32_t stopBitsItem) {
  const LineSettingRow* row = kStopBits.findById(stopBitsItem);
  if (row == nullptr) row = kStopBits.findByValue(0);
  return row->name;
}

const wchar_t* ParityName(int32_t parityItem) {
  return kParity.findByValue(kParity.valueOf(parityItem))->name;
}

LineSettingKind KindOfCommand(int32_t id) {
  if (id >= 2000 && id <= 2018) return LineSettingKind::BaudRate;
  if (id >= 2020 && id <= 2024) return LineSettingKind::DataBits;
  if (id >= 2030 && id <= 2032) return LineSettingKind::StopBits;
  if (id >= 2040 && id <= 2044) return LineSettingKind::Parity;
  if (id >= 2050 && id <= 2053) return LineSettingKind::FlowControl;
  return LineSettingKind::None;
}

}  // namespace tv
