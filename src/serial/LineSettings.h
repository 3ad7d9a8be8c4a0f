// The five line-setting tables. A selection is always held as the command id
// of its menu item; a restored selection may hold any number, so every
// lookup copes with an id that is in no row.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv {

struct LineSettingRow {
  int32_t commandId;
  const wchar_t* name;
  int32_t value;
};

struct LineSettingTable {
  const LineSettingRow* rows;
  std::size_t size;

  const LineSettingRow* begin() const { return rows; }
  const LineSettingRow* end() const { return rows + size; }
  // The row with this command id, or null.
  const LineSettingRow* findById(int32_t commandId) const;
  // The first row with this value, or null.
  const LineSettingRow* findByValue(int32_t value) const;
  // The row's value, or 0 when the id is in no row.
  int32_t valueOf(int32_t commandId) const;
  bool contains(int32_t commandId) const { return findById(commandId) != nullptr; }
};

const LineSettingTable& BaudRateTable();
const LineSettingTable& DataBitsTable();
const LineSettingTable& StopBitsTable();
const LineSettingTable& ParityTable();
const LineSettingTable& FlowControlTable();

// The five selections, as command ids.
struct LineSelection {
  int32_t baudItem = 2002;
  int32_t parityItem = 2040;
  int32_t dataBitsItem = 2020;
  int32_t stopBitsItem = 2030;
  int32_t flowItem = 2050;
};

// What the port configuration receives.
struct LineValues {
  int32_t baudRate;
  uint8_t dataBits;
  uint8_t stopBits;  // 0 one, 1 one and a half, 2 two
  uint8_t parity;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int32_t flowMode;  // 0 none, 1 RTS handshake, 2 DTR handshake, 3 XON/XOFF
};

LineValues LookupLineValues(const LineSelection& s);

// Microseconds the line takes for one byte: start bit, data bits, parity
// bit, stop bits. 0 for a rate of 0 or less.
uint32_t ByteMicros(const LineValues& v);

// Names shown in the status line. An unknown stop-bits id shows the row
// whose code the port then receives ("1"); parity goes by value, so an
// unknown id shows "None".
const wchar_t* StopBitsName(int32_t stopBitsItem);
const wchar_t* ParityName(int32_t parityItem);

// Which table a command id belongs to, for routing and for storing.
enum class LineSettingKind { None, BaudRate, DataBits, StopBits, Parity, FlowControl };
LineSettingKind KindOfCommand(int32_t commandId);

}  // namespace tv
