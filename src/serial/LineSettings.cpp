#include "serial/LineSettings.h"

namespace tv {

uint32_t ByteMicros(const LineValues& v) {
  if (v.baudRate <= 0) return 0;
  // In half bits, for one and a half stop bits.
  uint64_t halfBits = 2u * (1u + v.dataBits + (v.parity != 0 ? 1u : 0u));
  halfBits += v.stopBits == 0 ? 2u : v.stopBits == 1 ? 3u : 4u;
  uint64_t twiceBaud = 2u * static_cast<uint64_t>(v.baudRate);
  return static_cast<uint32_t>((halfBits * 1000000u + twiceBaud - 1) / twiceBaud);
}

bool IsClassicRate(int32_t baudRate) {
  static const int32_t kRates[] = {256000, 128000, 115200, 57600, 38400, 19200, 14400, 9600, 7200, 4800,
                                   2400,   1800,   1200,   600,   300,   150,   134,   110,  75};
  for (int32_t rate : kRates)
    if (rate == baudRate) return true;
  return false;
}

uint32_t WriteBlockBytes(const LineValues& v) {
  constexpr uint32_t kLeastBytes = 4096;
  const uint32_t micros = ByteMicros(v);
  const uint32_t lineTime = micros > 0 ? 100000u / micros : 0;
  return lineTime > kLeastBytes ? lineTime : kLeastBytes;
}

const wchar_t* StopBitsName(uint8_t stopBits) {
  static const wchar_t* const kNames[] = {L"1", L"1.5", L"2"};
  return stopBits < 3 ? kNames[stopBits] : kNames[0];
}

const wchar_t* ParityName(uint8_t parity) {
  static const wchar_t* const kNames[] = {L"None", L"Odd", L"Even", L"Mark", L"Space"};
  return parity < 5 ? kNames[parity] : kNames[0];
}

}  // namespace tv
