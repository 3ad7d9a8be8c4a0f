#include "base/CodePage.h"

#include <windows.h>

namespace tv {

std::wstring AnsiToWide(const char* bytes, std::size_t n) {
  int units = MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(n), nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring out(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(n), &out[0], units);
  return out;
}

std::string WideToAnsi(const wchar_t* units, std::size_t n) {
  int size = WideCharToMultiByte(CP_ACP, 0, units, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, units, static_cast<int>(n), &bytes[0], size, nullptr, nullptr);
  return bytes;
}

bool IsAnsiLeadByte(uint8_t b) { return IsDBCSLeadByte(b) != FALSE; }

}  // namespace tv
