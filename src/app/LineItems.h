// The menu items of the line settings and the delay modes, and the values
// each stands for. A choice is held and stored as the command id of its
// item; a restored choice may hold any number, so every lookup copes with
// an id that is in no row: it stands for the value 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "send/SendOptions.h"
#include "send/TimedSend.h"
#include "serial/LineSettings.h"

namespace tv {

struct LineItem {
  int32_t commandId;
  const wchar_t* name;
  int32_t value;
};

struct LineItemTable {
  const LineItem* rows;
  std::size_t size;

  const LineItem* begin() const { return rows; }
  const LineItem* end() const { return rows + size; }
  // The row with this command id, or null.
  const LineItem* findById(int32_t commandId) const;
  // The row's value, or 0 when the id is in no row.
  int32_t valueOf(int32_t commandId) const;
};

// The rates of the menu's first part, 2000 to 2018, then those behind its
// separator, 2060 to 2067; the custom rate's item, 2069, is in neither.
const LineItemTable& BaudRateItems();
const LineItemTable& HighBaudRateItems();
constexpr int32_t kCustomBaudItem = 2069;
// The lowest and highest custom rate the box takes.
constexpr uint32_t kLeastCustomBaud = 50;
constexpr uint32_t kMostCustomBaud = 12000000;
const LineItemTable& DataBitsItems();
const LineItemTable& StopBitsItems();
const LineItemTable& ParityItems();
const LineItemTable& FlowControlItems();

// The five choices, as command ids.
struct LineSelection {
  int32_t baudItem = 2002;
  int32_t parityItem = 2040;
  int32_t dataBitsItem = 2020;
  int32_t stopBitsItem = 2030;
  int32_t flowItem = 2050;
};

// customBaud is the rate of item 2069.
LineValues LineValuesOf(const LineSelection& s, uint32_t customBaud = 0);
// The listed item of a rate, or 0.
int32_t BaudItemOf(uint32_t rate);
// A custom rate as typed into its box: digits only, from kLeastCustomBaud
// to kMostCustomBaud; false for anything else.
bool ParseCustomBaud(const std::wstring& text, uint32_t& rate);
// Linux has a constant for the rate. Any other goes through Wine as a
// custom divisor, which a pty ignores and most USB-serial drivers refuse:
// on the Linux route such a rate runs at 38400.
bool LinuxHasRate(uint32_t rate);

// Which table a command id belongs to, for routing and for storing.
enum class LineSettingKind { None, BaudRate, DataBits, StopBits, Parity, FlowControl };
LineSettingKind KindOfCommand(int32_t commandId);

// The modem lines' items: DTR 2070 (follows the flow mode), 2071 (on),
// 2072 (off); RTS 2073 to 2075 alike; 2076 a break; 2077 reconnecting.
constexpr int32_t kDtrFollowItem = 2070;
constexpr int32_t kRtsFollowItem = 2073;
constexpr int32_t kBreakItem = 2076;
constexpr int32_t kReconnectItem = 2077;
bool IsDtrItem(int32_t id);
bool IsRtsItem(int32_t id);
// The level of a DTR or RTS item; an id in neither follows the flow mode.
LineLevel LineLevelOf(int32_t id);

// The options' item groups: the frame gaps 4020 to 4025, the text sends'
// line ends 2080 to 2083, the hex sends' checksums 2090 to 2094.
constexpr int32_t kNoFrameGapItem = 4020;
constexpr int32_t kAsIsLineEndItem = 2080;
constexpr int32_t kNoChecksumItem = 2090;
bool IsFrameGapItem(int32_t id);
bool IsLineEndItem(int32_t id);
bool IsChecksumItem(int32_t id);
uint32_t FrameGapMsOf(int32_t id);
LineEnd LineEndOf(int32_t id);
Checksum ChecksumOf(int32_t id);

// The delay modes' items, 2100 to 2103. An id in no row paces as 2100.
constexpr int32_t kDelayOffItem = 2100;
bool IsDelayModeItem(int32_t commandId);
DelayMode DelayModeOf(int32_t commandId);

}  // namespace tv
