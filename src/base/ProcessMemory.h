// How much memory this process holds.
#pragma once

#include <cstdint>

namespace tv {

// The private bytes committed to the process (what it has allocated, not
// what the system happens to keep in RAM: a minimised window's working
// set is trimmed, its allocations are not). 0 when it cannot be had.
uint64_t PrivateBytes();

}  // namespace tv
