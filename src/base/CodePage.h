// Text between UTF-16 and the system's ANSI code page, the code page of
// the serial line in both directions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tv {

// Bytes in the ANSI code page as UTF-16; bytes with no character become
// the code page's replacement.
std::wstring AnsiToWide(const char* bytes, std::size_t n);

// UTF-16 in the ANSI code page; characters it lacks become its default
// character.
std::string WideToAnsi(const wchar_t* units, std::size_t n);

// True when b starts a double-byte character in the ANSI code page.
bool IsAnsiLeadByte(uint8_t b);

}  // namespace tv
