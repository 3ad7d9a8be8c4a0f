#include "serial/PortList.h"

#include <windows.h>
#include <setupapi.h>

#include <vector>

namespace tv {
namespace {

// {4D36E978-E325-11CE-BFC1-08002BE10318}
const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

class DeviceInfoSet {
 public:
  explicit DeviceInfoSet(HDEVINFO set) : set_(set) {}
  ~DeviceInfoSet() {
    if (valid()) SetupDiDestroyDeviceInfoList(set_);
  }
  DeviceInfoSet(const DeviceInfoSet&) = delete;
  DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
  bool valid() const { return set_ != INVALID_HANDLE_VALUE; }
  HDEVINFO get() const { return set_; }

 private:
  HDEVINFO set_;
};

std::wstring FriendlyName(HDEVINFO set, SP_DEVINFO_DATA* data) {
  DWORD size = 0;
  SetupDiGetDeviceRegistryPropertyW(set, data, SPDRP_FRIENDLYNAME, nullptr, nullptr, 0, &size);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::wstring();
  // Twice the size plus a terminator: some drivers under-report.
  std::vector<wchar_t> buffer(size + 1, L'\0');
  if (!SetupDiGetDeviceRegistryPropertyW(set, data, SPDRP_FRIENDLYNAME, nullptr,
                                         reinterpret_cast<BYTE*>(buffer.data()),
                                         static_cast<DWORD>(buffer.size() * sizeof(wchar_t)),
                                         nullptr))
    return std::wstring();
  buffer.back() = L'\0';
  return std::wstring(buffer.data());
}

}  // namespace

int PortList::rescanPorts() {
  std::vector<std::wstring> names;
  DeviceInfoSet set(SetupDiGetClassDevsW(nullptr, nullptr, nullptr,
                                         DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_PROFILE));
  if (set.valid()) {
    SP_DEVINFO_DATA data;
    for (DWORD i = 0;; ++i) {
      data = SP_DEVINFO_DATA{};
      data.cbSize = sizeof(data);
      if (!SetupDiEnumDeviceInfo(set.get(), i, &data)) break;
      if (!IsEqualGUID(data.ClassGuid, kPortsClass)) continue;
      names.push_back(FriendlyName(set.get(), &data));
    }
  }
  // The platform's locale-aware, case-sensitive order: COM10 before COM2.
  assign(std::move(names), [](const wchar_t* a, const wchar_t* b) { return lstrcmpW(a, b); });
  return count();
}

}  // namespace tv
