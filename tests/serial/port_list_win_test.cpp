// The port list read from the device-setup interface, over Ports-class
// devices this test registers the way a driver's installation leaves them.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bridge/RootDevices.h"
#include "serial/PortList.h"

namespace tv {
namespace {

// {4D36E978-E325-11CE-BFC1-08002BE10318}
const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const wchar_t kIdBase[] = L"TVUNITPORT";

// Devices registered for the test, removed again however it ends.
class RegisteredPorts {
 public:
  RegisteredPorts() { RemoveRootDevices(kIdBase); }  // left by a run that was killed
  ~RegisteredPorts() {
    for (const Device& d : devices_) RemoveDeviceInstance(d.instanceId);
  }
  RegisteredPorts(const RegisteredPorts&) = delete;
  RegisteredPorts& operator=(const RegisteredPorts&) = delete;

  bool add(const std::wstring& friendlyName, const std::wstring& portName) {
    Device d{friendlyName, {}};
    DWORD error = AddRootDevice(kPortsClass, kIdBase, friendlyName, portName, &d.instanceId);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS)) << "registering " << testing::PrintToString(friendlyName);
    if (error != ERROR_SUCCESS) return false;
    devices_.push_back(d);
    return true;
  }
  bool remove(const std::wstring& friendlyName) {
    auto it = std::find_if(devices_.begin(), devices_.end(),
                           [&](const Device& d) { return d.friendlyName == friendlyName; });
    if (it == devices_.end() || RemoveDeviceInstance(it->instanceId) != ERROR_SUCCESS) return false;
    devices_.erase(it);
    return true;
  }

 private:
  struct Device {
    std::wstring friendlyName;
    std::wstring instanceId;
  };
  std::vector<Device> devices_;
};

std::vector<std::wstring> Entries(const PortList& list) {
  std::vector<std::wstring> entries;
  for (int i = 0; i < list.count(); ++i) entries.push_back(list.entryAt(i));
  return entries;
}

// Only those of the given names, in the list's order: the prefix may hold
// ports of its own.
std::vector<std::wstring> Among(const std::vector<std::wstring>& entries, const std::vector<std::wstring>& names) {
  std::vector<std::wstring> found;
  for (const std::wstring& e : entries)
    if (std::find(names.begin(), names.end(), e) != names.end()) found.push_back(e);
  return found;
}

// The rescan lists the COM ports of the Ports class and nothing else of it,
// in the platform's string order (so COM17 comes before COM3), and a port
// whose device went is gone from the list at the next rescan.
TEST(PortList, ARescanListsTheComPortsOfThePortsClassInOrder) {
  const std::wstring ch340x17 = L"USB-SERIAL CH340 (COM17)";
  const std::wstring ch340x3 = L"USB-SERIAL CH340 (COM3)";
  const std::wstring builtIn = L"Communications Port (COM1)";
  const std::wstring printer = L"Printer Port (LPT1)";
  const std::vector<std::wstring> ours = {ch340x17, ch340x3, builtIn, printer};
  RegisteredPorts devices;
  PortList list;
  const int before = list.rescanPorts();
  ASSERT_TRUE(devices.add(ch340x3, L"COM3"));
  ASSERT_TRUE(devices.add(printer, L"LPT1"));
  ASSERT_TRUE(devices.add(ch340x17, L"COM17"));
  ASSERT_TRUE(devices.add(builtIn, L"COM1"));

  EXPECT_EQ(list.rescanPorts(), before + 3);
  const std::vector<std::wstring> entries = Entries(list);
  EXPECT_EQ(Among(entries, ours), (std::vector<std::wstring>{builtIn, ch340x17, ch340x3}));
  for (std::size_t i = 1; i < entries.size(); ++i)
    EXPECT_LT(lstrcmpW(entries[i - 1].c_str(), entries[i].c_str()), 0) << i;
  EXPECT_EQ(list.findPort(L"LPT1"), -1);
  EXPECT_EQ(list.friendlyNameOf(L"COM17"), ch340x17);

  ASSERT_TRUE(devices.remove(ch340x17));
  EXPECT_EQ(list.rescanPorts(), before + 2);
  EXPECT_EQ(Among(Entries(list), ours), (std::vector<std::wstring>{builtIn, ch340x3}));
  EXPECT_EQ(list.findPort(L"COM17"), -1);
}

}  // namespace
}  // namespace tv
