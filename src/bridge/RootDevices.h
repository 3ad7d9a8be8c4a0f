// Devices that exist because a program says so: root-enumerated entries of
// a setup class, added with a friendly name and removed again. Wine lists no
// serial adapters by itself; entries like these are what the port list (and
// any other program reading the Ports class) finds there.
#pragma once

#include <windows.h>

#include <string>

namespace tv {

// Adds a device of the class with the instance id ROOT\<idBase>\NNNN (the
// base must hold no backslash). A non-empty port name is also stored as the
// device key's PortName value, where programs look for a port driver's
// name. ERROR_SUCCESS with the instance id, or the error.
DWORD AddRootDevice(const GUID& setupClass, const std::wstring& idBase, const std::wstring& friendlyName,
                    const std::wstring& portName, std::wstring* instanceId);

// Removes the device with that instance id: ERROR_SUCCESS or the error.
DWORD RemoveDeviceInstance(const std::wstring& instanceId);

// Removes every device of any class, present or not, whose instance id is
// ROOT\<idBase>\...; returns how many went.
int RemoveRootDevices(const std::wstring& idBase);

}  // namespace tv
