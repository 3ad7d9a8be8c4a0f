// Window-free parts of the device reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tv {

// The letter of the lowest drive bit among A..Z (bit 0 = A), '-' when none
// of those 26 bits is set.
wchar_t DriveLetterFromMask(uint32_t unitMask);

// The drive-type word of the disk report, by the platform's drive type
// (0 unknown .. 6 RAM disk); empty for anything else.
const wchar_t* DriveTypeText(unsigned driveType);

// Where a port record's name starts: after its size, type and reserved
// words.
constexpr std::size_t kPortRecordNameOffset = 12;
// The device type of a port record (DBT_DEVTYP_PORT).
constexpr uint32_t kPortRecordType = 3;

// The port name of a port record whose header claims recordSize bytes: the
// UTF-16 units after the header up to the first zero, never past the
// record's end (a record need not be terminated, nor aligned, nor even
// long enough to hold a name).
std::wstring PortNameFromRecord(const void* record, std::size_t recordSize);

// A whole port record for a name, as the system broadcasts it: size, port
// type and a reserved word, then the name's UTF-16 units and a zero.
std::vector<unsigned char> PortRecord(const std::wstring& name);

// Used space from a volume's total and free bytes. Free space can exceed
// the total the caller may use when quotas apply; that is none used rather
// than a wrapped-around count.
uint64_t UsedBytes(uint64_t total, uint64_t free);

}  // namespace tv
