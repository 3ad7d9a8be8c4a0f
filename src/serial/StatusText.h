// The two lines of the status view.
#pragma once

#include <string>

namespace tv {

struct StatusFacts {
  bool portOpen;
  int position;           // 1-based place of the chosen port, 0 when missing
  int portCount;
  std::wstring portText;  // the list entry, or the vanished message
  int baudRate;
  int dataBits;
  const wchar_t* stopBitsName;
  const wchar_t* parityName;
};

std::wstring VanishedPortText(const std::wstring& portName);
std::wstring StatusText(const StatusFacts& facts);

}  // namespace tv
