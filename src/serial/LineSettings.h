// The line settings as the port receives them, and what the status line
// shows of them.
#pragma once

#include <cstdint>

namespace tv {

// A modem control line (DTR, RTS) as chosen: set or kept as the flow mode
// has it, or held on or off.
enum class LineLevel : uint8_t { FollowFlow, On, Off };

struct LineValues {
  int32_t baudRate = 115200;  // 0 when the chosen rate is unknown
  uint8_t dataBits = 8;       // 0 when unknown
  uint8_t stopBits = 0;       // 0 one, 1 one and a half, 2 two
  uint8_t parity = 0;         // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int32_t flowMode = 0;       // 0 none, 1 RTS handshake, 2 DTR handshake, 3 XON/XOFF
  LineLevel dtr = LineLevel::FollowFlow;
  LineLevel rts = LineLevel::FollowFlow;
};

// The rates serial ports have always offered, 75 to 256000, against the
// fast and custom ones some adapters and drivers do not take.
bool IsClassicRate(int32_t baudRate);

// The most one write carries: 4 KiB, or 100 ms of line time where that
// is more, so a frame that fits goes out in one write at every rate.
uint32_t WriteBlockBytes(const LineValues& v);

// Microseconds the line takes for one byte: start bit, data bits, parity
// bit, stop bits. 0 for a rate of 0 or less.
uint32_t ByteMicros(const LineValues& v);

// Names shown in the status line; a code in no row shows as the first row.
const wchar_t* StopBitsName(uint8_t stopBits);
const wchar_t* ParityName(uint8_t parity);

}  // namespace tv
