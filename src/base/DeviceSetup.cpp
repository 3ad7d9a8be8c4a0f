#include "base/DeviceSetup.h"

#include <vector>

namespace tv {
namespace {

std::optional<std::wstring> FriendlyName(HDEVINFO set, SP_DEVINFO_DATA* data) {
  DWORD size = 0;
  SetupDiGetDeviceRegistryPropertyW(set, data, SPDRP_FRIENDLYNAME, nullptr, nullptr, 0, &size);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
  // Room for twice the reported size plus a terminator: the name is always
  // terminated even when a driver under-reports it.
  std::vector<wchar_t> buffer(static_cast<std::size_t>(size) + 1, L'\0');
  if (!SetupDiGetDeviceRegistryPropertyW(set, data, SPDRP_FRIENDLYNAME, nullptr,
                                         reinterpret_cast<BYTE*>(buffer.data()),
                                         static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), nullptr))
    return std::nullopt;
  buffer.back() = L'\0';
  return std::wstring(buffer.data());
}

}  // namespace

bool ForEachDevice(const GUID& setupClass, const std::function<void(const std::optional<std::wstring>&)>& visit) {
  // The class's devices only: a walk of every device of the machine took
  // long on the UI thread, at every burst of device changes.
  DeviceInfoSet set(SetupDiGetClassDevsW(&setupClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_PROFILE));
  if (!set.valid()) return false;
  for (DWORD i = 0;; ++i) {
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof(data);
    if (!SetupDiEnumDeviceInfo(set.get(), i, &data)) break;
    if (!IsEqualGUID(data.ClassGuid, setupClass)) continue;
    visit(FriendlyName(set.get(), &data));
  }
  return true;
}

}  // namespace tv
