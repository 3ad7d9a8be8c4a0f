// A byte count as exact TB, GB, MB, kB and B fields, e.g. " 1kB 512B".
#pragma once

#include <cstdint>
#include <string>

namespace tv {

// The longest result: " 16777215TB 1023GB 1023MB 1023kB 1023B".
constexpr int kByteSizeMaxUnits = 38;

std::wstring FormatByteSize(uint64_t bytes);

}  // namespace tv
