#include "base/ProcessMemory.h"

#include <windows.h>
// Version 1: GetProcessMemoryInfo from psapi.dll, which every Windows has.
// Version 2 (the header's choice once the target is Windows 7) names it
// K32GetProcessMemoryInfo in kernel32.dll, which XP lacks: the program
// would not load there.
#define PSAPI_VERSION 1
#include <psapi.h>

namespace tv {

uint64_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
  return counters.PagefileUsage;
}

}  // namespace tv
