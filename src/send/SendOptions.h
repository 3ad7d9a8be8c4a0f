// How text and hex sends end what they send.
#pragma once

#include <cstdint>

namespace tv {

// What ends each line of a text send: as typed (a line feed between lines,
// nothing after the last), or CR, LF or CR LF after every line.
enum class LineEnd : uint8_t { AsIs, Cr, Lf, CrLf };

// What each paragraph of a hex send gets appended, as one frame.
enum class Checksum : uint8_t { None, Sum8, Xor8, Crc16Modbus, Crc16Ccitt };

}  // namespace tv
