#include "send/FrameCheck.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace tv {
namespace {

std::vector<uint8_t> Framed(Checksum kind, std::vector<uint8_t> frame) {
  AppendCheck(kind, frame);
  return frame;
}

std::vector<uint8_t> Digits() {
  const char* text = "123456789";
  return std::vector<uint8_t>(text, text + std::strlen(text));
}

std::vector<uint8_t> Tail(const std::vector<uint8_t>& v, std::size_t n) {
  return std::vector<uint8_t>(v.end() - static_cast<std::ptrdiff_t>(n), v.end());
}

// The catalogued check values of "123456789" (CRC-16/MODBUS 0x4B37,
// CRC-16/IBM-3740, the CCITT one from 0xFFFF, 0x29B1), each in the byte
// order its devices read, and the Modbus requests of the protocol's own
// examples: a device drops a frame whose CRC is swapped or off by a bit.
TEST(FrameCheck, TheCrcsMatchPublishedValuesInTheirByteOrder) {
  EXPECT_EQ(Tail(Framed(Checksum::Crc16Modbus, Digits()), 2), (std::vector<uint8_t>{0x37, 0x4B}));
  EXPECT_EQ(Tail(Framed(Checksum::Crc16Ccitt, Digits()), 2), (std::vector<uint8_t>{0x29, 0xB1}));
  EXPECT_EQ(Framed(Checksum::Crc16Modbus, {0x01, 0x03, 0x00, 0x0A, 0x00, 0x02}),
            (std::vector<uint8_t>{0x01, 0x03, 0x00, 0x0A, 0x00, 0x02, 0xE4, 0x09}));
  EXPECT_EQ(Tail(Framed(Checksum::Crc16Modbus, {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}), 2),
            (std::vector<uint8_t>{0xC5, 0xCD}));
  EXPECT_EQ(CheckBytes(Checksum::Crc16Modbus), 2u);
}

// The 8-bit checks keep the low byte of the sum, and a byte twice cancels
// out of the exclusive or; nothing is added without a check.
TEST(FrameCheck, TheEightBitChecksWrapAndCancel) {
  EXPECT_EQ(Tail(Framed(Checksum::Sum8, Digits()), 1), (std::vector<uint8_t>{0xDD}));
  EXPECT_EQ(Framed(Checksum::Sum8, {0xFF, 0x01, 0x02}), (std::vector<uint8_t>{0xFF, 0x01, 0x02, 0x02}));
  EXPECT_EQ(Tail(Framed(Checksum::Xor8, Digits()), 1), (std::vector<uint8_t>{0x31}));
  EXPECT_EQ(Framed(Checksum::Xor8, {0x12, 0x34, 0x12, 0x34}), (std::vector<uint8_t>{0x12, 0x34, 0x12, 0x34, 0x00}));
  EXPECT_EQ(Framed(Checksum::None, {0x12}), (std::vector<uint8_t>{0x12}));
}

}  // namespace
}  // namespace tv
