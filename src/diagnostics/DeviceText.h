// Window-free parts of the device reports.
#pragma once

#include <cstdint>
#include <string>

namespace tv {

// The letter of the lowest drive bit among A..Z (bit 0 = A), '-' when none
// of those 26 bits is set.
wchar_t DriveLetterFromMask(uint32_t unitMask);

// The drive-type word of the disk report, by the platform's drive type
// (0 unknown .. 6 RAM disk); empty for anything else.
const wchar_t* DriveTypeText(unsigned driveType);

// Used space from a volume's total and free bytes. Free space can exceed
// the total the caller may use when quotas apply; that is none used rather
// than a wrapped-around count.
uint64_t UsedBytes(uint64_t total, uint64_t free);

}  // namespace tv
