#include "app/LineItems.h"

namespace tv {
namespace {

const LineItem kBaudRows[] = {
    {2000, L"256000", 256000}, {2001, L"128000", 128000}, {2002, L"115200", 115200},
    {2003, L"57600", 57600},   {2004, L"38400", 38400},   {2005, L"19200", 19200},
    {2006, L"14400", 14400},   {2007, L"9600", 9600},     {2008, L"7200", 7200},
    {2009, L"4800", 4800},     {2010, L"2400", 2400},     {2011, L"1800", 1800},
    {2012, L"1200", 1200},     {2013, L"600", 600},       {2014, L"300", 300},
    {2015, L"150", 150},       {2016, L"134", 134},       {2017, L"110", 110},
    {2018, L"75", 75},
};
const LineItem kHighBaudRows[] = {
    {2060, L"230400", 230400},   {2061, L"460800", 460800},   {2062, L"500000", 500000},
    {2063, L"921600", 921600},   {2064, L"1000000", 1000000}, {2065, L"1500000", 1500000},
    {2066, L"2000000", 2000000}, {2067, L"3000000", 3000000},
};
const LineItem kDataBitsRows[] = {
    {2020, L"8", 8}, {2021, L"7", 7}, {2022, L"6", 6}, {2023, L"5", 5}, {2024, L"4", 4},
};
const LineItem kStopBitsRows[] = {
    {2030, L"1", 0}, {2031, L"1.5", 1}, {2032, L"2", 2},
};
const LineItem kParityRows[] = {
    {2040, L"None", 0}, {2041, L"Odd", 1}, {2042, L"Even", 2}, {2043, L"Mark", 3}, {2044, L"Space", 4},
};
const LineItem kFlowRows[] = {
    {2050, L"NA", 0}, {2051, L"CTS", 1}, {2052, L"DSR", 2}, {2053, L"SW", 3},
};

template <std::size_t N>
constexpr LineItemTable MakeTable(const LineItem (&rows)[N]) {
  return LineItemTable{rows, N};
}

const LineItemTable kBaud = MakeTable(kBaudRows);
const LineItemTable kHighBaud = MakeTable(kHighBaudRows);
const LineItemTable kDataBits = MakeTable(kDataBitsRows);
const LineItemTable kStopBits = MakeTable(kStopBitsRows);
const LineItemTable kParity = MakeTable(kParityRows);
const LineItemTable kFlow = MakeTable(kFlowRows);

}  // namespace

const LineItem* LineItemTable::findById(int32_t commandId) const {
  for (const LineItem& row : *this)
    if (row.commandId == commandId) return &row;
  return nullptr;
}

int32_t LineItemTable::valueOf(int32_t commandId) const {
  const LineItem* row = findById(commandId);
  return row ? row->value : 0;
}

const LineItemTable& BaudRateItems() { return kBaud; }
const LineItemTable& HighBaudRateItems() { return kHighBaud; }
const LineItemTable& DataBitsItems() { return kDataBits; }
const LineItemTable& StopBitsItems() { return kStopBits; }
const LineItemTable& ParityItems() { return kParity; }
const LineItemTable& FlowControlItems() { return kFlow; }

LineValues LineValuesOf(const LineSelection& s, uint32_t customBaud) {
  LineValues v;
  v.baudRate = kBaud.valueOf(s.baudItem);
  if (v.baudRate == 0) v.baudRate = kHighBaud.valueOf(s.baudItem);
  if (s.baudItem == kCustomBaudItem && customBaud >= kLeastCustomBaud && customBaud <= kMostCustomBaud)
    v.baudRate = static_cast<int32_t>(customBaud);
  v.dataBits = static_cast<uint8_t>(kDataBits.valueOf(s.dataBitsItem));
  v.stopBits = static_cast<uint8_t>(kStopBits.valueOf(s.stopBitsItem));
  v.parity = static_cast<uint8_t>(kParity.valueOf(s.parityItem));
  v.flowMode = kFlow.valueOf(s.flowItem);
  return v;
}

int32_t BaudItemOf(uint32_t rate) {
  for (const LineItemTable* table : {&kBaud, &kHighBaud})
    for (const LineItem& row : *table)
      if (static_cast<uint32_t>(row.value) == rate) return row.commandId;
  return 0;
}

bool ParseCustomBaud(const std::wstring& text, uint32_t& rate) {
  if (text.empty()) return false;
  uint64_t value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + static_cast<uint64_t>(c - L'0');
    if (value > kMostCustomBaud) return false;
  }
  if (value < kLeastCustomBaud) return false;
  rate = static_cast<uint32_t>(value);
  return true;
}

bool LinuxHasRate(uint32_t rate) {
  static const uint32_t kRates[] = {50,     75,     110,     134,     150,     200,     300,     600,
                                    1200,   1800,   2400,    4800,    9600,    19200,   38400,   57600,
                                    115200, 230400, 460800,  500000,  576000,  921600,  1000000, 1152000,
                                    1500000, 2000000, 2500000, 3000000, 3500000, 4000000};
  for (uint32_t r : kRates)
    if (r == rate) return true;
  return false;
}

LineSettingKind KindOfCommand(int32_t id) {
  if (id >= 2000 && id <= 2018) return LineSettingKind::BaudRate;
  if ((id >= 2060 && id <= 2067) || id == kCustomBaudItem) return LineSettingKind::BaudRate;
  if (id >= 2020 && id <= 2024) return LineSettingKind::DataBits;
  if (id >= 2030 && id <= 2032) return LineSettingKind::StopBits;
  if (id >= 2040 && id <= 2044) return LineSettingKind::Parity;
  if (id >= 2050 && id <= 2053) return LineSettingKind::FlowControl;
  return LineSettingKind::None;
}

bool IsDtrItem(int32_t id) { return id >= kDtrFollowItem && id <= kDtrFollowItem + 2; }
bool IsRtsItem(int32_t id) { return id >= kRtsFollowItem && id <= kRtsFollowItem + 2; }

LineLevel LineLevelOf(int32_t id) {
  const int32_t first = IsDtrItem(id) ? kDtrFollowItem : IsRtsItem(id) ? kRtsFollowItem : 0;
  if (first == 0 || id == first) return LineLevel::FollowFlow;
  return id == first + 1 ? LineLevel::On : LineLevel::Off;
}

bool IsFrameGapItem(int32_t id) { return id >= kNoFrameGapItem && id <= kNoFrameGapItem + 5; }
bool IsLineEndItem(int32_t id) { return id >= kAsIsLineEndItem && id <= kAsIsLineEndItem + 3; }
bool IsChecksumItem(int32_t id) { return id >= kNoChecksumItem && id <= kNoChecksumItem + 4; }

uint32_t FrameGapMsOf(int32_t id) {
  static const uint32_t kGaps[] = {0, 20, 50, 100, 200, 500};
  return IsFrameGapItem(id) ? kGaps[id - kNoFrameGapItem] : 0;
}

LineEnd LineEndOf(int32_t id) {
  static const LineEnd kEnds[] = {LineEnd::AsIs, LineEnd::Cr, LineEnd::Lf, LineEnd::CrLf};
  return IsLineEndItem(id) ? kEnds[id - kAsIsLineEndItem] : LineEnd::AsIs;
}

Checksum ChecksumOf(int32_t id) {
  static const Checksum kSums[] = {Checksum::None, Checksum::Sum8, Checksum::Xor8, Checksum::Crc16Modbus,
                                   Checksum::Crc16Ccitt};
  return IsChecksumItem(id) ? kSums[id - kNoChecksumItem] : Checksum::None;
}

bool IsDelayModeItem(int32_t id) { return id >= kDelayOffItem && id <= kDelayOffItem + 3; }

DelayMode DelayModeOf(int32_t id) {
  switch (id) {
    case 2101: return DelayMode::LoopAll;
    case 2102: return DelayMode::LoopLines;
    case 2103: return DelayMode::OnceLines;
    default: return DelayMode::Off;
  }
}

}  // namespace tv
