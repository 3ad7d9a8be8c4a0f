#include "serial/PortList.h"

#include <vector>

#include "base/DeviceSetup.h"

namespace tv {
namespace {

// {4D36E978-E325-11CE-BFC1-08002BE10318}
const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

}  // namespace

void ScanPorts(PortEntries& into) {
  std::vector<std::wstring> names;
  ForEachDevice(kPortsClass, [&names](const std::optional<std::wstring>& name) {
    if (name) names.push_back(*name);
  });
  // The platform's locale-aware, case-sensitive order: COM10 before COM2.
  into.assign(std::move(names), [](const wchar_t* a, const wchar_t* b) { return lstrcmpW(a, b); });
}

int PortList::rescanPorts() {
  ScanPorts(*this);
  return count();
}

}  // namespace tv
