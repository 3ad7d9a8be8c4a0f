#include "send/FrameCheck.h"

namespace tv {
namespace {

uint16_t Crc16Modbus(const uint8_t* bytes, std::size_t n) {
  uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < n; ++i) {
    crc = static_cast<uint16_t>(crc ^ bytes[i]);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>((crc & 1u) != 0 ? (crc >> 1) ^ 0xA001u : crc >> 1);
  }
  return crc;
}

uint16_t Crc16Ccitt(const uint8_t* bytes, std::size_t n) {
  uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < n; ++i) {
    crc = static_cast<uint16_t>(crc ^ (bytes[i] << 8));
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>((crc & 0x8000u) != 0 ? (crc << 1) ^ 0x1021u : crc << 1);
  }
  return crc;
}

}  // namespace

std::size_t CheckBytes(Checksum kind) {
  switch (kind) {
    case Checksum::Sum8:
    case Checksum::Xor8:
      return 1;
    case Checksum::Crc16Modbus:
    case Checksum::Crc16Ccitt:
      return 2;
    case Checksum::None:
      break;
  }
  return 0;
}

void AppendCheck(Checksum kind, std::vector<uint8_t>& frame) {
  const uint8_t* bytes = frame.data();
  const std::size_t n = frame.size();
  switch (kind) {
    case Checksum::Sum8: {
      uint8_t sum = 0;
      for (std::size_t i = 0; i < n; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
      frame.push_back(sum);
      break;
    }
    case Checksum::Xor8: {
      uint8_t x = 0;
      for (std::size_t i = 0; i < n; ++i) x = static_cast<uint8_t>(x ^ bytes[i]);
      frame.push_back(x);
      break;
    }
    case Checksum::Crc16Modbus: {
      const uint16_t crc = Crc16Modbus(bytes, n);
      frame.push_back(static_cast<uint8_t>(crc & 0xFF));
      frame.push_back(static_cast<uint8_t>(crc >> 8));
      break;
    }
    case Checksum::Crc16Ccitt: {
      const uint16_t crc = Crc16Ccitt(bytes, n);
      frame.push_back(static_cast<uint8_t>(crc >> 8));
      frame.push_back(static_cast<uint8_t>(crc & 0xFF));
      break;
    }
    case Checksum::None:
      break;
  }
}

}  // namespace tv
