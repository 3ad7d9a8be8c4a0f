#include "bridge/RootDevices.h"

#include <setupapi.h>

#include <cwchar>
#include <vector>

#include "base/DeviceSetup.h"
#include "base/WinHandles.h"

namespace tv {
namespace {

// MAX_DEVICE_ID_LEN lives in cfgmgr32.h; more room is harmless.
constexpr DWORD kDeviceIdChars = 512;

DWORD LastErrorOr(DWORD fallback) {
  DWORD e = GetLastError();
  return e != ERROR_SUCCESS ? e : fallback;
}

DWORD SetPortName(HDEVINFO set, SP_DEVINFO_DATA* device, const std::wstring& portName) {
  UniqueKey key(SetupDiCreateDevRegKeyW(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr));
  if (!key) return LastErrorOr(ERROR_INVALID_DATA);
  LONG r = RegSetValueExW(key.get(), L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(portName.c_str()),
                          static_cast<DWORD>((portName.size() + 1) * sizeof(wchar_t)));
  return static_cast<DWORD>(r);
}

}  // namespace

DWORD AddRootDevice(const GUID& setupClass, const std::wstring& idBase, const std::wstring& friendlyName,
                    const std::wstring& portName, std::wstring* instanceId) {
  DeviceInfoSet set(SetupDiCreateDeviceInfoList(&setupClass, nullptr));
  if (!set.valid()) return LastErrorOr(ERROR_INVALID_DATA);
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  if (!SetupDiCreateDeviceInfoW(set.get(), idBase.c_str(), &setupClass, nullptr, nullptr, DICD_GENERATE_ID, &device))
    return LastErrorOr(ERROR_INVALID_DATA);
  if (!SetupDiRegisterDeviceInfo(set.get(), &device, 0, nullptr, nullptr, nullptr))
    return LastErrorOr(ERROR_INVALID_DATA);
  // From here on a failure must not leave a half-made device behind.
  DWORD error = ERROR_SUCCESS;
  if (!SetupDiSetDeviceRegistryPropertyW(set.get(), &device, SPDRP_FRIENDLYNAME,
                                         reinterpret_cast<const BYTE*>(friendlyName.c_str()),
                                         static_cast<DWORD>((friendlyName.size() + 1) * sizeof(wchar_t))))
    error = LastErrorOr(ERROR_INVALID_DATA);
  if (error == ERROR_SUCCESS && !portName.empty()) error = SetPortName(set.get(), &device, portName);
  wchar_t id[kDeviceIdChars] = L"";
  if (error == ERROR_SUCCESS && !SetupDiGetDeviceInstanceIdW(set.get(), &device, id, kDeviceIdChars, nullptr))
    error = LastErrorOr(ERROR_INVALID_DATA);
  if (error != ERROR_SUCCESS) {
    SetupDiRemoveDevice(set.get(), &device);
    return error;
  }
  if (instanceId) *instanceId = id;
  return ERROR_SUCCESS;
}

DWORD RemoveDeviceInstance(const std::wstring& instanceId) {
  DeviceInfoSet set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
  if (!set.valid()) return LastErrorOr(ERROR_INVALID_DATA);
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  if (!SetupDiOpenDeviceInfoW(set.get(), instanceId.c_str(), nullptr, 0, &device))
    return LastErrorOr(ERROR_NO_SUCH_DEVINST);
  if (!SetupDiRemoveDevice(set.get(), &device)) return LastErrorOr(ERROR_INVALID_DATA);
  return ERROR_SUCCESS;
}

int RemoveRootDevices(const std::wstring& idBase) {
  const std::wstring prefix = L"ROOT\\" + idBase + L"\\";
  std::vector<std::wstring> ids;
  {
    DeviceInfoSet set(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!set.valid()) return 0;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set.get(), i, &device); ++i) {
      wchar_t id[kDeviceIdChars] = L"";
      if (!SetupDiGetDeviceInstanceIdW(set.get(), &device, id, kDeviceIdChars, nullptr)) continue;
      if (wcslen(id) > prefix.size() && _wcsnicmp(id, prefix.c_str(), prefix.size()) == 0) ids.push_back(id);
    }
  }
  int removed = 0;
  for (const std::wstring& id : ids)
    if (RemoveDeviceInstance(id) == ERROR_SUCCESS) ++removed;
  return removed;
}

}  // namespace tv
