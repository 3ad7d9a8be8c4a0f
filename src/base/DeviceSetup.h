// Walking the present devices of one setup class, with their friendly
// names, through the device-setup interface.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <functional>
#include <optional>
#include <string>

namespace tv {

// A device-information set, destroyed with its owner.
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

// Calls visit for every present device of the class in the current
// hardware profile, with its friendly name (nothing when it has none).
// Returns false when the device list could not be had.
bool ForEachDevice(const GUID& setupClass, const std::function<void(const std::optional<std::wstring>&)>& visit);

}  // namespace tv
