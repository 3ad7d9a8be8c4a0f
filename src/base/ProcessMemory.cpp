#include "base/ProcessMemory.h"

#include <windows.h>
#include <psapi.h>

namespace tv {

uint64_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
  return counters.PagefileUsage;
}

}  // namespace tv
