// The record a port's arrival or removal is broadcast with
// (DEV_BROADCAST_PORT_W), read and written without <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tv {

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

}  // namespace tv
