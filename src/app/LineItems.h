// The menu items of the line settings and the delay modes, and the values
// each stands for. A choice is held and stored as the command id of its
// item; a restored choice may hold any number, so every lookup copes with
// an id that is in no row: it stands for the value 0.
#pragma once

#include <cstddef>
#include <cstdint>

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

const LineItemTable& BaudRateItems();
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

LineValues LineValuesOf(const LineSelection& s);

// Which table a command id belongs to, for routing and for storing.
enum class LineSettingKind { None, BaudRate, DataBits, StopBits, Parity, FlowControl };
LineSettingKind KindOfCommand(int32_t commandId);

// The delay modes' items, 2100 to 2103. An id in no row paces as 2100.
constexpr int32_t kDelayOffItem = 2100;
bool IsDelayModeItem(int32_t commandId);
DelayMode DelayModeOf(int32_t commandId);

}  // namespace tv
