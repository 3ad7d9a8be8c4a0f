#include "base/TimerResolution.h"

namespace tv {
namespace {

// The system's names, which the XP-level headers do not offer.
constexpr int kProcessPowerThrottling = 4;
constexpr ULONG kThrottlingVersion = 1;
constexpr ULONG kIgnoreTimerResolution = 0x4;

struct PowerThrottlingState {
  ULONG version;
  ULONG controlMask;
  ULONG stateMask;
};

}  // namespace

SetProcessInformationCall FindSetProcessInformation() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return nullptr;
  return reinterpret_cast<SetProcessInformationCall>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessInformation")));
}

bool KeepFineTicksWhenHidden(SetProcessInformationCall set) {
  if (set == nullptr) return false;
  // The control bit taken over with its state bit clear: the system is
  // not to ignore the resolution asked for.
  PowerThrottlingState state{kThrottlingVersion, kIgnoreTimerResolution, 0};
  return set(GetCurrentProcess(), kProcessPowerThrottling, &state, sizeof state) != FALSE;
}

}  // namespace tv
