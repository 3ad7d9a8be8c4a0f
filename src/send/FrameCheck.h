// The check bytes a hex send appends to each frame it sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "send/SendOptions.h"

namespace tv {

// How many bytes the check adds: 0, 1 or 2.
std::size_t CheckBytes(Checksum kind);

// Appends the check of the frame's bytes to it. SUM8: the sum of the bytes
// modulo 256. XOR8: their exclusive or. CRC16 Modbus: reflected polynomial
// 0xA001 from 0xFFFF, low byte first, as a Modbus RTU device checks it.
// CRC16 CCITT: polynomial 0x1021 from 0xFFFF, not reflected, high byte
// first.
void AppendCheck(Checksum kind, std::vector<uint8_t>& frame);

}  // namespace tv
