// The C++ runtime's thread support, linked in statically, waits with
// GetTickCount64, which Windows XP's kernel32 does not have: importing it
// would stop the program from loading there at all. Defining the import
// slot here (this file is linked into the program directly, ahead of the
// libraries) keeps kernel32's entry out of the import table; the runtime
// then calls this XP-safe count instead.
#include <windows.h>

namespace {

ULONGLONG WINAPI TickCount64() {
  LARGE_INTEGER frequency, counter;
  if (!QueryPerformanceFrequency(&frequency) || !QueryPerformanceCounter(&counter) || frequency.QuadPart < 1000)
    return GetTickCount();
  return static_cast<ULONGLONG>(counter.QuadPart / (frequency.QuadPart / 1000));
}

}  // namespace

#if defined(__GNUC__)
#if defined(_WIN64)
extern "C" ULONGLONG(WINAPI* const tv_GetTickCount64_slot)() __asm__("__imp_GetTickCount64");
extern "C" ULONGLONG(WINAPI* const tv_GetTickCount64_slot)() = TickCount64;
#else
extern "C" ULONGLONG(WINAPI* const tv_GetTickCount64_slot)() __asm__("__imp__GetTickCount64@0");
extern "C" ULONGLONG(WINAPI* const tv_GetTickCount64_slot)() = TickCount64;
#endif
#endif
